#include <hxcore/HxBase.h>
#include <hxcore/HxCmd.h>
#include <ports/HxPortButtonList.h>
#include <ports/HxPortTypeInfo.h>

#include <QHBoxLayout>
#include <QPushButton>
#include <QWidget>
#include <climits>
#include <string>
#include <tcl.h>

HX_INIT_PORT_CLASS(HxPortButtonList, HxPort::getClassTypeId(), nullptr, nullptr)

namespace {
bool inRange(int i, std::size_t n) { return i >= 0 && static_cast<std::size_t>(i) < n; }
}  // namespace

bool HxPortButtonList::parseIndex(const char* word, int& index) {
    long value = 0;
    if (!parseLong(word, value) || value < INT_MIN || value > INT_MAX) return false;
    index = static_cast<int>(value);
    return true;
}

std::string HxPortButtonList::validRange(const char* what, int count) {
    if (count == 0) return std::string("(the port has no ") + what + ")";
    return std::string("(") + what + " are numbered 0 to " + std::to_string(count - 1) + ")";
}

HxPortButtonList::HxPortButtonList(HxBase* portOwner, const char* scriptName, const QString& portLabel, int nButtons)
    : HxPort(portOwner, scriptName, portLabel), buttonLabels(static_cast<std::size_t>(nButtons > 0 ? nButtons : 0)) {}

HxPortButtonList::~HxPortButtonList() = default;

void HxPortButtonList::setLabel(int button, const QString& text) {
    if (!inRange(button, buttonLabels.size())) return;
    const auto i = static_cast<std::size_t>(button);
    buttonLabels[i] = text;
    if (i < buttonWidgets.size() && buttonWidgets[i]) buttonWidgets[i]->setText(text);
}

void HxPortButtonList::setToolTip(int button, const QString& text) {
    if (!inRange(button, buttonLabels.size())) return;
    const auto i = static_cast<std::size_t>(button);
    buttonTips.resize(buttonLabels.size());
    buttonTips[i] = text;
    if (i < buttonWidgets.size() && buttonWidgets[i]) buttonWidgets[i]->setToolTip(text);
}

QString HxPortButtonList::getLabel(int button) const {
    return inRange(button, buttonLabels.size()) ? buttonLabels[static_cast<std::size_t>(button)] : QString();
}

bool HxPortButtonList::hit(int button) {
    if (!inRange(button, buttonLabels.size())) return false;
    pressed = button;
    valueChanged();
    return true;
}

void HxPortButtonList::untouch() {
    HxPort::untouch();
    pressed = -1;
}

void HxPortButtonList::createControls(QWidget* row) {
    buttonWidgets.clear();
    for (std::size_t i = 0; i < buttonLabels.size(); ++i) {
        auto* button = new QPushButton(buttonLabels[i], row);
        const bool ownTip = i < buttonTips.size() && !buttonTips[i].isEmpty();
        button->setToolTip(ownTip ? buttonTips[i] : getToolTip());
        row->layout()->addWidget(button);
        buttonWidgets.emplace_back(button);
        // The relay is the context: the connection dies with the port.
        const int index = static_cast<int>(i);
        QObject::connect(button, &QPushButton::clicked, relay(), [this, index] {
            clickedButton = index;
            relay()->guiCallback();
        });
    }
}

bool HxPortButtonList::deliverClick() {
    if (clickedButton < 0) return false;
    const int button = clickedButton;
    clickedButton = -1;
    return hit(button);
}

void HxPortButtonList::guiCallback() {
    if (deliverClick() && getOwner()) getOwner()->fire();
}

int HxPortButtonList::parse(Tcl_Interp* interp, int argc, char** argv) {
    const char* word = argc > 1 ? argv[1] : "help";
    if (cmdCheck(word, "getValue", "returns the pressed button, or -1")) {
        if (int r = cmdHelp(interp, word, argc == 2, argc, argv); r != 4) return r;
        Tcl_VaSetResult(interp, "%d", pressed);
        return TCL_OK;
    }
    if (cmdCheck(word, "hit", "hit i: presses button i; the object reacts when it fires")) {
        if (int r = cmdHelp(interp, word, argc == 3, argc, argv); r != 4) return r;
        int button = -1;
        if (!parseIndex(argv[2], button) || !hit(button)) {
            Tcl_VaSetResult(interp, "%s hit: no button \"%s\" %s", getName(), argv[2],
                            validRange("buttons", getNumButtons()).c_str());
            return TCL_ERROR;
        }
        return TCL_OK;
    }
    return HxPort::parse(interp, argc, argv);
}
