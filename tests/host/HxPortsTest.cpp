// The ports module: the time port kept in its range, connections to source
// objects, the time source, button lists and menus with their widgets, the relay
// that hands widget signals to ports, and the ports' script commands.
#include "ScriptTestSupport.h"

#include <WidgetApplication.h>
#include <ports/HxTimeSource.h>
#include <mc/McHandle.h>
#include <ports/HxPortButtonMenu.h>
#include <ports/HxPortTime.h>

#include <QComboBox>
#include <QMetaObject>
#include <QPushButton>
#include <cstdlib>
#include <limits>

// Accepts only sources whose name starts with "clock".
struct ClockOnlyConnection : HxConnection {
    using HxConnection::HxConnection;
    bool connect(HxObject* src) override {
        return (!src || std::string(src->getName()).rfind("clock", 0) == 0) && HxConnection::connect(src);
    }
};

// One port of each kind; logs the new time and the menu's state that compute() sees.
class PortsOwner : public HxObject {
    MC_HEADER(PortsOwner)

public:
    PortsOwner()
        : portMenu(this, "menu", QString("Menu"), 2, 3),
          portTime(this, "time", QString("Time")),
          portSource(this, "source", QString("Source")),
          portClock(this, "clockSource", QString("Clock")) {
        portMenu.setOptLabel(2, QString("blue"));
        portTime.setMinMax(0, 50);
    }
    void compute() override {
        log.push_back((portTime.isNew() ? QString::number(portTime.getValue()).toStdString() : "-") + " " +
                      std::to_string(portMenu.isNew()) + " " + std::to_string(portMenu.getValue()) + " " +
                      std::to_string(portMenu.getOptValue()));
    }
    HxPortButtonMenu portMenu;
    HxPortTime portTime;
    HxConnection portSource;
    ClockOnlyConnection portClock;
    std::vector<std::string> log;  // new time or "-", the menu's new flag, button and option
};
MC_INIT_CLASS(PortsOwner, HxObject::getClassTypeId())

namespace {

using Log = std::vector<std::string>;
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN(), kInf = std::numeric_limits<float>::infinity();

// The saved text reads back as exactly the value kept.
TEST(HxPortTime, setValueKeepsTheValueInTheRangeAndSavesItExactly) {
    const float cases[][4] = {// min, max, input, expected
                              {0, 1, 3, 1},
                              {-5, 5, -7.5f, -5},
                              {2, 2, 9, 2},
                              {0, 10, -kInf, 0},
                              {-1e6f, 1e6f, 0.1f, 0.1f},
                              {-1e6f, 1e6f, 123456.789f, 123456.789f},
                              {-1e6f, 1e6f, 1e-7f, 1e-7f}};
    for (const auto& c : cases) {
        HxPortTime port(nullptr, "time", QString("Time"));
        port.setMinMax(c[0], c[1]);
        port.setValue(c[2]);
        EXPECT_EQ(port.getValue(), c[3]) << c[2];
        EXPECT_TRUE(port.isNew()) << "a clamped value is still a change request";
        EXPECT_EQ(std::strtof(port.valueForSave().c_str(), nullptr), c[3]) << port.valueForSave();
    }
    HxPortTime port(nullptr, "time", QString("Time"));
    port.setMinMax(5, 2);
    EXPECT_EQ(port.getValue(), 2.0f) << "the range is swapped and pulls the old value in";
    EXPECT_FALSE(port.isNew()) << "a range alone is no change request";
    port.setValue(kNaN);
    port.setMinMax(kNaN, 3);
    port.setMinMax(0, kInf);  // a saved network could not set it again
    EXPECT_EQ(port.getMinValue() + 10 * port.getMaxValue() + 100 * port.getValue(), 252.0f);
}

class HxPortsTest : public SessionTest {
protected:
    void SetUp() override {
        for (const char* name : {"owner", "clockwork", "other"}) theObjectPool->add(new PortsOwner, name);
    }
    PortsOwner* owner() { return dynamic_cast<PortsOwner*>(theObjectPool->find("owner")); }
};

TEST_F(HxPortsTest, aDestroyedPortLeavesItsOwnersListAndAChangedOneTouchesIt) {
    {
        HxPortTime extra(owner(), "extra", QString("Extra"));
        EXPECT_EQ(owner()->getPort("extra"), &extra);
    }
    EXPECT_EQ(owner()->getPort("extra"), nullptr);
    evalOk("owner time setValue 2");
    EXPECT_NE(owner()->getTouchFlags(), 0u);
}

TEST_F(HxPortsTest, timeCommandsAndTheirRefusals) {
    evalOk("owner time setMinMax 5 -2.5; owner time setValue 2; owner time setIncrement 0.5; owner fire");
    for (const auto& [args, message] : std::initializer_list<std::pair<const char*, const char*>>{
             {"setValue 1.5x", "time setValue: \"1.5x\" is not a number"},
             {"setValue inf", "time setValue: \"inf\" is not a number"},
             {"setMinMax 0 1e40", "time setMinMax: expected two numbers"},
             {"setMinMax 1", "time setMinMax: wrong number of arguments"},
             {"setIncrement 0", "time setIncrement: expected a positive number"}})
        EXPECT_EQ(evalError(std::string("owner time ") + args), message);
    EXPECT_EQ(evalOk("owner time getMinMax") + " " + evalOk("owner time getValue"), "-2.5 5 2");
    EXPECT_EQ(evalOk("owner time getIncrement"), "0.5");
    EXPECT_FALSE(owner()->portTime.isNew());
}

TEST_F(HxPortsTest, connectionsFollowRenamesRefuseWithoutChangesAndLetGoOfRemovedSources) {
    HxObject* clockwork = theObjectPool->find("clockwork");
    const int refs = clockwork->getRefCount();
    evalOk("owner source connect clockwork; owner clockSource connect clockwork; clockwork setLabel clockRenamed");
    EXPECT_EQ(clockwork->getRefCount(), refs) << "a connection holds no reference";
    EXPECT_EQ(evalOk("owner source getSource"), "clockRenamed");
    owner()->portSource.untouch();
    EXPECT_EQ(evalError("owner source connect nobody"), "connect: no object named \"nobody\"");
    EXPECT_EQ(evalError("owner clockSource connect other"),
              "connect: \"other\" cannot be a source of port \"clockSource\"");
    EXPECT_EQ(owner()->portClock.getSource(), clockwork);
    EXPECT_FALSE(owner()->portSource.isNew());
    evalOk("remove other");
    EXPECT_EQ(owner()->portSource.getSource(), clockwork);
    evalOk("remove clockRenamed");
    EXPECT_EQ(evalOk("owner source getSource") + "|" + evalOk("owner clockSource getSource"), "|");
}

TEST_F(HxPortsTest, connectedTimePortsFollowTheTimeSourceWithinTheirRange) {
    theObjectPool->add(new HxTimeSource, "timer");
    EXPECT_EQ(evalError("owner time connect other"), "connect: \"other\" cannot be a source of port \"time\"");
    evalOk("owner time connect timer");
    evalOk("timer time setValue 12.5; timer fire; timer time setValue 80; timer fire; timer fire");
    EXPECT_EQ(owner()->log, (Log{"12.5 0 -1 0", "50 0 -1 0"}));
    EXPECT_TRUE(dynamic_cast<PortsOwner*>(theObjectPool->find("other"))->log.empty()) << "not connected";
}

TEST_F(HxPortsTest, pressesAndOptionsLastUntilTheOwnerFiredAndBadOnesAreRefusedWithoutChanges) {
    evalOk("owner menu hit 1");
    EXPECT_FALSE(owner()->portMenu.hit(2));
    EXPECT_EQ(evalOk("owner menu getValue"), "1") << "a refused press keeps the earlier one";
    evalOk("owner fire; owner time setValue 0.5; owner fire");
    for (const auto& [script, error] : std::initializer_list<std::pair<const char*, const char*>>{
             {"hit 2", "menu hit: no button \"2\" (buttons are numbered 0 to 1)"},
             {"hit 1.0", "menu hit: no button \"1.0\" (buttons are numbered 0 to 1)"},
             {"setOptValue 3", "menu setOptValue: no option \"3\" (options are numbered 0 to 2)"},
             {"setOptValue 1 2", "menu setOptValue: wrong number of arguments"}})
        EXPECT_EQ(evalError(std::string("owner menu ") + script), error);
    EXPECT_EQ(owner()->getTouchFlags(), 0u);
    evalOk("owner menu setOptValue 2; owner fire");
    EXPECT_EQ(owner()->log, (Log{"- 1 1 0", "0.5 0 -1 0", "- 1 -1 2"}));
    EXPECT_EQ(HxPortButtonMenu(nullptr, "none", QString(), -2, 0).getOptValue(), -1);
}

TEST_F(HxPortsTest, aPortThatFiresOnSaveIsFollowedByAFireLineThatRunsRightThere) {
    owner()->portMenu.setOptValue(2);
    owner()->portTime.setValue(0.25f);
    const std::string menu = "{owner} menu setOptValue 2\n",
                      time = "{owner} time setMinMax 0 50\n{owner} time setValue 0.25\n";
    const auto saved = [&] { return writtenBy([&](FILE* fp) { owner()->savePorts(fp); }); };
    EXPECT_EQ(saved().substr(0, menu.size() + time.size()), menu + time);
    owner()->portTime.setFireOnSaveNetwork(true);
    EXPECT_EQ(saved().substr(0, menu.size() + time.size() + 13), menu + time + "{owner} fire\n");
    owner()->portTime.setFireOnSaveNetwork(false);
    owner()->portMenu.setFireOnSaveNetwork(true);
    const std::string script = writtenBy([&](FILE* fp) { owner()->saveCreation(fp, "", 0); }) + saved();
    theObjectPool->clear();
    evalOk(script);
    auto* recreated = dynamic_cast<PortsOwner*>(theObjectPool->find("owner"));
    ASSERT_NE(recreated, nullptr) << script;
    EXPECT_EQ(recreated->log, (Log{"- 1 -1 2"})) << "fired once, after the option, before the time";
    EXPECT_TRUE(recreated->portTime.isNew());
}

// Notes what its relay had recorded whenever the relay calls it.
struct RelayedPort : HxPort {
    RelayedPort() : HxPort(nullptr, "relayed", QString("Relayed")) {}
    void guiCallback() override { seen.emplace_back(relay()->getLastInt(), relay()->getLastFloat()); }
    HxPortRelay* portRelay() { return relay(); }
    std::vector<std::pair<int, float>> seen;
};

TEST_F(HxPortsTest, widgetsFireTheOwnerShowCodeChangesAndOutliveThePort) {
    ensureWidgetApplication();
    RelayedPort relayed;  // by name, as SIGNAL/SLOT connections reach the relay's slots
    ASSERT_TRUE(QMetaObject::invokeMethod(relayed.portRelay(), "slot", Q_ARG(float, 2.5f)));
    ASSERT_TRUE(QMetaObject::invokeMethod(relayed.portRelay(), "slot", Q_ARG(int, -7)));
    EXPECT_EQ(relayed.seen, (std::vector<std::pair<int, float>>{{-1, 2.5f}, {-7, 2.5f}}));
    auto parent = std::make_unique<QWidget>();
    owner()->portMenu.createWidget(parent.get());
    auto* menu = parent->findChild<QComboBox*>();
    const QList<QPushButton*> buttons = parent->findChildren<QPushButton*>();
    ASSERT_TRUE(menu && buttons.size() == 2);
    EXPECT_EQ(menu->itemText(2), QString("blue"));
    owner()->portMenu.setOptValue(1);
    owner()->portMenu.setLabel(0, QString("go"));
    EXPECT_EQ(menu->currentIndex(), 1);
    EXPECT_EQ(buttons[0]->text(), QString("go"));
    EXPECT_TRUE(owner()->log.empty());
    buttons[1]->click();
    menu->setCurrentIndex(2);
    EXPECT_EQ(owner()->log, (Log{"- 1 1 1", "- 1 -1 2"}));
    EXPECT_EQ(owner()->portMenu.getValue(), -1) << "the press ended when the owner fired";
    theObjectPool->clear();
    buttons[0]->click();
    menu->setCurrentIndex(0);
}

}  // namespace
