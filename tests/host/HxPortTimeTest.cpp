// HxPortTime: the value kept in its range, new-flags, and script access.
#include "ScriptTestSupport.h"

#include <hxcore/HxMessage.h>
#include <hxcore/HxObject.h>
#include <hxcore/HxObjectPool.h>
#include <mc/McHandle.h>
#include <ports/HxPortTime.h>

#include <QString>
#include <cstdlib>
#include <limits>
#include <memory>

class TimeOwner : public HxObject {
    MC_HEADER(TimeOwner)

public:
    TimeOwner() : portTime(this, "time", QString("Time")) {}
    HxPortTime portTime;
};
MC_INIT_CLASS(TimeOwner, HxObject::getClassTypeId())

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr float kM = 1e6f;

TEST(HxPortTime, startsAtZeroInTheUnitRangeAndNewFlagsFollowTheirMask) {
    HxPortTime port(nullptr, "time", QString("Time"), true, 3);
    EXPECT_EQ(port.getValue(), 0.0f);
    EXPECT_EQ(port.getMinValue(), 0.0f);
    EXPECT_EQ(port.getMaxValue(), 1.0f);
    EXPECT_FALSE(port.isNew());
    EXPECT_TRUE(port.connectsToGlobalTime());
    EXPECT_EQ(port.getDecimals(), 3);
    EXPECT_TRUE(port.isOfType(HxConnection::getClassTypeId()));
    port.touch(0x2);
    EXPECT_TRUE(port.isNew(0x3));
    EXPECT_FALSE(port.isNew(0x1));
    port.untouch();
    EXPECT_FALSE(port.isNew());
}

// The saved text reads back as exactly the value kept.
TEST(HxPortTime, setValueKeepsTheValueInTheRangeAndSavesItExactly) {
    const struct {
        float min, max, input, expected;
    } cases[] = {{0, 1, 0.5f, 0.5f},
                 {0, 1, 1, 1},
                 {0, 1, -2, 0},
                 {0, 1, 3, 1},
                 {-5, 5, -7.5f, -5},
                 {2, 2, 9, 2},
                 {0, 10, kInf, 10},
                 {0, 10, -kInf, 0},
                 {-5, 5, -2.25f, -2.25f},
                 {-1e30f, 1e30f, 1e20f, 1e20f},
                 {-kM, kM, 0.1f, 0.1f},
                 {-kM, kM, 1.0f / 3, 1.0f / 3},
                 {-kM, kM, -2.0f / 7, -2.0f / 7},
                 {-kM, kM, 123456.789f, 123456.789f},
                 {-kM, kM, 1e-7f, 1e-7f}};
    for (const auto& c : cases) {
        HxPortTime port(nullptr, "time", QString("Time"));
        port.setMinMax(c.min, c.max);
        port.setValue(c.input);
        EXPECT_EQ(port.getValue(), c.expected) << c.input << " in " << c.min << " " << c.max;
        EXPECT_TRUE(port.isNew()) << "a clamped value is still a change request";
        EXPECT_EQ(std::strtof(port.valueForSave().c_str(), nullptr), c.expected) << port.valueForSave();
    }
}

TEST(HxPortTime, setMinMaxSwapsPullsInAndIgnoresBoundsThatAreNotFinite) {
    HxPortTime port(nullptr, "time", QString("Time"));
    port.setMinMax(5, 2);
    float min = 0, max = 0;
    port.getMinMax(min, max);
    EXPECT_EQ(min, 2.0f);
    EXPECT_EQ(max, 5.0f);
    EXPECT_EQ(port.getValue(), 2.0f) << "the old value 0 is pulled into the new range";
    EXPECT_FALSE(port.isNew()) << "a range alone is no change request";
    port.setMinMax(0, 10);
    port.setValue(8);
    port.setMinMax(0, 4);
    EXPECT_EQ(port.getValue(), 4.0f);
    port.setMinMax(0, 100);
    EXPECT_EQ(port.getValue(), 4.0f) << "a wider range keeps the value";

    port.untouch();
    port.setValue(kNaN);
    port.setMinMax(kNaN, 2);
    port.setMinMax(0, kNaN);
    port.setMinMax(0, kInf);  // a saved network could not set it again
    port.setMinMax(-kInf, 0);
    EXPECT_EQ(port.getMinValue(), 0.0f);
    EXPECT_EQ(port.getValue(), 4.0f);
    EXPECT_EQ(port.getMaxValue(), 100.0f);
    EXPECT_FALSE(port.isNew());
}

TEST(HxPortTime, portsRegisterWithTheirOwnerAndFireClearsTheFlag) {
    McHandle<TimeOwner> owner = new TimeOwner;
    EXPECT_EQ(owner->getPort("time"), &owner->portTime);
    {
        auto extra = std::make_unique<HxPortTime>(owner.ptr(), "extra", QString("Extra"));
        EXPECT_EQ(owner->getPort("extra"), extra.get());
    }
    EXPECT_EQ(owner->getPort("extra"), nullptr) << "a destroyed port leaves its owner's list";
    EXPECT_EQ(owner->ports().size(), 1u);
    owner->portTime.setValue(0.5f);
    EXPECT_NE(owner->getTouchFlags(), 0u);
    owner->fire();
    EXPECT_FALSE(owner->portTime.isNew());
    EXPECT_EQ(owner->getTouchFlags(), 0u);
}

class HxPortTimeScript : public ::testing::Test {
protected:
    void SetUp() override { theObjectPool->add(owner, "timer"); }
    void TearDown() override {
        theObjectPool->clear();
        theMsg->clear();
    }
    static std::string cmd(const std::string& rest) { return "timer time " + rest; }
    HxPortTime& port() { return owner->portTime; }
    McHandle<TimeOwner> owner = new TimeOwner;
};

TEST_F(HxPortTimeScript, valueRangeAndIncrement) {
    evalOk(cmd("setMinMax 5 -2.5"));
    EXPECT_EQ(evalOk(cmd("getMinMax")), "-2.5 5");
    evalOk(cmd("setValue 12.5"));
    EXPECT_EQ(port().getValue(), 5.0f);
    EXPECT_TRUE(port().isNew());
    evalOk(cmd("setMinMax 0 1000"));
    evalOk(cmd("setValue 123.456"));
    EXPECT_NEAR(std::strtod(evalOk(cmd("getValue")).c_str(), nullptr), 123.456, 1e-3);
    evalOk(cmd("setIncrement 0.5"));
    EXPECT_EQ(evalOk(cmd("getIncrement")), "0.5");
    for (const char* bad : {"0", "-1", "x", "nan"})
        EXPECT_EQ(evalError(cmd(std::string("setIncrement ") + bad)), "time setIncrement: expected a positive number");
    EXPECT_EQ(port().getIncrement(), 0.5f);
}

TEST_F(HxPortTimeScript, badArgumentsAreRefusedAndChangeNothing) {
    port().setMinMax(1, 3);
    port().setValue(2);
    port().untouch();
    for (const std::string word : {"abc", "", "1.5x", "nan", "inf", "-inf", "1e39", "0.5 0.5", "--1"})
        EXPECT_EQ(evalError(cmd("setValue {" + word + "}")), "time setValue: \"" + word + "\" is not a number");
    for (const char* args : {"1 x", "x 1", "nan 1", "0 inf", "0 1e40", "{} 1"})
        EXPECT_EQ(evalError(cmd(std::string("setMinMax ") + args)), "time setMinMax: expected two numbers") << args;
    for (const char* args : {"setValue", "setValue 0.1 0.2", "setMinMax 1", "setMinMax 1 2 3"})
        EXPECT_EQ(evalError(cmd(args)), "time " + words(args)[0] + ": wrong number of arguments");
    EXPECT_EQ(port().getMinValue(), 1.0f);
    EXPECT_EQ(port().getMaxValue(), 3.0f);
    EXPECT_EQ(port().getValue(), 2.0f);
    EXPECT_FALSE(port().isNew());
}

TEST_F(HxPortTimeScript, flagsVisibilityAndLabel) {
    EXPECT_EQ(evalOk(cmd("isNew")), "0");
    evalOk(cmd("touch"));
    EXPECT_EQ(evalOk(cmd("isNew")), "1");
    evalOk("timer fire");
    EXPECT_EQ(evalOk(cmd("isNew")), "0");
    evalOk(cmd("hide"));
    EXPECT_EQ(evalOk(cmd("isVisible")), "0");
    evalOk(cmd("show"));
    EXPECT_TRUE(port().isVisible());
    evalOk(cmd("setLabel {Play time}"));
    EXPECT_EQ(port().getLabel(), QString("Play time"));
}

}  // namespace
