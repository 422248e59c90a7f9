#include "VornaConsole.h"

#include <hxcore/HxInterpreter.h>
#include <hxcore/HxMessage.h>
#include <mc/McSafeFile.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QStandardPaths>
#include <QTextStream>
#include <QVBoxLayout>
#include <cstring>
#include <tcl.h>
#include <vector>

namespace {
// Whether the failed command has reported its end itself (a movie the user
// cancelled): the console then shows no error for it.
bool reportedByCommand() {
    const char* code = Tcl_GetVar(theInterpreter->interp(), "errorCode", TCL_GLOBAL_ONLY);
    return code && std::strcmp(code, "VORNA CANCELLED") == 0;
}
}  // namespace

VornaConsole::VornaConsole(QWidget* parent, const QString& historyFile)
    : QWidget(parent),
      view(new QPlainTextEdit(this)),
      input(new QLineEdit(this)),
      historyPath(historyFile.isEmpty() ? defaultHistoryFile() : historyFile) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    const QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    view->setReadOnly(true);
    view->setFont(fixed);
    view->setMaximumBlockCount(20000);
    input->setFont(fixed);
    input->setPlaceholderText(tr("Tcl command"));
    input->installEventFilter(this);
    layout->addWidget(view);
    layout->addWidget(input);
    connect(input, &QLineEdit::returnPressed, this, &VornaConsole::runPrompt);
    loadHistory();
}

VornaConsole::~VornaConsole() {
    if (showsMessages) theMsg->setSink(nullptr);
    if (scriptOutput) {
        Tcl_SetStdChannel(replacedOutput, TCL_STDOUT);
        Tcl_UnregisterChannel(theInterpreter->interp(), scriptOutput);
    }
}

// A channel that only takes output, to writeScriptOutput().
const Tcl_ChannelType& VornaConsole::scriptOutputType() {
    static const Tcl_ChannelType type = [] {
        Tcl_ChannelType t{};
        t.typeName = "vornaconsole";
        t.version = TCL_CHANNEL_VERSION_5;
        t.closeProc = [](ClientData, Tcl_Interp*) { return 0; };
        t.outputProc = writeScriptOutput;
        t.watchProc = [](ClientData, int) {};
        t.getHandleProc = [](ClientData, int, ClientData*) { return TCL_ERROR; };
        return t;
    }();
    return type;
}

int VornaConsole::writeScriptOutput(void* console, const char* bytes, int count, int* error) {
    std::string& line = static_cast<VornaConsole*>(console)->partialLine;
    line.append(bytes, static_cast<std::size_t>(count));
    for (std::size_t end; (end = line.find('\n')) != std::string::npos; line.erase(0, end + 1))
        theMsg->printf("%s", line.substr(0, end).c_str());
    *error = 0;
    return count;
}

void VornaConsole::showHostMessages() {
    showsMessages = true;
    QPointer<QPlainTextEdit> pane = view;
    QPointer<VornaConsole> self(this);
    theMsg->setSink([pane, self](const std::string& line) {
        if (!pane) return;
        QString text = QString::fromStdString(line);
        if (text.endsWith('\n')) text.chop(1);
        pane->appendPlainText(text);
        if (self) emit self->messageShown(text);
    });
    if (scriptOutput) return;
    replacedOutput = Tcl_GetStdChannel(TCL_STDOUT);
    scriptOutput = Tcl_CreateChannel(&scriptOutputType(), "vornaconsole", this, TCL_WRITABLE);
    Tcl_SetChannelOption(nullptr, scriptOutput, "-buffering", "line");
    Tcl_RegisterChannel(theInterpreter->interp(), scriptOutput);
    Tcl_SetStdChannel(scriptOutput, TCL_STDOUT);
}

QString VornaConsole::defaultHistoryFile() {
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) + "/console-history";
}

QString VornaConsole::tclCommand(const QStringList& words) {
    std::vector<QByteArray> bytes;
    for (const QString& w : words) bytes.push_back(w.toUtf8());
    std::vector<const char*> argv;
    for (const QByteArray& b : bytes) argv.push_back(b.constData());
    char* merged = Tcl_Merge(static_cast<int>(argv.size()), argv.data());
    const QString command = QString::fromUtf8(merged);
    Tcl_Free(merged);
    return command;
}

int VornaConsole::evaluate(const QString& command, bool rememberIt, QString* result) {
    if (rememberIt) remember(command);
    theMsg->printf("vorna> %s", command.toUtf8().constData());
    const int code = theInterpreter->eval(command.toUtf8().constData());
    const QString text = QString::fromStdString(theInterpreter->result());
    if (result) *result = text;
    if (theInterpreter->quitRequested()) {
        const int exitCode = theInterpreter->quitCode();
        theInterpreter->clearQuit();
        emit quitRequested(exitCode);
        return code;
    }
    if (code != TCL_OK) {
        if (!reportedByCommand()) theMsg->error("%s", text.toUtf8().constData());
    } else if (!text.isEmpty()) {
        theMsg->printf("%s", text.toUtf8().constData());
    }
    return code;
}

void VornaConsole::runPrompt() {
    const QString command = input->text().trimmed();
    input->clear();
    if (!command.isEmpty()) evaluate(command, true);
}

void VornaConsole::loadHistory() {
    QFile file(historyPath);
    if (file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        QTextStream in(&file);
        in.setCodec("UTF-8");
        while (!in.atEnd()) {
            const QString line = in.readLine();
            if (!line.isEmpty()) commands.append(line);
        }
    }
    const bool tooLong = commands.size() > maxHistory;
    if (tooLong) commands = commands.mid(commands.size() - maxHistory);
    historyIndex = commands.size();
    if (!tooLong) return;
    // The file only grows while the program runs; it is cut back at the start.
    // A failed cut keeps the whole file.
    McSafeFile out(QFile::encodeName(historyPath).toStdString());
    if (!out.write((commands.join('\n') + '\n').toUtf8().toStdString()) || !out.commit())
        theMsg->printf("console history: %s", out.error().c_str());
}

void VornaConsole::remember(const QString& command) {
    draft.clear();
    if (commands.isEmpty() || commands.last() != command) {
        commands.append(command);
        if (commands.size() > maxHistory) commands.removeFirst();
        QDir().mkpath(QFileInfo(historyPath).absolutePath());
        QFile file(historyPath);
        if (file.open(QIODevice::Append | QIODevice::Text)) file.write((command + '\n').toUtf8());
    }
    historyIndex = commands.size();
}

void VornaConsole::walkHistory(int step) {
    const int next = historyIndex + step;
    if (next < 0 || next > commands.size()) return;
    if (historyIndex == commands.size()) draft = input->text();
    historyIndex = next;
    input->setText(next == commands.size() ? draft : commands[next]);
}

bool VornaConsole::eventFilter(QObject* watched, QEvent* event) {
    if (watched == input && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Up || key == Qt::Key_Down) {
            walkHistory(key == Qt::Key_Up ? -1 : 1);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}
