#include <hxcore/HxCmd.h>
#include <hxcore/HxMessage.h>
#include <hxcore/HxObject.h>
#include <ports/HxPort.h>

#include <QString>
#include <tcl.h>

MC_ABSTRACT_INIT_CLASS(HxObject, HxBase::getClassTypeId())

HxObject::HxObject() = default;
HxObject::~HxObject() = default;

void HxObject::info() { infoTag(QString::fromUtf8(getTypeId()->getName()), getLabel()); }

void HxObject::updateInfo(bool printNow) {
    info();
    if (printNow) theMsg->printf("%s", infoText.c_str());
}

void HxObject::infoTag(const QString& label, const QString& text) {
    infoText = (label.isEmpty() ? text : label + " " + text).toStdString();
}

int HxObject::saveCreation(FILE* fp, const char*, unsigned int) {
    int n = std::fprintf(fp, "create %s {%s}\n", getTypeId()->getName(), getName());
    return n < 0 ? 1 : 0;
}

void HxObject::savePorts(FILE* fp) {
    for (HxPort* port : ports()) {
        if (!port->writeSaveLines(fp, getName())) continue;
        // Fired before any lines a subclass adds after this loop.
        if (port->getFireOnSaveNetwork()) std::fprintf(fp, "{%s} fire\n", getName());
    }
}

int HxObject::parse(Tcl_Interp* interp, int argc, char** argv) {
    const char* word = argc > 1 ? argv[1] : "help";
    if (cmdCheck(word, "info", "returns the info text")) {
        if (int r = cmdHelp(interp, word, argc == 2, argc, argv); r != 4) return r;
        updateInfo(false);
        Tcl_VaSetResult(interp, "%s", infoText.c_str());
        return TCL_OK;
    }
    return HxBase::parse(interp, argc, argv);
}
