// HxPortButtonList: presses that last until the owner fired, labels, script
// access and the port's push buttons; the relay that hands widget signals to ports.
#include "ScriptTestSupport.h"

#include <WidgetApplication.h>
#include <hxcore/HxMessage.h>
#include <hxcore/HxObject.h>
#include <hxcore/HxObjectPool.h>
#include <mc/McHandle.h>
#include <ports/HxPortButtonList.h>

#include <QApplication>
#include <QMetaObject>
#include <QPushButton>
#include <QString>
#include <QWidget>
#include <utility>

// A list of three buttons; logs what compute() sees.
class ListOwner : public HxObject {
    MC_HEADER(ListOwner)

public:
    ListOwner() : portButtons(this, "buttons", QString("Keyframes"), 3) {
        for (int i = 0; i < 3; ++i) portButtons.setLabel(i, QString("b%1").arg(i));
    }
    void compute() override {
        log.push_back("new=" + std::to_string(portButtons.isNew()) +
                      " button=" + std::to_string(portButtons.getValue()));
    }
    HxPortButtonList portButtons;
    std::vector<std::string> log;
};
MC_INIT_CLASS(ListOwner, HxObject::getClassTypeId())

namespace {

using Log = std::vector<std::string>;

// Notes what its relay had recorded whenever the relay calls it.
class RelayedPort : public HxPort {
public:
    RelayedPort() : HxPort(nullptr, "relayed", QString("Relayed")) {}
    HxPortRelay* portRelay() { return relay(); }
    void guiCallback() override { seen.emplace_back(relay()->getLastInt(), relay()->getLastFloat()); }
    std::vector<std::pair<int, float>> seen;
};

TEST(HxPortRelay, typedSlotsRecordTheValueThenCallThePort) {
    RelayedPort port;
    HxPortRelay* relay = port.portRelay();
    relay->slot(4);
    // By name, as SIGNAL/SLOT connections reach them.
    ASSERT_TRUE(QMetaObject::invokeMethod(relay, "slot", Q_ARG(float, 2.5f)));
    ASSERT_TRUE(QMetaObject::invokeMethod(relay, "slot", Q_ARG(int, -7)));
    relay->guiCallback();
    EXPECT_EQ(port.seen, (std::vector<std::pair<int, float>>{{4, 0.0f}, {4, 2.5f}, {-7, 2.5f}, {-7, 2.5f}}));
    EXPECT_EQ(relay->getLastInt(), -7);
    EXPECT_EQ(relay->getLastFloat(), 2.5f);
}

TEST(HxPortButtonList, hitPressesUntilUntouchAndRefusesOtherButtons) {
    HxPortButtonList port(nullptr, "list", QString("List"), 2);
    EXPECT_EQ(port.getNumButtons(), 2);
    EXPECT_EQ(port.getValue(), -1);
    for (int bad : {-1, 2}) EXPECT_FALSE(port.hit(bad)) << bad;
    EXPECT_FALSE(port.isNew());
    EXPECT_TRUE(port.hit(1));
    EXPECT_TRUE(port.isNew());
    EXPECT_FALSE(port.hit(7));
    EXPECT_EQ(port.getValue(), 1) << "a refused press keeps the earlier one";
    port.untouch();
    EXPECT_EQ(port.getValue(), -1);
    EXPECT_FALSE(port.isNew());
    EXPECT_EQ(HxPortButtonList(nullptr, "none", QString(), -3).getNumButtons(), 0);
}

TEST(HxPortButtonList, buttonLabelsAndThePortLabelAreApart) {
    HxPortButtonList port(nullptr, "list", QString("List"), 2);
    port.setLabel(0, QString("add"));
    port.setLabel(2, QString("none"));
    port.setLabel(QString("Keyframes"));
    EXPECT_EQ(port.getLabel(0), QString("add"));
    EXPECT_EQ(port.getLabel(1), QString());
    EXPECT_EQ(port.getLabel(2), QString());
    EXPECT_EQ(port.getLabel(), QString("Keyframes"));
    EXPECT_TRUE(HxPortButtonList::getClassTypeId()->isDerivedFrom(HxPort::getClassTypeId()));
}

class HxPortButtonListOwned : public ::testing::Test {
protected:
    void SetUp() override { theObjectPool->add(owner, "listOwner"); }
    void TearDown() override {
        theObjectPool->clear();
        theMsg->clear();
    }
    McHandle<ListOwner> owner = new ListOwner;
};

TEST_F(HxPortButtonListOwned, ownerSeesThePressWhenItFiresAndNeverAgain) {
    evalOk("listOwner buttons hit 2");
    EXPECT_EQ(evalOk("listOwner buttons getValue"), "2");
    EXPECT_NE(owner->getTouchFlags(), 0u) << "the owner is told of the press";
    EXPECT_TRUE(owner->log.empty()) << "hit alone does not fire";
    evalOk("listOwner fire");
    EXPECT_EQ(evalOk("listOwner buttons getValue"), "-1");
    owner->portButtons.touch();
    owner->fire();
    EXPECT_EQ(owner->log, (Log{"new=1 button=2", "new=1 button=-1"}));
}

TEST_F(HxPortButtonListOwned, badIndicesAreRefusedWordForWordAndChangeNothing) {
    const struct {
        const char* script;
        const char* error;
    } cases[] = {
        {"listOwner buttons hit 3", "buttons hit: no button \"3\" (buttons are numbered 0 to 2)"},
        {"listOwner buttons hit -1", "buttons hit: no button \"-1\" (buttons are numbered 0 to 2)"},
        {"listOwner buttons hit 1.0", "buttons hit: no button \"1.0\" (buttons are numbered 0 to 2)"},
        {"listOwner buttons hit 99999999999", "buttons hit: no button \"99999999999\" (buttons are numbered 0 to 2)"},
        {"listOwner buttons hit", "buttons hit: wrong number of arguments"},
        {"listOwner buttons getValue 1", "buttons getValue: wrong number of arguments"},
        {"listOwner bare hit 0", "bare hit: no button \"0\" (the port has no buttons)"},
    };
    HxPortButtonList bare(owner, "bare", QString("Bare"), 0);
    for (const auto& c : cases) EXPECT_EQ(evalError(c.script), c.error) << c.script;
    EXPECT_EQ(owner->portButtons.getValue(), -1);
    EXPECT_FALSE(owner->portButtons.isNew());
    EXPECT_EQ(owner->getTouchFlags(), 0u);
    const std::string help = evalOk("listOwner buttons help");
    for (const char* command : {"hit", "getValue", "setLabel"})
        EXPECT_NE(help.find(command), std::string::npos) << command << " in: " << help;
}

class HxPortButtonListWidgets : public HxPortButtonListOwned {
protected:
    void SetUp() override {
        ensureWidgetApplication();
        HxPortButtonListOwned::SetUp();
        parent = std::make_unique<QWidget>();
        owner->portButtons.createWidget(parent.get());
        buttons = parent->findChildren<QPushButton*>();
        ASSERT_EQ(buttons.size(), 3);
    }
    std::unique_ptr<QWidget> parent;
    QList<QPushButton*> buttons;
};

TEST_F(HxPortButtonListWidgets, clicksFireTheOwnerAndLabelsShow) {
    EXPECT_EQ(buttons[1]->text(), QString("b1"));
    owner->portButtons.setLabel(1, QString("remove"));
    EXPECT_EQ(buttons[1]->text(), QString("remove"));
    buttons[1]->click();
    buttons[0]->click();
    EXPECT_EQ(owner->log, (Log{"new=1 button=1", "new=1 button=0"}));
    EXPECT_EQ(owner->portButtons.getValue(), -1) << "the press ended when the owner fired";
}

TEST_F(HxPortButtonListWidgets, portAndWidgetsOutliveEachOther) {
    parent.reset();
    owner->portButtons.setLabel(0, QString("add"));
    EXPECT_TRUE(owner->portButtons.hit(0));
    parent = std::make_unique<QWidget>();
    owner->portButtons.createWidget(parent.get());
    buttons = parent->findChildren<QPushButton*>();
    theObjectPool->clear();
    owner = nullptr;  // the port is gone with its owner
    buttons[0]->click();
    EXPECT_EQ(buttons[0]->text(), QString("add"));
}

}  // namespace
