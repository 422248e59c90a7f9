// HxPortButtonMenu: buttons whose press lasts until the owner fired, an option
// menu, script access, saved-network lines and the port's Qt widgets.
#include "ScriptTestSupport.h"

#include <WidgetApplication.h>
#include <hxcore/HxMessage.h>
#include <hxcore/HxObject.h>
#include <hxcore/HxObjectPool.h>
#include <mc/McHandle.h>
#include <ports/HxPortButtonMenu.h>
#include <ports/HxPortTime.h>

#include <QApplication>
#include <QComboBox>
#include <QPushButton>
#include <QString>
#include <QWidget>

// A menu port (two buttons, three options) and a time port, in that order; logs what compute() sees.
class MenuOwner : public HxObject {
    MC_HEADER(MenuOwner)

public:
    MenuOwner() : portAction(this, "action", QString("Action"), 2, 3), portTime(this, "time", QString("Time")) {
        portAction.setLabel(0, QString("go"));
        portAction.setLabel(1, QString("stop"));
        for (int i = 0; i < 3; ++i) portAction.setOptLabel(i, QString(i == 2 ? "blue" : "other"));
    }
    void compute() override {
        log.push_back("new=" + std::to_string(portAction.isNew()) + " button=" + std::to_string(portAction.getValue()) +
                      " option=" + std::to_string(portAction.getOptValue()));
    }
    HxPortButtonMenu portAction;
    HxPortTime portTime;
    std::vector<std::string> log;
};
MC_INIT_CLASS(MenuOwner, HxObject::getClassTypeId())

namespace {

using Log = std::vector<std::string>;

// Presses are HxPortButtonList's, tested there.
TEST(HxPortButtonMenu, firstOptionIsSelectedAndNegativeCountsMeanNone) {
    EXPECT_EQ(HxPortButtonMenu(nullptr, "menu", QString("Menu"), 2, 4).getOptValue(), 0);
    HxPortButtonMenu none(nullptr, "menu", QString("Menu"), -2, 0);
    EXPECT_EQ(none.getNumButtons(), 0);
    EXPECT_EQ(none.getOptValue(), -1);
    EXPECT_FALSE(none.setOptValue(0));
    EXPECT_EQ(none.valueForSave(), "");
}

TEST(HxPortButtonMenu, optionIsSetInsideTheMenuOnlyAndLasts) {
    HxPortButtonMenu port(nullptr, "menu", QString("Menu"), 1, 3);
    EXPECT_TRUE(port.setOptValue(2));
    EXPECT_EQ(port.getOptValue(1), -1) << "the port has one menu";
    EXPECT_TRUE(port.isNew());
    port.untouch();
    for (int bad : {-1, 3}) EXPECT_FALSE(port.setOptValue(bad)) << bad;
    EXPECT_EQ(port.getOptValue(), 2);
    EXPECT_FALSE(port.isNew());
    EXPECT_EQ(port.valueForSave(), "2");
    EXPECT_STREQ(port.saveCommand(), "setOptValue");

    port.setLabel(1, QString("none"));
    port.setOptLabel(3, QString("none"));
    port.setOptLabel(0, QString("first"));
    EXPECT_EQ(port.getLabel(1), QString());
    EXPECT_EQ(port.getOptLabel(0), QString("first"));
}

class HxPortButtonMenuOwned : public ::testing::Test {
protected:
    void SetUp() override { theObjectPool->add(owner, "menuOwner"); }
    void TearDown() override {
        theObjectPool->clear();
        theMsg->clear();
    }
    McHandle<MenuOwner> owner = new MenuOwner;
};

TEST_F(HxPortButtonMenuOwned, ownerSeesThePressWhenItFiresAndNeverAgain) {
    evalOk("menuOwner action hit 1");
    evalOk("menuOwner fire");
    owner->portTime.setValue(0.5f);
    owner->fire();
    evalOk("menuOwner action setOptValue 2");
    EXPECT_EQ(evalOk("menuOwner action getOptValue"), "2");
    owner->fire();
    EXPECT_EQ(owner->log, (Log{"new=1 button=1 option=0", "new=0 button=-1 option=0", "new=1 button=-1 option=2"}));
}

TEST_F(HxPortButtonMenuOwned, badOptionsAreRefusedWordForWordAndChangeNothing) {
    EXPECT_EQ(evalError("menuOwner action setOptValue 1.5"),
              "action setOptValue: no option \"1.5\" (options are numbered 0 to 2)");
    EXPECT_EQ(evalError("menuOwner action setOptValue 1 2"), "action setOptValue: wrong number of arguments");
    HxPortButtonMenu bare(owner, "bare", QString("Bare"), 0, 0);
    EXPECT_EQ(evalError("menuOwner bare setOptValue 0"), "bare setOptValue: no option \"0\" (the port has no options)");
    EXPECT_EQ(evalError("menuOwner action hit 2"), "action hit: no button \"2\" (buttons are numbered 0 to 1)");
    EXPECT_EQ(owner->portAction.getValue(), -1);
    EXPECT_EQ(owner->portAction.getOptValue(), 0);
    EXPECT_EQ(owner->getTouchFlags(), 0u);
    const std::string help = evalOk("menuOwner action help");
    for (const char* command : {"hit", "setOptValue", "setLabel"})
        EXPECT_NE(help.find(command), std::string::npos) << command << " in: " << help;
}

TEST_F(HxPortButtonMenuOwned, portThatFiresOnSaveIsFollowedByAFireLine) {
    owner->portAction.setOptValue(2);
    owner->portTime.setValue(0.25f);
    const std::string action = "{menuOwner} action setOptValue 2\n";
    const std::string time = "{menuOwner} time setMinMax 0 1\n{menuOwner} time setValue 0.25\n";
    const auto saved = [&] { return writtenBy([&](FILE* fp) { owner->savePorts(fp); }); };
    EXPECT_EQ(saved(), action + time);
    owner->portAction.setFireOnSaveNetwork(true);
    EXPECT_EQ(saved(), action + "{menuOwner} fire\n" + time);
    owner->portAction.setFireOnSaveNetwork(false);
    owner->portTime.setFireOnSaveNetwork(true);
    EXPECT_EQ(saved(), action + time + "{menuOwner} fire\n");
}

TEST_F(HxPortButtonMenuOwned, savedNetworkRestoresTheOptionAndFiresRightAfterIt) {
    owner->portAction.setOptValue(2);
    owner->portAction.setFireOnSaveNetwork(true);
    owner->portTime.setValue(0.25f);
    const std::string script = writtenBy([&](FILE* fp) {
        ASSERT_EQ(owner->saveCreation(fp, "", 0), 0);
        owner->savePorts(fp);
    });
    theObjectPool->clear();
    owner = nullptr;
    evalOk(script);
    auto* recreated = dynamic_cast<MenuOwner*>(theObjectPool->find("menuOwner"));
    ASSERT_NE(recreated, nullptr) << script;
    EXPECT_EQ(recreated->portTime.getValue(), 0.25f);
    // Fired once, after the option and before the time was restored.
    EXPECT_EQ(recreated->log, (Log{"new=1 button=-1 option=2"}));
    EXPECT_TRUE(recreated->portTime.isNew()) << "the time came after the fire";
}

class HxPortButtonMenuWidgets : public HxPortButtonMenuOwned {
protected:
    void SetUp() override {
        ensureWidgetApplication();
        HxPortButtonMenuOwned::SetUp();
        parent = std::make_unique<QWidget>();
        owner->portAction.createWidget(parent.get());
        buttons = parent->findChildren<QPushButton*>();
        menu = parent->findChild<QComboBox*>();
        ASSERT_EQ(buttons.size(), 2);
        ASSERT_NE(menu, nullptr);
    }
    std::unique_ptr<QWidget> parent;
    QList<QPushButton*> buttons;
    QComboBox* menu = nullptr;
};

TEST_F(HxPortButtonMenuWidgets, clicksFireTheOwnerAndCodeChangesShowWithoutFiring) {
    EXPECT_EQ(buttons[1]->text(), QString("stop"));
    EXPECT_EQ(menu->itemText(2), QString("blue"));
    owner->portAction.setOptValue(1);
    owner->portAction.setLabel(0, QString("start"));
    EXPECT_EQ(menu->currentIndex(), 1);
    EXPECT_EQ(buttons[0]->text(), QString("start"));
    EXPECT_TRUE(owner->log.empty());
    buttons[1]->click();
    EXPECT_EQ(owner->log, (Log{"new=1 button=1 option=1"}));
    EXPECT_EQ(owner->portAction.getValue(), -1) << "the press ended when the owner fired";
    menu->setCurrentIndex(2);
    EXPECT_EQ(owner->log.back(), "new=1 button=-1 option=2");
}

TEST_F(HxPortButtonMenuWidgets, portOutlivesItsWidgets) {
    parent.reset();
    EXPECT_TRUE(owner->portAction.setOptValue(2));
    owner->portAction.setLabel(1, QString("halt"));
    EXPECT_EQ(owner->portAction.getLabel(1), QString("halt"));
}

TEST_F(HxPortButtonMenuWidgets, widgetsOutliveTheirPort) {
    theObjectPool->clear();
    owner = nullptr;  // the port is gone with its owner
    buttons[0]->click();
    menu->setCurrentIndex(1);
    EXPECT_EQ(menu->currentIndex(), 1);
}

}  // namespace
