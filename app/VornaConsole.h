// The window's console: the host's messages, and a Tcl prompt whose commands run
// through the session's interpreter. The prompt keeps a history (Up and Down
// walk it) that lives on in a file between sessions.
#pragma once
#include <QStringList>
#include <QWidget>
#include <string>

class QLineEdit;
class QPlainTextEdit;
struct Tcl_Channel_;
struct Tcl_ChannelType;

class VornaConsole : public QWidget {
    Q_OBJECT

public:
    // The most commands the history keeps.
    static constexpr int maxHistory = 500;

    // `historyFile` empty: defaultHistoryFile(). The history is read here.
    explicit VornaConsole(QWidget* parent = nullptr, const QString& historyFile = {});
    ~VornaConsole() override;

    // From now on the host's console messages, and what scripts write to
    // standard output ("puts"), appear here too (until the console goes away).
    void showHostMessages();

    // "console-history" in the program's data folder.
    static QString defaultHistoryFile();
    // One Tcl command of the given words, each quoted as Tcl needs.
    static QString tclCommand(const QStringList& words);

    // Runs a command as if typed: shows it, evaluates it, shows the result or
    // the error. `remember` adds it to the history. Returns TCL_OK or
    // TCL_ERROR; `result` receives the result or the error message. A "quit"
    // emits quitRequested() instead of an error.
    int evaluate(const QString& command, bool remember = false, QString* result = nullptr);

    QLineEdit* prompt() const { return input; }
    QPlainTextEdit* output() const { return view; }
    const QStringList& history() const { return commands; }

signals:
    void quitRequested(int code);
    // A host message was shown (one line or more, without the final newline).
    void messageShown(const QString& text);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void runPrompt();
    void loadHistory();
    void remember(const QString& command);
    void walkHistory(int step);

    QPlainTextEdit* view;
    QLineEdit* input;
    QString historyPath;
    QStringList commands;
    int historyIndex = 0;  // commands.size(): past the newest, at the draft
    QString draft;
    bool showsMessages = false;
    // The interpreter's standard output while it comes here, the one it
    // replaced, and the start of a line not yet ended.
    Tcl_Channel_* scriptOutput = nullptr;
    Tcl_Channel_* replacedOutput = nullptr;
    std::string partialLine;
    static int writeScriptOutput(void* console, const char* bytes, int count, int* error);
    static const Tcl_ChannelType& scriptOutputType();
};
