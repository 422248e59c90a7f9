// The host console: every message for the user goes through it. In batch they
// also go to standard output; tests read them back with text() and clear().
#pragma once
#include <functional>
#include <string>

class HxMessage {
public:
    // printf-style message; a trailing newline is added when missing.
    void printf(const char* format, ...) __attribute__((format(printf, 2, 3)));
    void error(const char* format, ...) __attribute__((format(printf, 2, 3)));
    void warning(const char* format, ...) __attribute__((format(printf, 2, 3)));
    // A message about the run of the program itself rather than the session
    // (a script that failed in batch, a display that cannot be opened): it goes
    // to standard error, after what standard output holds, where it is seen
    // even when the program ends right after. Kept in text() like the others.
    void programError(const char* format, ...) __attribute__((format(printf, 2, 3)));
    // A progress line of a long task. On a terminal it replaces the previous
    // progress line in place, and only the `last` one stays (in text() too);
    // elsewhere every line is a message like printf's (the caller decides how
    // often: see isLiveTerminal()).
    void progress(const std::string& line, bool last);
    // Whether progress lines are updated in place on a terminal.
    bool isLiveTerminal() const;
    // Reports a failed file operation on `file`, with what failed (`what`, may be
    // null) and the system's reason when there is one.
    void ioError(const char* file, const char* what = nullptr);

    // Every message since the last clear(), one per line.
    const std::string& text() const { return history; }
    void clear() { history.clear(); }

    void setEchoToStdout(bool on) { echo = on; }
    // Extra receiver of every line (the window's console pane).
    void setSink(std::function<void(const std::string&)> sink) { extraSink = std::move(sink); }

private:
    void deliver(std::string line);
    std::string history;
    bool echo = false;
    bool progressShown = false;  // a progress line without its newline is on the terminal
    std::function<void(const std::string&)> extraSink;
};

extern HxMessage* theMsg;
