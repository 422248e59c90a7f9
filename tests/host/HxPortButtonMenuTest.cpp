// HxPortButtonMenu: buttons whose press lasts until the owner fired, an option
// menu, script access, saved-network lines (with the fire line of ports that
// fire on network save) and the port's Qt widgets.
#include "ScriptTestSupport.h"

#include <hxcore/HxObject.h>
#include <hxcore/HxObjectPool.h>
#include <mc/McHandle.h>
#include <ports/HxPortButtonMenu.h>
#include <ports/HxPortTime.h>
#include <ports/HxPortTypeInfo.h>

#include <QApplication>
#include <QComboBox>
#include <QPushButton>
#include <QString>
#include <QWidget>
#include <cstdio>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

// An object with a menu port (two buttons, three options) and a time port, in
// that order; it logs what its compute() sees.
class MenuOwner : public HxObject {
    MC_HEADER(MenuOwner)

public:
    MenuOwner() : portAction(this, "action", QString("Action"), 2, 3), portTime(this, "time", QString("Time")) {
        portAction.setLabel(0, QString("go"));
        portAction.setLabel(1, QString("stop"));
        portAction.setOptLabel(0, QString("red"));
        portAction.setOptLabel(1, QString("green"));
        portAction.setOptLabel(2, QString("blue"));
    }
    void compute() override {
        log.push_back("compute new=" + std::to_string(portAction.isNew()) +
                      " button=" + std::to_string(portAction.getValue()) +
                      " option=" + std::to_string(portAction.getOptValue()));
    }

    HxPortButtonMenu portAction;
    HxPortTime portTime;
    std::vector<std::string> log;
};
MC_INIT_CLASS(MenuOwner, HxObject::getClassTypeId())

namespace {

// ---------------------------------------------------------------------------
// The port on its own

TEST(HxPortButtonMenu, typeRecordIsAPortRecord) {
    const McTypeInfo* type = HxPortButtonMenu::getClassTypeId();
    EXPECT_STREQ(type->getName(), "HxPortButtonMenu");
    EXPECT_EQ(type->parent(), HxPort::getClassTypeId());
    EXPECT_NE(dynamic_cast<const HxPortTypeInfo*>(type), nullptr);
    EXPECT_EQ(McTypeInfo::fromName("HxPortButtonMenu"), type);
    HxPortButtonMenu port(nullptr, "menu", QString("Menu"), 1, 1);
    EXPECT_EQ(port.getTypeId(), type);
}

TEST(HxPortButtonMenu, startsWithNothingPressedAndTheFirstOption) {
    HxPortButtonMenu port(nullptr, "menu", QString("Menu"), 2, 4);
    EXPECT_EQ(port.getNumButtons(), 2);
    EXPECT_EQ(port.getNumOptions(), 4);
    EXPECT_EQ(port.getValue(), -1);
    EXPECT_EQ(port.getOptValue(), 0);
    EXPECT_FALSE(port.isNew());
    EXPECT_FALSE(port.getFireOnSaveNetwork());
    EXPECT_EQ(port.getLabel(), QString("Menu"));
}

TEST(HxPortButtonMenu, withoutOptionsTheOptionIsMinusOne) {
    HxPortButtonMenu port(nullptr, "menu", QString("Menu"), 1, 0);
    EXPECT_EQ(port.getOptValue(), -1);
    EXPECT_FALSE(port.setOptValue(0));
    EXPECT_EQ(port.valueForSave(), "");
}

TEST(HxPortButtonMenu, negativeCountsAreNone) {
    HxPortButtonMenu port(nullptr, "menu", QString("Menu"), -2, -1);
    EXPECT_EQ(port.getNumButtons(), 0);
    EXPECT_EQ(port.getNumOptions(), 0);
    EXPECT_FALSE(port.hit(0));
}

TEST(HxPortButtonMenu, labelsOfButtonsOptionsAndThePortAreApart) {
    HxPortButtonMenu port(nullptr, "menu", QString("Menu"), 2, 2);
    port.setLabel(1, QString("second"));
    port.setOptLabel(0, QString("first option"));
    port.setLabel(QString("Renamed"));
    EXPECT_EQ(port.getLabel(0), QString());
    EXPECT_EQ(port.getLabel(1), QString("second"));
    EXPECT_EQ(port.getOptLabel(0), QString("first option"));
    EXPECT_EQ(port.getLabel(), QString("Renamed"));

    port.setLabel(2, QString("none"));
    port.setLabel(-1, QString("none"));
    port.setOptLabel(2, QString("none"));
    EXPECT_EQ(port.getLabel(2), QString());
    EXPECT_EQ(port.getOptLabel(2), QString());
    EXPECT_EQ(port.getLabel(1), QString("second"));
    EXPECT_EQ(port.getOptLabel(1), QString());
}

TEST(HxPortButtonMenu, hitPressesAButtonAndMarksThePortNew) {
    HxPortButtonMenu port(nullptr, "menu", QString("Menu"), 3, 1);
    EXPECT_TRUE(port.hit(2));
    EXPECT_EQ(port.getValue(), 2);
    EXPECT_TRUE(port.isNew());
    port.untouch();
    EXPECT_EQ(port.getValue(), -1) << "the press ends with the new-flags";
    EXPECT_FALSE(port.isNew());
}

TEST(HxPortButtonMenu, hitOutsideTheButtonsChangesNothing) {
    HxPortButtonMenu port(nullptr, "menu", QString("Menu"), 2, 1);
    for (int bad : {-1, 2, 100}) {
        EXPECT_FALSE(port.hit(bad)) << bad;
        EXPECT_EQ(port.getValue(), -1) << bad;
        EXPECT_FALSE(port.isNew()) << bad;
    }
    ASSERT_TRUE(port.hit(1));
    EXPECT_FALSE(port.hit(5));
    EXPECT_EQ(port.getValue(), 1) << "a refused press keeps the earlier one";
}

TEST(HxPortButtonMenu, optionIsSetInsideTheMenuOnly) {
    HxPortButtonMenu port(nullptr, "menu", QString("Menu"), 1, 3);
    EXPECT_TRUE(port.setOptValue(2));
    EXPECT_EQ(port.getOptValue(), 2);
    EXPECT_EQ(port.getOptValue(0), 2);
    EXPECT_EQ(port.getOptValue(1), -1) << "the port has one menu";
    EXPECT_TRUE(port.isNew());
    port.untouch();
    EXPECT_EQ(port.getOptValue(), 2) << "the option lasts";

    for (int bad : {-1, 3, 42}) {
        EXPECT_FALSE(port.setOptValue(bad)) << bad;
        EXPECT_EQ(port.getOptValue(), 2) << bad;
        EXPECT_FALSE(port.isNew()) << bad;
    }
}

TEST(HxPortButtonMenu, savesItsOptionThroughSetOptValue) {
    HxPortButtonMenu port(nullptr, "menu", QString("Menu"), 1, 3);
    port.setOptValue(1);
    EXPECT_EQ(port.valueForSave(), "1");
    EXPECT_STREQ(port.saveCommand(), "setOptValue");
}

// ---------------------------------------------------------------------------
// On an object: the owner fires and sees the press once

class HxPortButtonMenuOwned : public ::testing::Test {
protected:
    void SetUp() override {
        owner = new MenuOwner;
        name = theObjectPool->add(owner, "menuOwner");
    }
    void TearDown() override { theObjectPool->clear(); }

    McHandle<MenuOwner> owner;
    std::string name;
};

TEST_F(HxPortButtonMenuOwned, ownerSeesThePressWhenItFiresAndNeverAgain) {
    ASSERT_TRUE(owner->portAction.hit(1));
    EXPECT_NE(owner->getTouchFlags(), 0u) << "the owner is told of the press";
    owner->fire();
    owner->portTime.setValue(0.5f);
    owner->fire();
    EXPECT_EQ(owner->log, (std::vector<std::string>{"compute new=1 button=1 option=0",
                                                    "compute new=0 button=-1 option=0"}));
}

TEST_F(HxPortButtonMenuOwned, scriptPressesAButtonAndTheObjectReactsOnFire) {
    evalOk(name + " action hit 1");
    EXPECT_EQ(evalOk(name + " action getValue"), "1");
    EXPECT_EQ(evalOk(name + " action isNew"), "1");
    EXPECT_TRUE(owner->log.empty()) << "hit alone does not fire";
    evalOk(name + " fire");
    EXPECT_EQ(owner->log, (std::vector<std::string>{"compute new=1 button=1 option=0"}));
    EXPECT_EQ(evalOk(name + " action getValue"), "-1");
}

TEST_F(HxPortButtonMenuOwned, scriptSelectsAnOption) {
    evalOk(name + " action setOptValue 2");
    EXPECT_EQ(evalOk(name + " action getOptValue"), "2");
    evalOk(name + " fire");
    EXPECT_EQ(owner->log, (std::vector<std::string>{"compute new=1 button=-1 option=2"}));
}

TEST_F(HxPortButtonMenuOwned, badIndicesAreRefusedWordForWordAndChangeNothing) {
    evalOk(name + " action setOptValue 1");
    owner->fire();
    owner->log.clear();

    EXPECT_EQ(evalError(name + " action hit 2"), "action hit: no button \"2\" (buttons are numbered 0 to 1)");
    EXPECT_EQ(evalError(name + " action hit -1"), "action hit: no button \"-1\" (buttons are numbered 0 to 1)");
    EXPECT_EQ(evalError(name + " action hit one"), "action hit: no button \"one\" (buttons are numbered 0 to 1)");
    EXPECT_EQ(evalError(name + " action setOptValue 3"),
              "action setOptValue: no option \"3\" (options are numbered 0 to 2)");
    EXPECT_EQ(evalError(name + " action setOptValue 1.5"),
              "action setOptValue: no option \"1.5\" (options are numbered 0 to 2)");
    EXPECT_EQ(evalError(name + " action hit"), "action hit: wrong number of arguments");
    EXPECT_EQ(evalError(name + " action setOptValue 1 2"), "action setOptValue: wrong number of arguments");

    EXPECT_EQ(owner->portAction.getValue(), -1);
    EXPECT_EQ(owner->portAction.getOptValue(), 1);
    EXPECT_FALSE(owner->portAction.isNew());
    EXPECT_EQ(owner->getTouchFlags(), 0u);
}

TEST(HxPortButtonMenuScript, portWithoutButtonsSaysSo) {
    auto* owner = new MenuOwner;
    const std::string name = theObjectPool->add(owner, "bareOwner");
    HxPortButtonMenu bare(owner, "bare", QString("Bare"), 0, 0);
    EXPECT_EQ(evalError(name + " bare hit 0"), "bare hit: no button \"0\" (the port has no buttons)");
    EXPECT_EQ(evalError(name + " bare setOptValue 0"), "bare setOptValue: no option \"0\" (the port has no options)");
    EXPECT_EQ(evalOk(name + " bare getOptValue"), "-1");
    theObjectPool->clear();
}

TEST_F(HxPortButtonMenuOwned, helpListsTheMenuCommandsAndThePortCommands) {
    const std::string help = evalOk(name + " action help");
    for (const char* command : {"getValue", "hit", "getOptValue", "setOptValue", "show", "setLabel"})
        EXPECT_NE(help.find(command), std::string::npos) << command << " in: " << help;
}

// ---------------------------------------------------------------------------
// Saved networks

std::string writtenBy(const std::function<void(FILE*)>& write) {
    std::unique_ptr<FILE, int (*)(FILE*)> file(std::tmpfile(), &std::fclose);
    write(file.get());
    std::rewind(file.get());
    std::string text;
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, file.get())) text += buffer;
    return text;
}

TEST_F(HxPortButtonMenuOwned, savedLinesWithoutFiring) {
    owner->portAction.setOptValue(2);
    owner->portTime.setValue(0.25f);
    EXPECT_EQ(writtenBy([&](FILE* fp) { owner->savePorts(fp); }),
              "{menuOwner} action setOptValue 2\n"
              "{menuOwner} time setMinMax 0 1\n" "{menuOwner} time setValue 0.25\n");
}

TEST_F(HxPortButtonMenuOwned, portThatFiresOnSaveIsFollowedByAFireLine) {
    owner->portAction.setOptValue(2);
    owner->portAction.setFireOnSaveNetwork(true);
    EXPECT_TRUE(owner->portAction.getFireOnSaveNetwork());
    owner->portTime.setValue(0.25f);
    EXPECT_EQ(writtenBy([&](FILE* fp) { owner->savePorts(fp); }),
              "{menuOwner} action setOptValue 2\n"
              "{menuOwner} fire\n"
              "{menuOwner} time setMinMax 0 1\n" "{menuOwner} time setValue 0.25\n");

    owner->portAction.setFireOnSaveNetwork(false);
    owner->portTime.setFireOnSaveNetwork(true);
    EXPECT_EQ(writtenBy([&](FILE* fp) { owner->savePorts(fp); }),
              "{menuOwner} action setOptValue 2\n"
              "{menuOwner} time setMinMax 0 1\n" "{menuOwner} time setValue 0.25\n"
              "{menuOwner} fire\n");
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
    EXPECT_EQ(recreated->portAction.getOptValue(), 2);
    EXPECT_EQ(recreated->portTime.getValue(), 0.25f);
    // Fired once, after the option and before the time was restored.
    EXPECT_EQ(recreated->log, (std::vector<std::string>{"compute new=1 button=-1 option=2"}));
    EXPECT_TRUE(recreated->portTime.isNew()) << "the time came after the fire";
}

// ---------------------------------------------------------------------------
// Widgets

QApplication& application() {
    static int argc = 1;
    static char programName[] = "host_HxPortButtonMenu";
    static char* argv[] = {programName, nullptr};
    static QApplication app(argc, argv);
    return app;
}

class HxPortButtonMenuWidgets : public HxPortButtonMenuOwned {
protected:
    void SetUp() override {
        application();
        HxPortButtonMenuOwned::SetUp();
        parent = std::make_unique<QWidget>();
        owner->portAction.createWidget(parent.get());
        buttons = parent->findChildren<QPushButton*>();
        menu = parent->findChild<QComboBox*>();
    }
    void TearDown() override {
        parent.reset();
        HxPortButtonMenuOwned::TearDown();
    }

    std::unique_ptr<QWidget> parent;
    QList<QPushButton*> buttons;
    QComboBox* menu = nullptr;
};

TEST_F(HxPortButtonMenuWidgets, showButtonsAndMenuWithTheirLabels) {
    ASSERT_EQ(buttons.size(), 2);
    EXPECT_EQ(buttons[0]->text(), QString("go"));
    EXPECT_EQ(buttons[1]->text(), QString("stop"));
    ASSERT_NE(menu, nullptr);
    ASSERT_EQ(menu->count(), 3);
    EXPECT_EQ(menu->itemText(2), QString("blue"));
    EXPECT_EQ(menu->currentIndex(), 0);
}

TEST_F(HxPortButtonMenuWidgets, clickingAButtonFiresTheOwnerWithThatButtonPressed) {
    ASSERT_EQ(buttons.size(), 2);
    buttons[1]->click();
    EXPECT_EQ(owner->log, (std::vector<std::string>{"compute new=1 button=1 option=0"}));
    EXPECT_EQ(owner->portAction.getValue(), -1) << "the press ended when the owner fired";
    buttons[0]->click();
    EXPECT_EQ(owner->log.back(), "compute new=1 button=0 option=0");
}

TEST_F(HxPortButtonMenuWidgets, choosingFromTheMenuFiresTheOwnerWithTheNewOption) {
    ASSERT_NE(menu, nullptr);
    menu->setCurrentIndex(2);
    EXPECT_EQ(owner->portAction.getOptValue(), 2);
    EXPECT_EQ(owner->log, (std::vector<std::string>{"compute new=1 button=-1 option=2"}));
}

TEST_F(HxPortButtonMenuWidgets, changesFromCodeShowWithoutFiring) {
    ASSERT_NE(menu, nullptr);
    ASSERT_EQ(buttons.size(), 2);
    owner->portAction.setOptValue(1);
    owner->portAction.setLabel(0, QString("start"));
    owner->portAction.setOptLabel(2, QString("cyan"));
    EXPECT_EQ(menu->currentIndex(), 1);
    EXPECT_EQ(buttons[0]->text(), QString("start"));
    EXPECT_EQ(menu->itemText(2), QString("cyan"));
    EXPECT_TRUE(owner->log.empty());
}

TEST_F(HxPortButtonMenuWidgets, portOutlivesItsWidgets) {
    parent.reset();
    EXPECT_TRUE(owner->portAction.setOptValue(2));
    owner->portAction.setLabel(1, QString("halt"));
    EXPECT_EQ(owner->portAction.getLabel(1), QString("halt"));
}

TEST_F(HxPortButtonMenuWidgets, widgetsOutliveTheirPort) {
    ASSERT_EQ(buttons.size(), 2);
    theObjectPool->clear();
    owner = nullptr;  // the port is gone with its owner
    buttons[0]->click();
    menu->setCurrentIndex(1);
    EXPECT_EQ(menu->currentIndex(), 1) << "the widgets still work on their own";
}

}  // namespace
