#include <hxcore/HxBase.h>
#include <hxcore/HxCmd.h>
#include <ports/HxPortButtonMenu.h>
#include <ports/HxPortTypeInfo.h>

#include <QComboBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QSignalBlocker>
#include <QWidget>
#include <climits>
#include <string>
#include <tcl.h>

HX_INIT_PORT_CLASS(HxPortButtonMenu, HxPort::getClassTypeId(), nullptr, nullptr)

namespace {
std::size_t countOf(int n) { return static_cast<std::size_t>(n > 0 ? n : 0); }

bool inRange(int i, std::size_t n) { return i >= 0 && static_cast<std::size_t>(i) < n; }

// Reads a whole-word index; false for anything else (also for numbers beyond int).
bool parseIndex(const char* word, int& index) {
    long value = 0;
    if (!parseLong(word, value) || value < INT_MIN || value > INT_MAX) return false;
    index = static_cast<int>(value);
    return true;
}

// "(buttons are numbered 0 to 2)", or "(the port has no buttons)".
std::string validRange(const char* what, int count) {
    if (count == 0) return std::string("(the port has no ") + what + ")";
    return std::string("(") + what + " are numbered 0 to " + std::to_string(count - 1) + ")";
}
}  // namespace

HxPortButtonMenu::HxPortButtonMenu(HxBase* portOwner, const char* scriptName, const QString& portLabel, int nButtons,
                                   int nOptions)
    : HxPort(portOwner, scriptName, portLabel),
      buttonLabels(countOf(nButtons)),
      optionLabels(countOf(nOptions)),
      option(nOptions > 0 ? 0 : -1) {}

HxPortButtonMenu::~HxPortButtonMenu() = default;

void HxPortButtonMenu::setLabel(int button, const QString& text) {
    if (!inRange(button, buttonLabels.size())) return;
    buttonLabels[static_cast<std::size_t>(button)] = text;
    if (button < static_cast<int>(buttonWidgets.size()) && buttonWidgets[static_cast<std::size_t>(button)])
        buttonWidgets[static_cast<std::size_t>(button)]->setText(text);
}

QString HxPortButtonMenu::getLabel(int button) const {
    return inRange(button, buttonLabels.size()) ? buttonLabels[static_cast<std::size_t>(button)] : QString();
}

void HxPortButtonMenu::setOptLabel(int index, const QString& text) {
    if (!inRange(index, optionLabels.size())) return;
    optionLabels[static_cast<std::size_t>(index)] = text;
    if (menuWidget) menuWidget->setItemText(index, text);
}

QString HxPortButtonMenu::getOptLabel(int index) const {
    return inRange(index, optionLabels.size()) ? optionLabels[static_cast<std::size_t>(index)] : QString();
}

bool HxPortButtonMenu::hit(int button) {
    if (!inRange(button, buttonLabels.size())) return false;
    pressed = button;
    valueChanged();
    return true;
}

bool HxPortButtonMenu::setOptValue(int index) {
    if (!inRange(index, optionLabels.size())) return false;
    option = index;
    if (menuWidget) {
        QSignalBlocker block(menuWidget.data());
        menuWidget->setCurrentIndex(option);
    }
    valueChanged();
    return true;
}

void HxPortButtonMenu::untouch() {
    HxPort::untouch();
    pressed = -1;
}

std::string HxPortButtonMenu::valueForSave() const { return option < 0 ? std::string() : std::to_string(option); }

void HxPortButtonMenu::createControls(QWidget* row) {
    buttonWidgets.clear();
    for (std::size_t i = 0; i < buttonLabels.size(); ++i) {
        auto* button = new QPushButton(buttonLabels[i], row);
        button->setToolTip(getToolTip());
        row->layout()->addWidget(button);
        buttonWidgets.emplace_back(button);
        // The relay is the context: the connection dies with the port.
        const int index = static_cast<int>(i);
        QObject::connect(button, &QPushButton::clicked, relay(), [this, index] {
            clickedButton = index;
            relay()->guiCallback();
        });
    }
    menuWidget = nullptr;
    if (optionLabels.empty()) return;
    auto* menu = new QComboBox(row);
    for (const QString& text : optionLabels) menu->addItem(text);
    menu->setCurrentIndex(option);
    menu->setToolTip(getToolTip());
    row->layout()->addWidget(menu);
    menuWidget = menu;
    QObject::connect(menu, SIGNAL(currentIndexChanged(int)), relay(), SLOT(guiCallback()));
}

void HxPortButtonMenu::guiCallback() {
    bool changed = false;
    if (clickedButton >= 0) {
        const int button = clickedButton;
        clickedButton = -1;
        changed = hit(button);
    } else if (menuWidget && menuWidget->currentIndex() != option) {
        changed = setOptValue(menuWidget->currentIndex());
    }
    if (changed && getOwner()) getOwner()->fire();
}

int HxPortButtonMenu::parse(Tcl_Interp* interp, int argc, char** argv) {
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
    if (cmdCheck(word, "getOptValue", "returns the selected option")) {
        if (int r = cmdHelp(interp, word, argc == 2, argc, argv); r != 4) return r;
        Tcl_VaSetResult(interp, "%d", option);
        return TCL_OK;
    }
    if (cmdCheck(word, "setOptValue", "setOptValue i: selects option i")) {
        if (int r = cmdHelp(interp, word, argc == 3, argc, argv); r != 4) return r;
        int index = -1;
        if (!parseIndex(argv[2], index) || !setOptValue(index)) {
            Tcl_VaSetResult(interp, "%s setOptValue: no option \"%s\" %s", getName(), argv[2],
                            validRange("options", getNumOptions()).c_str());
            return TCL_ERROR;
        }
        return TCL_OK;
    }
    return HxPort::parse(interp, argc, argv);
}
