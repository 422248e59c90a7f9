// HxPortTimeSlider: the widget it builds, its accessors, keyframe ticks, and the
// callbacks it accepts and ignores.
#include "internal/HxPortTimeSlider.h"
#include "internal/QxTickMarkedSlider.h"

#include <WidgetApplication.h>
#include <widgets/QxSlider.h>

#include <QApplication>
#include <QLineEdit>
#include <QWidget>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

namespace {

// Counts what the port's relay delivers; the port's own guiCallback still runs.
struct RelayedPort : HxPortTimeSlider {
    RelayedPort() : HxPortTimeSlider(nullptr, "portTimeSlider", QString("Time")) {}
    void guiCallback() override {
        HxPortTimeSlider::guiCallback();
        ++relayed;
    }
    int relayed = 0;
};

class HxPortTimeSliderTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ensureWidgetApplication(); }
    void SetUp() override {
        port.createWidget(&parent);
        ASSERT_NE(port.getSlider(), nullptr);
    }
    QWidget parent;
    RelayedPort port;
};

McDArray<float> timesOf(std::vector<float> values) {
    McDArray<float> times;
    for (float t : values) times.append(t);
    return times;
}

TEST_F(HxPortTimeSliderTest, aNewWidgetShowsZeroWithTwoDecimalsOnZeroToOne) {
    QxTickMarkedSlider* s = port.getSlider();
    EXPECT_EQ(s->objectName(), QString("timeSlider"));
    EXPECT_EQ(s->parentWidget()->parentWidget(), &parent) << "in the port's row";
    EXPECT_EQ(s->minimumWidth(), 300);
    EXPECT_EQ(s->textField()->text(), QString("0.00"));
    EXPECT_EQ((std::vector<float>{port.getValue(), port.getMinValue(), port.getMaxValue()}),
              (std::vector<float>{0, 0, 1}));
    EXPECT_EQ(s->getAutoRemax(), 1);
    EXPECT_EQ(s->slider()->getSubRangeButtons(), 1);
    EXPECT_TRUE(s->slider()->getTicks().isEmpty());
}

TEST_F(HxPortTimeSliderTest, accessorsReachTheWidgetAndTheRangeGrowsPastItsEnds) {
    port.setMaxValue(10);
    port.setMinValue(-1);
    EXPECT_EQ(port.getMinValue(), -1.0f);
    EXPECT_EQ(port.getMaxValue(), 10.0f);
    port.setValue(3.14159f);
    EXPECT_EQ(port.getValue(), 3.14159f);
    EXPECT_EQ(port.getSlider()->textField()->text(), QString("3.14"));
    port.setValue(12.5f);
    EXPECT_EQ(port.getValue(), 12.5f);
    EXPECT_EQ(port.getMaxValue(), 12.5f);
    port.setValue(-3);
    EXPECT_EQ(port.getMinValue(), -3.0f);
    port.getSlider()->slider()->setSubRange(2, 4);
    EXPECT_EQ(port.getSubMinValue(), 2.0f);
    EXPECT_EQ(port.getSubMaxValue(), 4.0f);
}

TEST_F(HxPortTimeSliderTest, aValuePastTheRangeIsHeldExactly) {
    // Ranges whose end plus the clipped amount misses the request in float.
    const struct {
        float min, max, request;
    } cases[] = {{0.3f, 0.7f, -0.1f}, {1, 10, 0.01f}, {0.1f, 0.2f, 100.0f / 7.0f}, {0, 1, 1e7f + 1}};
    for (const auto& c : cases) {
        port.getSlider()->setRange(c.min, c.max);
        port.setValue(c.request);
        EXPECT_EQ(port.getValue(), c.request) << c.min << " .. " << c.max;
        EXPECT_LE(port.getMinValue(), c.request);
        EXPECT_GE(port.getMaxValue(), c.request);
    }
}

TEST_F(HxPortTimeSliderTest, setKeyframesPutsOneTickAtEachTime) {
    const std::vector<std::vector<float>> cases = {{0, 2.5f, 10}, {}, {1}};
    for (const auto& times : cases) {
        port.setKeyframes(timesOf(times));
        port.redraw();
        const McDArray<float>& ticks = port.getSlider()->slider()->getTicks();
        EXPECT_EQ(std::vector<float>(ticks.begin(), ticks.end()), times);
    }
}

int calls = 0;
void countCall(void*, float) { ++calls; }

TEST_F(HxPortTimeSliderTest, callbacksAndUserChangesLeaveThePortAlone) {
    port.addStartCallback(countCall, nullptr);
    port.addValueChangedCallback(countCall, nullptr);
    port.addFinishCallback(countCall, nullptr);
    port.getSlider()->textField()->setText("0.75");
    emit port.getSlider()->textField()->returnPressed();
    EXPECT_EQ(port.getValue(), 0.75f);
    EXPECT_EQ(port.relayed, 1) << "a user change reaches the relay";
    port.setValue(0.25f);
    EXPECT_EQ(calls, 0);
    EXPECT_FALSE(port.isNew()) << "guiCallback does nothing";
    port.clearStartCallback(countCall);
    port.clearValueChangedCallback(countCall);
    port.clearFinishCallback(countCall);
}

TEST(HxPortTimeSlider, keepsItsEditorAndOwnsItsWidget) {
    ensureWidgetApplication();
    auto* editor = reinterpret_cast<HxKeyframeCameraPathEditor*>(0x10);
    QWidget parent;
    QxGuardedPtr<QxTickMarkedSlider> widget;
    {
        HxPortTimeSlider port(nullptr, "portTimeSlider", QString("Time"), editor);
        EXPECT_EQ(port.getEditor(), editor);
        EXPECT_EQ(port.getSlider(), nullptr);
        EXPECT_EQ(port.getValue(), 0.0f) << "no widget yet";
        port.createWidget(&parent);
        widget = port.getSlider();
        ASSERT_NE(widget, nullptr);
    }
    EXPECT_EQ(widget, nullptr) << "the port deleted its widget";
    HxPortTimeSlider port(nullptr, "p", QString());
    port.createWidget(&parent);
    delete port.getSlider();
    EXPECT_EQ(port.getSlider(), nullptr) << "the guarded pointer follows Qt";
}

}  // namespace
