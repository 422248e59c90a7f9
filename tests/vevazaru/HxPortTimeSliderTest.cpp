// HxPortTimeSlider: values past the range held exactly, keyframe ticks, and the
// widget it owns.
#include "internal/HxPortTimeSlider.h"
#include "internal/QxTickMarkedSlider.h"

#include <WidgetApplication.h>
#include <widgets/QxSlider.h>

#include <QWidget>
#include <gtest/gtest.h>
#include <vector>

namespace {

TEST(HxPortTimeSlider, aValuePastTheRangeGrowsItAndIsHeldExactly) {
    ensureWidgetApplication();
    QWidget parent;
    HxPortTimeSlider port(nullptr, "portTimeSlider", QString("Time"));
    port.createWidget(&parent);
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
    for (const std::vector<float>& times : {std::vector<float>{0, 2.5f, 10}, {}}) {
        McDArray<float> keyframes;
        for (float t : times) keyframes.append(t);
        port.setKeyframes(keyframes);
        const McDArray<float>& ticks = port.getSlider()->slider()->getTicks();
        EXPECT_EQ(std::vector<float>(ticks.begin(), ticks.end()), times);
    }
}

}  // namespace
