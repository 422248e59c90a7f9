#include <hxcore/HxBase.h>
#include <hxcore/HxCmd.h>
#include <ports/HxPortButtonMenu.h>
#include <ports/HxPortTypeInfo.h>

#include <QComboBox>
#include <QHBoxLayout>
#include <QSignalBlocker>
#include <QWidget>
#include <string>
#include <tcl.h>

HX_INIT_PORT_CLASS(HxPortButtonMenu, HxPortButtonList::getClassTypeId(), nullptr, nullptr)

namespace {
std::size_t countOf(int n) { return static_cast<std::size_t>(n > 0 ? n : 0); }

bool inRange(int i, std::size_t n) { return i >= 0 && static_cast<std::size_t>(i) < n; }
}  // namespace

HxPortButtonMenu::HxPortButtonMenu(HxBase* portOwner, const char* scriptName, const QString& portLabel, int nButtons,
                                   int nOptions)
    : HxPortButtonList(portOwner, scriptName, portLabel, nButtons),
      optionLabels(countOf(nOptions)),
      option(nOptions > 0 ? 0 : -1) {}

HxPortButtonMenu::~HxPortButtonMenu() = default;

void HxPortButtonMenu::setOptLabel(int index, const QString& text) {
    if (!inRange(index, optionLabels.size())) return;
    optionLabels[static_cast<std::size_t>(index)] = text;
    if (menuWidget) menuWidget->setItemText(index, text);
}

QString HxPortButtonMenu::getOptLabel(int index) const {
    return inRange(index, optionLabels.size()) ? optionLabels[static_cast<std::size_t>(index)] : QString();
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

std::string HxPortButtonMenu::valueForSave() const { return option < 0 ? std::string() : std::to_string(option); }

void HxPortButtonMenu::createControls(QWidget* row) {
    HxPortButtonList::createControls(row);
    menuWidget = nullptr;
    if (optionLabels.empty()) return;
    auto* menu = new QComboBox(row);
    for (const QString& text : optionLabels) menu->addItem(text);
    menu->setCurrentIndex(option);
    menu->setToolTip(getToolTip());
    row->layout()->addWidget(menu);
    menuWidget = menu;
    QObject::connect(menu, qOverload<int>(&QComboBox::currentIndexChanged), relay(), &HxPortRelay::guiCallback);
}

void HxPortButtonMenu::guiCallback() {
    bool changed = deliverClick();
    if (!changed && menuWidget && menuWidget->currentIndex() != option)
        changed = setOptValue(menuWidget->currentIndex());
    if (changed && getOwner()) getOwner()->fire();
}

int HxPortButtonMenu::parse(Tcl_Interp* interp, int argc, char** argv) {
    const char* word = argc > 1 ? argv[1] : "help";
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
    return HxPortButtonList::parse(interp, argc, argv);
}
