// The ports: time port, connections, time source, button menus with their widgets, script commands.
#include "ScriptTestSupport.h"

#include <WidgetApplication.h>
#include <mc/McHandle.h>
#include <ports/HxPortButtonMenu.h>
#include <ports/HxPortTime.h>
#include <ports/HxTimeSource.h>

#include <QComboBox>
#include <QPushButton>
#include <cstdio>
#include <cstdlib>
#include <limits>

// One port of each kind; logs the new time and the menu's state that compute() sees.
class PortsOwner : public HxObject {
    MC_HEADER(PortsOwner)

public:
    PortsOwner()
        : portMenu(this, "menu", QString("Menu"), 2, 3),
          portTime(this, "time", QString("Time")),
          portSource(this, "source", QString("Source")) {
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
                              {0, 10, -kInf, 0},
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

TEST_F(HxPortsTest, connectionsFollowRenamesRefuseWithoutChangesAndLetGoOfRemovedSources) {
    HxObject* clockwork = theObjectPool->find("clockwork");
    const int refs = clockwork->getRefCount();
    evalOk("owner source connect clockwork; clockwork setLabel clockRenamed");
    EXPECT_EQ(clockwork->getRefCount(), refs) << "a connection holds no reference";
    EXPECT_EQ(evalOk("owner source getSource"), "clockRenamed");
    owner()->portSource.untouch();
    EXPECT_EQ(evalError("owner source connect nobody"), "connect: no object named \"nobody\"");
    EXPECT_FALSE(owner()->portSource.isNew());
    evalOk("remove other");
    EXPECT_EQ(owner()->portSource.getSource(), clockwork);
    evalOk("remove clockRenamed");
    EXPECT_EQ(evalOk("owner source getSource"), "");
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
    EXPECT_EQ(evalError("owner time setValue inf"), "time setValue: \"inf\" is not a number");
    EXPECT_EQ(evalError("owner menu hit 1.0"), "menu hit: no button \"1.0\" (buttons are numbered 0 to 1)");
    EXPECT_EQ(evalError("owner menu setOptValue 3"), "menu setOptValue: no option \"3\" (options are numbered 0 to 2)");
    EXPECT_EQ(owner()->getTouchFlags(), 0u);
    evalOk("owner menu setOptValue 2; owner fire");
    EXPECT_EQ(owner()->log, (Log{"- 1 1 0", "0.5 0 -1 0", "- 1 -1 2"}));
}

TEST_F(HxPortsTest, aPortThatFiresOnSaveIsFollowedByAFireLineThatRunsRightThere) {
    owner()->portMenu.setOptValue(2);
    owner()->portTime.setValue(0.25f);
    owner()->portMenu.setFireOnSaveNetwork(true);
    std::unique_ptr<FILE, int (*)(FILE*)> file(std::tmpfile(), &std::fclose);
    owner()->saveCreation(file.get(), "", 0);
    owner()->savePorts(file.get());
    std::string script(std::ftell(file.get()), '\0');
    std::rewind(file.get());
    ASSERT_EQ(std::fread(&script[0], 1, script.size(), file.get()), script.size());
    const std::string ports = "{owner} menu setOptValue 2\n{owner} fire\n{owner} time setMinMax 0 50\n";
    EXPECT_NE(script.find(ports + "{owner} time setValue 0.25\n"), std::string::npos) << script;
    theObjectPool->clear();
    evalOk(script);
    auto* recreated = dynamic_cast<PortsOwner*>(theObjectPool->find("owner"));
    ASSERT_NE(recreated, nullptr) << script;
    EXPECT_EQ(recreated->log, (Log{"- 1 -1 2"})) << "fired once, after the option, before the time";
    EXPECT_TRUE(recreated->portTime.isNew());
}

TEST_F(HxPortsTest, widgetsFireTheOwnerAndOutliveThePort) {
    ensureWidgetApplication();
    auto parent = std::make_unique<QWidget>();
    owner()->portMenu.createWidget(parent.get());
    auto* menu = parent->findChild<QComboBox*>();
    const QList<QPushButton*> buttons = parent->findChildren<QPushButton*>();
    ASSERT_TRUE(menu && buttons.size() == 2);
    EXPECT_EQ(menu->itemText(2), QString("blue"));
    EXPECT_TRUE(owner()->log.empty());
    buttons[1]->click();
    menu->setCurrentIndex(2);
    EXPECT_EQ(owner()->log, (Log{"- 1 1 0", "- 1 -1 2"}));
    EXPECT_EQ(owner()->portMenu.getValue(), -1) << "the press ended when the owner fired";
    theObjectPool->clear();
    buttons[0]->click();
    menu->setCurrentIndex(0);
}

}  // namespace
