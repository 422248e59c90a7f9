#include "VornaMovieDialog.h"

#include "VornaConsole.h"

#include <hxcore/HxObject.h>
#include <hxcore/HxObjectPool.h>
#include <ports/HxPortTime.h>
#include <viewer/HxController.h>
#include <viewer/HxViewer.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QRegularExpression>
#include <QSettings>
#include <QSignalBlocker>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <algorithm>
#include <cmath>

namespace {
QSpinBox* spinBox(QWidget* parent, const char* name, int low, int high, int value) {
    auto* box = new QSpinBox(parent);
    box->setObjectName(name);
    box->setRange(low, high);
    box->setValue(value);
    return box;
}

// Sizes offered besides the viewer's own.
struct SizePreset {
    const char* name;
    int width, height;
};
const SizePreset sizePresets[] = {
    {"720p (1280 x 720)", 1280, 720}, {"1080p (1920 x 1080)", 1920, 1080}, {"4K (3840 x 2160)", 3840, 2160}};

// The output name without its frame number and extension.
QString baseName(const QString& file) {
    QString base = file;
    base.remove(QRegularExpression("%0?[0-9]*d"));
    const int dot = base.lastIndexOf('.');
    if (dot > base.lastIndexOf('/')) base.truncate(dot);
    return base;
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
      format(new QComboBox(this)),
      fps(spinBox(this, "fps", 1, 240, 25)),
      duration(new QDoubleSpinBox(this)),
      frames(spinBox(this, "frames", 1, 1000000, 48)),
      sizePreset(new QComboBox(this)),
      samples(new QComboBox(this)),
      length(new QLabel(this)),
      width(spinBox(this, "width", 1, 16384, 640)),
      height(spinBox(this, "height", 1, 16384, 480)),
      pattern(new QLineEdit(QDir::current().filePath("movie.mp4"), this)),
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
    format->setObjectName("format");
    format->addItem(tr("MP4 video (H.264)"), "mp4");
    format->addItem(tr("WebM video (VP9)"), "webm");
    format->addItem(tr("GIF animation"), "gif");
    format->addItem(tr("PNG frames"), "png");
    duration->setObjectName("duration");
    duration->setRange(0.01, 1000000.0);
    duration->setDecimals(2);
    duration->setSuffix(tr(" s"));
    sizePreset->setObjectName("sizePreset");
    sizePreset->addItem(tr("the viewer's size"), QSize(width->value(), height->value()));
    for (const SizePreset& preset : sizePresets)
        sizePreset->addItem(tr(preset.name), QSize(preset.width, preset.height));
    sizePreset->addItem(tr("other"));
    samples->setObjectName("samples");
    for (int n : {1, 2, 4, 8}) samples->addItem(n == 1 ? tr("none") : tr("%1 samples per pixel").arg(n), n);
    samples->setCurrentIndex(samples->findData(4));
    length->setObjectName("length");

    QSettings settings;
    settings.beginGroup("movie");
    if (settings.contains("file")) {
        pattern->setText(settings.value("file").toString());
        fps->setValue(settings.value("fps", fps->value()).toInt());
        frames->setValue(settings.value("frames", frames->value()).toInt());
        width->setValue(settings.value("width", width->value()).toInt());
        height->setValue(settings.value("height", height->value()).toInt());
        const int remembered = samples->findData(settings.value("samples", 4).toInt());
        if (remembered >= 0) samples->setCurrentIndex(remembered);
    }
    const QString extension = QFileInfo(pattern->text()).suffix().toLower();
    const int shown = format->findData(extension);
    format->setCurrentIndex(shown >= 0 ? shown : format->findData("png"));
    durationFromFrames();
    const int preset = sizePreset->findData(QSize(width->value(), height->value()));
    sizePreset->setCurrentIndex(preset >= 0 ? preset : sizePreset->count() - 1);

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
    form->addRow(tr("Format"), format);
    form->addRow(tr("Frames per second"), fps);
    form->addRow(tr("Duration"), duration);
    form->addRow(tr("Frames"), frames);
    form->addRow(tr("Size"), sizePreset);
    form->addRow(QString(), size);
    form->addRow(tr("Antialiasing"), samples);
    form->addRow(tr("File"), file);
    form->addRow(tr("Range"), range);
    form->addRow(tr("Length"), length);
    form->addRow(buttons);

    connect(browse, &QPushButton::clicked, this, &VornaMovieDialog::chooseFile);
    connect(someFrames, &QCheckBox::toggled, first, &QWidget::setEnabled);
    connect(someFrames, &QCheckBox::toggled, last, &QWidget::setEnabled);
    connect(frames, QOverload<int>::of(&QSpinBox::valueChanged), this, [this](int n) {
        first->setMaximum(n - 1);
        last->setMaximum(n - 1);
        if (!someFrames->isChecked()) last->setValue(n - 1);
        durationFromFrames();
    });
    connect(fps, QOverload<int>::of(&QSpinBox::valueChanged), this, &VornaMovieDialog::framesFromDuration);
    connect(duration, QOverload<double>::of(&QDoubleSpinBox::valueChanged), this,
            &VornaMovieDialog::framesFromDuration);
    connect(format, QOverload<int>::of(&QComboBox::activated), this,
            [this](int index) { setFormat(format->itemData(index).toString()); });
    connect(sizePreset, QOverload<int>::of(&QComboBox::activated), this, [this](int index) {
        const QSize chosen = sizePreset->itemData(index).toSize();
        if (chosen.isEmpty()) return;
        width->setValue(chosen.width());
        height->setValue(chosen.height());
    });
    auto sizeEdited = [this] {
        const int match = sizePreset->findData(QSize(width->value(), height->value()));
        sizePreset->setCurrentIndex(match >= 0 ? match : sizePreset->count() - 1);
    };
    connect(width, QOverload<int>::of(&QSpinBox::valueChanged), this, sizeEdited);
    connect(height, QOverload<int>::of(&QSpinBox::valueChanged), this, sizeEdited);
    connect(pattern, &QLineEdit::textChanged, this, &VornaMovieDialog::showLength);
    showLength();
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

void VornaMovieDialog::chooseFile() {
    const QString extension = format->currentData().toString();
    const QString filter =
        extension == "png" ? tr("PNG images (*.png)") : tr("%1 files (*.%2)").arg(format->currentText(), extension);
    QString file = QFileDialog::getSaveFileName(this, tr("Movie"), pattern->text(), filter);
    if (file.isEmpty()) return;
    pattern->setText(file);
    setFormat(extension);
}

// Gives the output name the format's extension; PNG frames get a frame
// number before it.
void VornaMovieDialog::setFormat(const QString& extension) {
    const QString base = baseName(pattern->text());
    pattern->setText(extension == "png" ? base + "%04d.png" : base + "." + extension);
    showLength();
}

void VornaMovieDialog::framesFromDuration() {
    {
        const QSignalBlocker quiet(frames);
        frames->setValue(std::max(1, static_cast<int>(std::lround(duration->value() * fps->value()))));
        first->setMaximum(frames->value() - 1);
        last->setMaximum(frames->value() - 1);
        if (!someFrames->isChecked()) last->setValue(frames->value() - 1);
    }
    showLength();
}

void VornaMovieDialog::durationFromFrames() {
    {
        const QSignalBlocker quiet(duration);
        duration->setValue(double(frames->value()) / fps->value());
    }
    showLength();
}

void VornaMovieDialog::showLength() {
    const bool video = QRegularExpression("\\.(mp4|webm|gif)$", QRegularExpression::CaseInsensitiveOption)
                           .match(pattern->text())
                           .hasMatch();
    const double seconds = double(frames->value()) / fps->value();
    length->setText(video ? tr("%1 s (%2 frames at %3 per second)")
                                .arg(QString::number(seconds, 'f', 2))
                                .arg(frames->value())
                                .arg(fps->value())
                          : tr("%1 PNG files").arg(frames->value()));
}

void VornaMovieDialog::remember() const {
    QSettings settings;
    settings.beginGroup("movie");
    settings.setValue("file", pattern->text());
    settings.setValue("fps", fps->value());
    settings.setValue("frames", frames->value());
    settings.setValue("width", width->value());
    settings.setValue("height", height->value());
    settings.setValue("samples", samples->currentData().toInt());
}

QString VornaMovieDialog::command() const {
    if (object->currentIndex() < 0) return {};
    QStringList words{"movie",
                      "-object",
                      object->currentText(),
                      "-port",
                      object->currentData().toString(),
                      "-viewer",
                      QString::number(viewer->value()),
                      "-frames",
                      QString::number(frames->value()),
                      "-size",
                      QString::number(width->value()),
                      QString::number(height->value()),
                      "-samples",
                      samples->currentData().toString(),
                      "-fps",
                      QString::number(fps->value()),
                      "-out",
                      pattern->text()};
    if (someFrames->isChecked())
        words << "-first" << QString::number(first->value()) << "-last" << QString::number(last->value());
    return VornaConsole::tclCommand(words);
}
