#include "VornaMovieDialog.h"

#include "VornaConsole.h"

#include <hxcore/HxObject.h>
#include <hxcore/HxObjectPool.h>
#include <ports/HxPortTime.h>
#include <viewer/HxController.h>
#include <viewer/HxViewer.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>

namespace {
QSpinBox* spinBox(QWidget* parent, const char* name, int low, int high, int value) {
    auto* box = new QSpinBox(parent);
    box->setObjectName(name);
    box->setRange(low, high);
    box->setValue(value);
    return box;
}

// The first time port of the object, or null.
const HxPortTime* timePortOf(const HxObject* object) {
    for (const HxPort* port : object->ports())
        if (auto* time = dynamic_cast<const HxPortTime*>(port)) return time;
    return nullptr;
}
}  // namespace

VornaMovieDialog::VornaMovieDialog(QWidget* parent, const QString& preferred)
    : QDialog(parent),
      object(new QComboBox(this)),
      viewer(spinBox(this, "viewer", 0, HxController::maxViewers - 1, 0)),
      frames(spinBox(this, "frames", 1, 1000000, 48)),
      width(spinBox(this, "width", 1, 16384, 640)),
      height(spinBox(this, "height", 1, 16384, 480)),
      pattern(new QLineEdit(QDir::current().filePath("frame%04d.png"), this)),
      someFrames(new QCheckBox(tr("only frames"), this)),
      first(spinBox(this, "first", 0, 999999, 0)),
      last(spinBox(this, "last", 0, 999999, 47)) {
    setWindowTitle(tr("Movie"));
    object->setObjectName("object");
    pattern->setObjectName("pattern");
    someFrames->setObjectName("someFrames");
    for (const auto& candidate : theObjectPool->objects()) {
        const HxPortTime* time = timePortOf(candidate);
        if (!time) continue;
        object->addItem(QString::fromUtf8(candidate->getName()), QString::fromUtf8(time->getName()));
    }
    const int preferredIndex = object->findText(preferred);
    if (preferredIndex >= 0) object->setCurrentIndex(preferredIndex);
    if (HxViewer* mainViewer = theController->viewer(0, 0)) {
        width->setValue(mainViewer->getSize()[0]);
        height->setValue(mainViewer->getSize()[1]);
    }

    auto* size = new QHBoxLayout;
    size->addWidget(width);
    size->addWidget(height);
    auto* file = new QHBoxLayout;
    file->addWidget(pattern);
    auto* browse = new QPushButton(tr("..."), this);
    file->addWidget(browse);
    auto* range = new QHBoxLayout;
    range->addWidget(someFrames);
    range->addWidget(first);
    range->addWidget(last);
    first->setEnabled(false);
    last->setEnabled(false);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setEnabled(object->count() > 0);
    auto* form = new QFormLayout(this);
    form->addRow(tr("Object"), object);
    form->addRow(tr("Viewer"), viewer);
    form->addRow(tr("Frames"), frames);
    form->addRow(tr("Size"), size);
    form->addRow(tr("Files"), file);
    form->addRow(tr("Range"), range);
    form->addRow(buttons);

    connect(browse, &QPushButton::clicked, this, &VornaMovieDialog::chooseFile);
    connect(someFrames, &QCheckBox::toggled, first, &QWidget::setEnabled);
    connect(someFrames, &QCheckBox::toggled, last, &QWidget::setEnabled);
    connect(frames, QOverload<int>::of(&QSpinBox::valueChanged), this, [this](int n) {
        first->setMaximum(n - 1);
        last->setMaximum(n - 1);
        if (!someFrames->isChecked()) last->setValue(n - 1);
    });
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

void VornaMovieDialog::chooseFile() {
    QString file = QFileDialog::getSaveFileName(this, tr("Movie frames"), pattern->text(), tr("PNG images (*.png)"));
    if (file.isEmpty()) return;
    // The chosen name becomes a pattern: the frame number goes before the extension.
    if (!file.contains('%')) {
        const QFileInfo info(file);
        const QString suffix = info.suffix().isEmpty() ? QString("png") : info.suffix();
        file = info.dir().filePath(info.completeBaseName() + "%04d." + suffix);
    }
    pattern->setText(file);
}

QString VornaMovieDialog::command() const {
    if (object->currentIndex() < 0) return {};
    QStringList words{"movie", "-object", object->currentText(), "-port", object->currentData().toString(),
                      "-viewer", QString::number(viewer->value()), "-frames", QString::number(frames->value()),
                      "-size", QString::number(width->value()), QString::number(height->value()),
                      "-out", pattern->text()};
    if (someFrames->isChecked())
        words << "-first" << QString::number(first->value()) << "-last" << QString::number(last->value());
    return VornaConsole::tclCommand(words);
}
