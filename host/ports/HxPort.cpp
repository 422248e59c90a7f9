#include <hxcore/HxBase.h>
#include <hxcore/HxCmd.h>
#include <ports/HxPort.h>
#include <ports/HxPortTypeInfo.h>

#include <QHBoxLayout>
#include <QLabel>
#include <QWidget>
#include <tcl.h>

HX_INIT_PORT_CLASS(HxPort, nullptr, nullptr, nullptr)

void HxPortRelay::guiCallback() { port->guiCallback(); }

void HxPortRelay::slot(int value) {
    lastInt = value;
    port->guiCallback();
}

void HxPortRelay::slot(float value) {
    lastFloat = value;
    port->guiCallback();
}

HxPort::HxPort(HxBase* portOwner, const char* scriptName, const QString& portLabel)
    : owner(portOwner), name(scriptName ? scriptName : ""), label(portLabel) {
    if (owner) owner->addPort(this);
}

HxPort::~HxPort() {
    if (owner) owner->removePort(this);
}

void HxPort::valueChanged() {
    touch();
    if (owner) owner->touch();
}

void HxPort::setVisible(bool on) {
    visible = on;
    if (widgetRow) widgetRow->setVisible(on);
}

QWidget* HxPort::createWidget(QWidget* parent) {
    auto* row = new QWidget(parent);
    widgetRow = row;
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(2, 1, 2, 1);
    auto* caption = new QLabel(label, row);
    caption->setToolTip(toolTip);
    caption->setMinimumWidth(80);
    layout->addWidget(caption);
    createControls(row);
    if (!visible) row->hide();
    return row;
}

bool HxPort::writeSaveLines(FILE* fp, const char* objectName) const {
    const std::string value = valueForSave();
    if (value.empty()) return false;
    std::fprintf(fp, "{%s} %s %s %s\n", objectName, getName(), saveCommand(), value.c_str());
    return true;
}

int HxPort::parse(Tcl_Interp* interp, int argc, char** argv) {
    const char* word = argc > 1 ? argv[1] : "help";
    if (cmdCheck(word, "show", "shows the port")) {
        show();
        return TCL_OK;
    }
    if (cmdCheck(word, "hide", "hides the port")) {
        hide();
        return TCL_OK;
    }
    if (cmdCheck(word, "isVisible", "whether the port is shown")) {
        Tcl_VaSetResult(interp, "%d", visible ? 1 : 0);
        return TCL_OK;
    }
    if (cmdCheck(word, "isNew", "whether the port changed since the last fire")) {
        Tcl_VaSetResult(interp, "%d", isNew() ? 1 : 0);
        return TCL_OK;
    }
    if (cmdCheck(word, "touch", "marks the port new")) {
        touch();
        return TCL_OK;
    }
    if (cmdCheck(word, "getLabel", "returns the port's label")) {
        Tcl_VaSetResult(interp, "%s", label.toUtf8().constData());
        return TCL_OK;
    }
    if (cmdCheck(word, "setLabel", "sets the port's label")) {
        if (int r = cmdHelp(interp, word, argc == 3, argc, argv); r != 4) return r;
        label = QString::fromUtf8(argv[2]);
        return TCL_OK;
    }
    return CmdInfo::usage(interp, word);
}
