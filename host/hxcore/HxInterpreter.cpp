#include <hxcore/HxCmd.h>
#include <hxcore/HxInterpreter.h>
#include <hxcore/HxMessage.h>
#include <hxcore/HxObject.h>
#include <mc/McHandle.h>

#include <cstdio>
#include <tcl.h>
#include <vector>

namespace {
HxInterpreter& instance() {
    static HxInterpreter interpreter;
    return interpreter;
}

int objectCommand(ClientData data, Tcl_Interp* interp, int argc, const char** argv) {
    McHandle<HxObject> object(static_cast<HxObject*>(data));  // alive through its own removal
    getCmdInfo().clear();
    Tcl_ResetResult(interp);
    // parse() takes the words non-const; it never writes them.
    std::vector<char*> args;
    for (int i = 0; i < argc; ++i) args.push_back(const_cast<char*>(argv[i]));
    args.push_back(nullptr);
    int code = object->parse(interp, argc, args.data());
    return code == TCL_OK ? TCL_OK : TCL_ERROR;
}
}  // namespace

HxInterpreter* theInterpreter = &instance();

HxInterpreter::HxInterpreter() {
    Tcl_FindExecutable(nullptr);
    tcl = Tcl_CreateInterp();
    if (Tcl_Init(tcl) != TCL_OK) {
        // Without the script library the core commands still work. Said on
        // standard error directly: this runs while the library is loaded,
        // before the console is sure to exist.
        std::fprintf(stderr, "vorna: Tcl library not found (%s); continuing without it\n", Tcl_GetStringResult(tcl));
        Tcl_ResetResult(tcl);
    }
}

HxInterpreter::~HxInterpreter() {
    // Tcl may already be finalised at program exit; the process is ending anyway.
}

int HxInterpreter::eval(const char* script) { return Tcl_Eval(tcl, script); }

int HxInterpreter::evalFile(const char* file) { return Tcl_EvalFile(tcl, file); }

std::string HxInterpreter::result() const { return Tcl_GetStringResult(tcl); }

std::string HxInterpreter::errorInfo() const {
    const char* info = Tcl_GetVar(tcl, "errorInfo", TCL_GLOBAL_ONLY);
    return info ? info : "";
}

bool HxInterpreter::isCommand(const char* name) const {
    Tcl_CmdInfo info;
    return Tcl_GetCommandInfo(tcl, name, &info) != 0;
}

void HxInterpreter::addObjectCommand(HxObject* object) {
    Tcl_CreateCommand(tcl, object->getName(), objectCommand, object, nullptr);
}

void HxInterpreter::removeObjectCommand(HxObject* object) {
    Tcl_CmdInfo info;
    if (Tcl_GetCommandInfo(tcl, object->getName(), &info) && info.clientData == object)
        Tcl_DeleteCommand(tcl, object->getName());
}

void HxInterpreter::createCommand(const char* name, CommandProc proc, void* clientData) {
    Tcl_CreateCommand(tcl, name, proc, clientData, nullptr);
}
