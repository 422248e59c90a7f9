#include <hxcore/HxBase.h>
#include <hxcore/HxCmd.h>
#include <hxcore/HxGeometrySink.h>
#include <hxcore/HxObjectPool.h>
#include <ports/HxPort.h>

#include <QString>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <tcl.h>

MC_ABSTRACT_INIT_CLASS(HxBase, nullptr)

HxBase::HxBase() = default;

void HxBase::showGeom(SoNode* node) {
    if (HxGeometrySink* sink = HxGeometrySink::installed()) sink->showGeometry(node, this, true);
}

void HxBase::hideGeom(SoNode* node) {
    if (HxGeometrySink* sink = HxGeometrySink::installed()) sink->showGeometry(node, this, false);
}

void HxBase::setViewerMask(unsigned int mask, unsigned int master) {
    const auto newMask = static_cast<unsigned short>((viewerMask & ~master) | (mask & master));
    if (newMask == viewerMask) return;
    viewerMask = newMask;
    if (HxGeometrySink* sink = HxGeometrySink::installed()) sink->viewerMaskChanged(this);
}

HxBase::~HxBase() {
    if (HxGeometrySink* sink = HxGeometrySink::installed()) sink->removeAllGeom(this);
    // Ports outlive their list entries only if the object is torn down oddly;
    // forget them so they do not reach back into a dead owner.
    for (HxPort* port : portList) port->owner = nullptr;
}

QString HxBase::getLabel() const { return QString::fromStdString(name); }

void HxBase::setLabel(const QString& label) {
    std::string wanted = label.toStdString();
    if (wanted.empty() || wanted == name) return;
    if (theObjectPool->contains(this))
        theObjectPool->rename(this, wanted.c_str());
    else
        name = wanted;
}

void HxBase::removePort(HxPort* port) {
    portList.erase(std::remove(portList.begin(), portList.end(), port), portList.end());
}

HxPort* HxBase::getPort(const char* scriptName) const {
    for (HxPort* port : portList)
        if (std::strcmp(port->getName(), scriptName) == 0) return port;
    return nullptr;
}

void HxBase::fire() {
    update();
    compute();
    for (HxPort* port : portList) port->untouch();
    touchFlags = 0;
}

int HxBase::parse(Tcl_Interp* interp, int argc, char** argv) {
    const char* word = argc > 1 ? argv[1] : "help";

    if (cmdCheck(word, "getLabel", "returns the object's name")) {
        if (int r = cmdHelp(interp, word, argc == 2, argc, argv); r != 4) return r;
        Tcl_VaSetResult(interp, "%s", getName());
        return TCL_OK;
    }
    if (cmdCheck(word, "setLabel", "renames the object")) {
        if (int r = cmdHelp(interp, word, argc == 3, argc, argv); r != 4) return r;
        setLabel(QString::fromUtf8(argv[2]));
        Tcl_VaSetResult(interp, "%s", getName());
        return TCL_OK;
    }
    if (cmdCheck(word, "fire", "runs update and compute")) {
        if (int r = cmdHelp(interp, word, argc == 2, argc, argv); r != 4) return r;
        fire();
        return TCL_OK;
    }
    if (cmdCheck(word, "getViewerMask", "returns the viewer mask")) {
        if (int r = cmdHelp(interp, word, argc == 2, argc, argv); r != 4) return r;
        Tcl_VaSetResult(interp, "%d", viewerMask);
        return TCL_OK;
    }
    if (cmdCheck(word, "setViewerMask", "sets the viewer mask (0 to 65535)")) {
        if (int r = cmdHelp(interp, word, argc == 3, argc, argv); r != 4) return r;
        long mask = 0;
        if (!parseLong(argv[2], mask) || mask < 0 || mask > 0xffff) {
            Tcl_VaSetResult(interp, "%s setViewerMask: expected a mask from 0 to 65535, got \"%s\"", getName(),
                            argv[2]);
            return TCL_ERROR;
        }
        setViewerMask(static_cast<unsigned short>(mask));
        return TCL_OK;
    }
    for (HxPort* port : portList) {
        if (cmdCheck(word, port->getName(), "port")) return port->parse(interp, argc - 1, argv + 1);
    }
    return CmdInfo::usage(interp, word);
}
