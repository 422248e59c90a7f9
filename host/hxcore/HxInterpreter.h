// The session's one Tcl interpreter. Every pooled object has a command of its
// name that reaches its parse(); host-wide commands are added by the modules.
#pragma once
#include <string>

struct Tcl_Interp;
class HxObject;

class HxInterpreter {
public:
    HxInterpreter();
    ~HxInterpreter();
    HxInterpreter(const HxInterpreter&) = delete;
    HxInterpreter& operator=(const HxInterpreter&) = delete;

    Tcl_Interp* interp() const { return tcl; }

    // Evaluates a script; returns TCL_OK or TCL_ERROR. The result (or the error
    // message with the error's trace) is in result().
    int eval(const char* script);
    int evalFile(const char* file);
    std::string result() const;
    // The error trace of the last failed evaluation.
    std::string errorInfo() const;

    bool isCommand(const char* name) const;
    void addObjectCommand(HxObject* object);
    void removeObjectCommand(HxObject* object);

    using CommandProc = int (*)(void* clientData, Tcl_Interp* interp, int argc, const char** argv);
    void createCommand(const char* name, CommandProc proc, void* clientData = nullptr);

    // Set by "quit": the program ends with this exit code once the script returns.
    bool quitRequested() const { return quitFlag; }
    int quitCode() const { return exitCode; }
    void requestQuit(int code) {
        quitFlag = true;
        exitCode = code;
    }
    void clearQuit() { quitFlag = false; }

private:
    Tcl_Interp* tcl = nullptr;
    bool quitFlag = false;
    int exitCode = 0;
};

extern HxInterpreter* theInterpreter;
