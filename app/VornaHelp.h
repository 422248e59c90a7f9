// The window's Help menu: sections of the README, built into the program, shown
// in a window of their own beside the main one.
#pragma once
#include <QString>
#include <QStringList>

class QDialog;
class QWidget;

namespace VornaHelp {
// The README as built into the program.
QString readme();
// The part of `markdown` under the heading "## title", heading included, up to
// the next heading of that level; empty when there is no such heading.
QString section(const QString& markdown, const QString& title);
// A window (not modal, owned by `parent`, deleted when closed) titled `title`
// showing the README's sections of those titles, one after the other.
QDialog* show(QWidget* parent, const QString& title, const QStringList& sections);
}  // namespace VornaHelp
