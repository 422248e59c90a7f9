#include "VornaHelp.h"

#include <QDialog>
#include <QFile>
#include <QTextBrowser>
#include <QVBoxLayout>

// The resources of a static library are registered by hand, outside any namespace.
static void registerHelpResources() { Q_INIT_RESOURCE(VornaHelp); }

QString VornaHelp::readme() {
    registerHelpResources();
    QFile file(":/help/README.md");
    if (!file.open(QIODevice::ReadOnly)) return {};
    return QString::fromUtf8(file.readAll());
}

QString VornaHelp::section(const QString& markdown, const QString& title) {
    const QString heading = "## " + title + "\n";
    const int start = markdown.startsWith(heading) ? 0 : markdown.indexOf("\n" + heading);
    if (start < 0) return {};
    const int from = start == 0 ? 0 : start + 1;
    const int end = markdown.indexOf("\n## ", from + heading.size() - 1);
    return markdown.mid(from, end < 0 ? -1 : end + 1 - from);
}

QDialog* VornaHelp::show(QWidget* parent, const QString& title, const QStringList& sections) {
    const QString text = readme();
    QString shown;
    for (const QString& s : sections) shown += section(text, s) + "\n";
    auto* dialog = new QDialog(parent);
    dialog->setObjectName("help");
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowTitle(title);
    auto* browser = new QTextBrowser(dialog);
    browser->setMarkdown(shown);
    auto* layout = new QVBoxLayout(dialog);
    layout->addWidget(browser);
    dialog->resize(720, 640);
    dialog->show();
    return dialog;
}
