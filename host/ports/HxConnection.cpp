#include <hxcore/HxCmd.h>
#include <hxcore/HxObject.h>
#include <hxcore/HxObjectPool.h>
#include <ports/HxConnection.h>
#include <ports/HxPortTypeInfo.h>

#include <tcl.h>

HX_INIT_PORT_CLASS(HxConnection, HxPort::getClassTypeId(), nullptr, nullptr)

HxConnection::~HxConnection() = default;

bool HxConnection::connect(HxObject* src) {
    source = src;
    touch();
    return true;
}

int HxConnection::parse(Tcl_Interp* interp, int argc, char** argv) {
    const char* word = argc > 1 ? argv[1] : "help";
    if (cmdCheck(word, "connect", "connect objectName")) {
        if (int r = cmdHelp(interp, word, argc == 3, argc, argv); r != 4) return r;
        HxObject* src = theObjectPool->find(argv[2]);
        if (!src) {
            Tcl_VaSetResult(interp, "connect: no object named \"%s\"", argv[2]);
            return TCL_ERROR;
        }
        if (!connect(src)) {
            Tcl_VaSetResult(interp, "connect: \"%s\" cannot be a source of port \"%s\"", argv[2], getName());
            return TCL_ERROR;
        }
        return TCL_OK;
    }
    if (cmdCheck(word, "disconnect", "removes the connection")) {
        disconnect();
        return TCL_OK;
    }
    if (cmdCheck(word, "getSource", "the name of the connected object")) {
        Tcl_VaSetResult(interp, "%s", source ? source->getName() : "");
        return TCL_OK;
    }
    return HxPort::parse(interp, argc, argv);
}
