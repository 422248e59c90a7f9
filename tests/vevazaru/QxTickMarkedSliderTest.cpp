// QxTickMarkedSlider: the range grows by the amount the inner slider clipped, and
// the growth is connected at most once.
#include "internal/QxTickMarkedSlider.h"

#include <WidgetApplication.h>
#include <widgets/QxSlider.h>

#include <QApplication>
#include <QLineEdit>
#include <gtest/gtest.h>

namespace {

class QxTickMarkedSliderTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ensureWidgetApplication(); }
};

struct Range {
    float min, max, value;
};
bool operator==(const Range& a, const Range& b) { return a.min == b.min && a.max == b.max && a.value == b.value; }
std::ostream& operator<<(std::ostream& os, const Range& r) {
    return os << r.min << " .. " << r.max << " value " << r.value;
}
Range rangeOf(const QxFullSlider& s) { return {s.getMinValue(), s.getMaxValue(), s.getValue()}; }

TEST_F(QxTickMarkedSliderTest, valueClippedGrowsTheRangeAndMovesTheValue) {
    const struct {
        const char* name;
        float start, amount;
        Range after;
    } cases[] = {
        {"aboveTheMaximum", 10, 0.5f, {0, 10.5f, 10.5f}},
        {"belowTheMinimum", 0, -2, {-2, 10, -2}},
        {"zero", 4, 0, {0, 10, 4}},
    };
    for (const auto& c : cases) {
        QxTickMarkedSlider s(nullptr, "s", false, 2);
        s.setRange(0, 10);
        s.setValue(c.start);
        s.valueClipped(c.amount);
        EXPECT_EQ(rangeOf(s), c.after) << c.name;
    }
}

TEST_F(QxTickMarkedSliderTest, growthIsOffAfterConstruction) {
    QxTickMarkedSlider s(nullptr, "s", false, 2);
    EXPECT_EQ(s.getAutoRemax(), 0);
    s.setRange(0, 10);
    s.setValue(12);
    EXPECT_EQ(rangeOf(s), (Range{0, 10, 10}));
}

// A doubled connection would grow the range twice per clip.
TEST_F(QxTickMarkedSliderTest, switchingOnTwiceConnectsOnceAndOffDisconnects) {
    const struct {
        const char* name;
        std::vector<int> switches;
        int autoRemax;
        Range afterPush;
    } cases[] = {
        {"onceOn", {1}, 1, {-1, 10.5f, 10.5f}},
        {"twiceOn", {1, 1}, 1, {-1, 10.5f, 10.5f}},
        {"anyNonZeroIsOn", {7, 1}, 1, {-1, 10.5f, 10.5f}},
        {"onThenOff", {1, 1, 0}, 0, {0, 10, 10}},
        {"offThenOnAgain", {1, 0, 1}, 1, {-1, 10.5f, 10.5f}},
    };
    for (const auto& c : cases) {
        QxTickMarkedSlider s(nullptr, "s", false, 2);
        for (int on : c.switches) s.setAutoRemax(on);
        EXPECT_EQ(s.getAutoRemax(), c.autoRemax) << c.name;
        s.setRange(0, 10);
        s.setValue(-1);
        s.setValue(10.5f);
        EXPECT_EQ(rangeOf(s), c.afterPush) << c.name;
    }
}

TEST_F(QxTickMarkedSliderTest, aGrownValueIsShownAndLeavesTheSliderSignalling) {
    QxTickMarkedSlider s(nullptr, "s", false, 2);
    s.setAutoRemax(1);
    s.setRange(0, 1);
    s.setValue(2.345f);
    EXPECT_EQ(rangeOf(s), (Range{0, 2.345f, 2.345f}));
    EXPECT_EQ(s.textField()->text(), QString("2.35"));
    EXPECT_FALSE(s.slider()->signalsBlocked());
    s.setValue(-0.5f);
    EXPECT_EQ(rangeOf(s), (Range{-0.5f, 2.345f, -0.5f}));
    EXPECT_EQ(s.textField()->text(), QString("-0.50"));
}

TEST_F(QxTickMarkedSliderTest, isAFullSliderToQtsMetaObjectWithOneSlot) {
    QxTickMarkedSlider s(nullptr, "timeSlider", true, 3);
    EXPECT_EQ(s.objectName(), QString("timeSlider"));
    EXPECT_EQ(s.getDecimals(), 3);
    EXPECT_EQ(s.slider()->getSubRangeButtons(), 1);
    EXPECT_EQ(qobject_cast<QxFullSlider*>(&s), &s);
    const QMetaObject* meta = s.metaObject();
    EXPECT_STREQ(meta->className(), "QxTickMarkedSlider");
    EXPECT_EQ(meta->superClass(), &QxFullSlider::staticMetaObject);
    EXPECT_EQ(meta->methodCount() - meta->methodOffset(), 1);
    EXPECT_GE(meta->indexOfSlot("valueClipped(float)"), meta->methodOffset());
}

}  // namespace
