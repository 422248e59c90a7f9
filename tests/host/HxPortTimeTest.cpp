// HxPortTime: the value kept in its range, new-flags, and script access.
#include "ScriptTestSupport.h"

#include <hxcore/HxObject.h>
#include <hxcore/HxObjectPool.h>
#include <mc/McHandle.h>
#include <ports/HxPortTime.h>

#include <QString>
#include <cmath>
#include <cstdlib>
#include <gtest/gtest.h>
#include <limits>
#include <memory>
#include <string>

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

// ---------------------------------------------------------------------------
// The port on its own

TEST(HxPortTime, startsAtZeroInTheUnitRange) {
    HxPortTime port(nullptr, "time", QString("Time"));
    EXPECT_EQ(port.getValue(), 0.0f);
    EXPECT_EQ(port.getMinValue(), 0.0f);
    EXPECT_EQ(port.getMaxValue(), 1.0f);
    EXPECT_FALSE(port.isNew());
    EXPECT_EQ(port.getSource(), nullptr);
}

TEST(HxPortTime, isAConnectionPort) {
    HxPortTime port(nullptr, "time", QString("Time"));
    EXPECT_TRUE(port.isOfType(HxConnection::getClassTypeId()));
    EXPECT_TRUE(port.isOfType(HxPort::getClassTypeId()));
    EXPECT_STREQ(port.getTypeId()->getName(), "HxPortTime");
}

TEST(HxPortTime, constructorArgumentsAreKept) {
    HxPortTime port(nullptr, "time", QString("Time"), true, 3);
    EXPECT_TRUE(port.connectsToGlobalTime());
    EXPECT_EQ(port.getDecimals(), 3);
    EXPECT_STREQ(port.getName(), "time");
    EXPECT_EQ(port.getLabel(), QString("Time"));
}

struct ClampCase {
    const char* name;
    float min, max, input, expected;
};

class HxPortTimeClamp : public ::testing::TestWithParam<ClampCase> {};

TEST_P(HxPortTimeClamp, setValueKeepsTheValueInTheRange) {
    const ClampCase& c = GetParam();
    HxPortTime port(nullptr, "time", QString("Time"));
    port.setMinMax(c.min, c.max);
    port.setValue(c.input);
    EXPECT_EQ(port.getValue(), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Values, HxPortTimeClamp,
    ::testing::Values(ClampCase{"inside", 0, 1, 0.5f, 0.5f}, ClampCase{"atMin", 0, 1, 0, 0},
                      ClampCase{"atMax", 0, 1, 1, 1}, ClampCase{"below", 0, 1, -2, 0}, ClampCase{"above", 0, 1, 3, 1},
                      ClampCase{"negativeRangeBelow", -5, 5, -7.5f, -5},
                      ClampCase{"negativeRangeInside", -5, 5, -2.25f, -2.25f}, ClampCase{"emptyRange", 2, 2, 9, 2},
                      ClampCase{"plusInfinity", 0, 10, kInf, 10}, ClampCase{"minusInfinity", 0, 10, -kInf, 0},
                      ClampCase{"wide", -1e30f, 1e30f, 1e20f, 1e20f}),
    [](const auto& param) { return std::string(param.param.name); });

TEST(HxPortTime, setMinMaxSwapsAReversedRange) {
    HxPortTime port(nullptr, "time", QString("Time"));
    port.setMinMax(5, 2);
    EXPECT_EQ(port.getMinValue(), 2.0f);
    EXPECT_EQ(port.getMaxValue(), 5.0f);
    float min = 0, max = 0;
    port.getMinMax(min, max);
    EXPECT_EQ(min, 2.0f);
    EXPECT_EQ(max, 5.0f);
    EXPECT_EQ(port.getValue(), 2.0f) << "the old value 0 is pulled into the new range";
}

TEST(HxPortTime, setMinMaxPullsTheValueIntoTheRange) {
    HxPortTime port(nullptr, "time", QString("Time"));
    port.setMinMax(0, 10);
    port.setValue(8);
    port.setMinMax(0, 4);
    EXPECT_EQ(port.getValue(), 4.0f);
    port.setMinMax(6, 9);
    EXPECT_EQ(port.getValue(), 6.0f);
    port.setMinMax(0, 100);
    EXPECT_EQ(port.getValue(), 6.0f) << "a wider range keeps the value";
}

TEST(HxPortTime, nanValueIsIgnored) {
    HxPortTime port(nullptr, "time", QString("Time"));
    port.setValue(0.25f);
    port.untouch();
    port.setValue(kNaN);
    EXPECT_EQ(port.getValue(), 0.25f);
    EXPECT_FALSE(port.isNew());
}

TEST(HxPortTime, nanRangeIsIgnored) {
    HxPortTime port(nullptr, "time", QString("Time"));
    port.setMinMax(1, 3);
    port.setMinMax(kNaN, 2);
    port.setMinMax(0, kNaN);
    port.setMinMax(kNaN, kNaN);
    EXPECT_EQ(port.getMinValue(), 1.0f);
    EXPECT_EQ(port.getMaxValue(), 3.0f);
    EXPECT_EQ(port.getValue(), 1.0f);
}

TEST(HxPortTime, setValueMarksThePortNew) {
    HxPortTime port(nullptr, "time", QString("Time"));
    port.setValue(0.5f);
    EXPECT_TRUE(port.isNew());
    port.untouch();
    EXPECT_FALSE(port.isNew());
    port.setValue(7);  // clamped, still a change request
    EXPECT_TRUE(port.isNew());
}

TEST(HxPortTime, newFlagsFollowTheirMask) {
    HxPortTime port(nullptr, "time", QString("Time"));
    port.touch(0x2);
    EXPECT_TRUE(port.isNew(0x2));
    EXPECT_TRUE(port.isNew(0x3));
    EXPECT_FALSE(port.isNew(0x1));
    port.untouch();
    EXPECT_FALSE(port.isNew());
}

TEST(HxPortTime, setMinMaxAloneDoesNotMarkThePortNew) {
    HxPortTime port(nullptr, "time", QString("Time"));
    port.setMinMax(0, 10);
    EXPECT_FALSE(port.isNew());
}

TEST(HxPortTime, savedValueReadsBackExactly) {
    HxPortTime port(nullptr, "time", QString("Time"));
    port.setMinMax(-1e6f, 1e6f);
    for (float v : {0.1f, 1.0f / 3.0f, -2.0f / 7.0f, 123456.789f, 1e-7f, 0.0f}) {
        port.setValue(v);
        const std::string saved = port.valueForSave();
        EXPECT_EQ(std::strtof(saved.c_str(), nullptr), v) << saved;
    }
}

// ---------------------------------------------------------------------------
// Ports and their owner

TEST(HxPortTime, portsRegisterWithTheirOwner) {
    McHandle<TimeOwner> owner = new TimeOwner;
    ASSERT_EQ(owner->ports().size(), 1u);
    EXPECT_EQ(owner->getPort("time"), &owner->portTime);
    EXPECT_EQ(owner->portTime.getOwner(), owner.ptr());
    {
        auto extra = std::make_unique<HxPortTime>(owner.ptr(), "extra", QString("Extra"));
        EXPECT_EQ(owner->ports().size(), 2u);
        EXPECT_EQ(owner->getPort("extra"), extra.get());
    }
    EXPECT_EQ(owner->ports().size(), 1u) << "a destroyed port leaves its owner's list";
    EXPECT_EQ(owner->getPort("extra"), nullptr);
}

TEST(HxPortTime, ownerFireClearsTheNewFlag) {
    McHandle<TimeOwner> owner = new TimeOwner;
    owner->portTime.setValue(0.5f);
    EXPECT_TRUE(owner->portTime.isNew());
    EXPECT_NE(owner->getTouchFlags(), 0u) << "a value change tells the owner";
    owner->fire();
    EXPECT_FALSE(owner->portTime.isNew());
    EXPECT_EQ(owner->getTouchFlags(), 0u);
}

// ---------------------------------------------------------------------------
// Script access

class HxPortTimeScript : public ::testing::Test {
protected:
    void SetUp() override {
        owner = new TimeOwner;
        name = theObjectPool->add(owner, "clock");
    }
    void TearDown() override { theObjectPool->clear(); }

    std::string cmd(const std::string& rest) const { return name + " time " + rest; }
    HxPortTime& port() { return owner->portTime; }

    McHandle<TimeOwner> owner;
    std::string name;
};

TEST_F(HxPortTimeScript, setValueAndGetValue) {
    evalOk(cmd("setValue 0.25"));
    EXPECT_EQ(port().getValue(), 0.25f);
    EXPECT_TRUE(port().isNew());
    EXPECT_EQ(std::strtod(evalOk(cmd("getValue")).c_str(), nullptr), 0.25);
}

TEST_F(HxPortTimeScript, setValueClampsToTheRange) {
    evalOk(cmd("setMinMax 0 10"));
    evalOk(cmd("setValue 12.5"));
    EXPECT_EQ(port().getValue(), 10.0f);
    evalOk(cmd("setValue -3"));
    EXPECT_EQ(port().getValue(), 0.0f);
}

TEST_F(HxPortTimeScript, getValueHasSixSignificantDigits) {
    evalOk(cmd("setMinMax 0 1000"));
    evalOk(cmd("setValue 123.456"));
    const double shown = std::strtod(evalOk(cmd("getValue")).c_str(), nullptr);
    EXPECT_NEAR(shown, 123.456, 1e-3);
}

class HxPortTimeBadValue : public HxPortTimeScript, public ::testing::WithParamInterface<const char*> {};

TEST_P(HxPortTimeBadValue, isRefusedAndChangesNothing) {
    port().setValue(0.5f);
    port().untouch();
    const std::string word = GetParam();
    EXPECT_EQ(evalError(cmd("setValue {" + word + "}")), "time setValue: \"" + word + "\" is not a number");
    EXPECT_EQ(port().getValue(), 0.5f);
    EXPECT_FALSE(port().isNew());
}

INSTANTIATE_TEST_SUITE_P(Words, HxPortTimeBadValue,
                         ::testing::Values("abc", "", "1.5x", "nan", "inf", "-inf", "1e39", "0.5 0.5", "--1"));

TEST_F(HxPortTimeScript, setValueWithAWrongCountChangesNothing) {
    port().setValue(0.5f);
    EXPECT_EQ(evalError(cmd("setValue")), "time setValue: wrong number of arguments");
    EXPECT_EQ(evalError(cmd("setValue 0.1 0.2")), "time setValue: wrong number of arguments");
    EXPECT_EQ(port().getValue(), 0.5f);
}

TEST_F(HxPortTimeScript, setMinMaxAndGetMinMax) {
    evalOk(cmd("setMinMax 2 5"));
    EXPECT_EQ(evalOk(cmd("getMinMax")), "2 5");
    EXPECT_EQ(port().getMinValue(), 2.0f);
    EXPECT_EQ(port().getMaxValue(), 5.0f);
}

TEST_F(HxPortTimeScript, setMinMaxSwapsAReversedRange) {
    evalOk(cmd("setMinMax 5 -2.5"));
    EXPECT_EQ(port().getMinValue(), -2.5f);
    EXPECT_EQ(port().getMaxValue(), 5.0f);
    EXPECT_EQ(evalOk(cmd("getMinMax")), "-2.5 5");
}

struct BadRange {
    const char* args;
    const char* message;
};

class HxPortTimeBadRange : public HxPortTimeScript, public ::testing::WithParamInterface<BadRange> {};

TEST_P(HxPortTimeBadRange, isRefusedAndChangesNothing) {
    port().setMinMax(1, 3);
    port().setValue(2);
    EXPECT_EQ(evalError(cmd(std::string("setMinMax ") + GetParam().args)), GetParam().message);
    EXPECT_EQ(port().getMinValue(), 1.0f);
    EXPECT_EQ(port().getMaxValue(), 3.0f);
    EXPECT_EQ(port().getValue(), 2.0f);
}

INSTANTIATE_TEST_SUITE_P(Words, HxPortTimeBadRange,
                         ::testing::Values(BadRange{"1 x", "time setMinMax: expected two numbers"},
                                           BadRange{"x 1", "time setMinMax: expected two numbers"},
                                           BadRange{"nan 1", "time setMinMax: expected two numbers"},
                                           BadRange{"0 inf", "time setMinMax: expected two numbers"},
                                           BadRange{"0 1e40", "time setMinMax: expected two numbers"},
                                           BadRange{"{} 1", "time setMinMax: expected two numbers"},
                                           BadRange{"1", "time setMinMax: wrong number of arguments"},
                                           BadRange{"1 2 3", "time setMinMax: wrong number of arguments"}));

TEST_F(HxPortTimeScript, setIncrementWantsAPositiveNumber) {
    evalOk(cmd("setIncrement 0.5"));
    EXPECT_EQ(port().getIncrement(), 0.5f);
    EXPECT_EQ(evalOk(cmd("getIncrement")), "0.5");
    for (const char* bad : {"0", "-1", "x", "nan"}) {
        EXPECT_EQ(evalError(cmd(std::string("setIncrement ") + bad)), "time setIncrement: expected a positive number");
        EXPECT_EQ(port().getIncrement(), 0.5f) << bad;
    }
}

TEST_F(HxPortTimeScript, isNewAndTouchFromScripts) {
    EXPECT_EQ(evalOk(cmd("isNew")), "0");
    evalOk(cmd("touch"));
    EXPECT_EQ(evalOk(cmd("isNew")), "1");
    evalOk(name + " fire");
    EXPECT_EQ(evalOk(cmd("isNew")), "0");
}

TEST_F(HxPortTimeScript, showHideAndLabel) {
    evalOk(cmd("hide"));
    EXPECT_FALSE(port().isVisible());
    EXPECT_EQ(evalOk(cmd("isVisible")), "0");
    evalOk(cmd("show"));
    EXPECT_EQ(evalOk(cmd("isVisible")), "1");
    evalOk(cmd("setLabel {Play time}"));
    EXPECT_EQ(evalOk(cmd("getLabel")), "Play time");
    EXPECT_EQ(port().getLabel(), QString("Play time"));
}

}  // namespace
