// QxTickMarkedSlider: with growth on, a value past the range grows it by the
// amount the inner slider clipped; the growth is connected at most once.
#include "internal/QxTickMarkedSlider.h"

#include <WidgetApplication.h>

#include <gtest/gtest.h>
#include <algorithm>
#include <vector>

namespace {

TEST(QxTickMarkedSlider, growthSwitchedOnTwiceConnectsOnceAndOffDisconnects) {
    ensureWidgetApplication();
    const struct {
        std::vector<int> switches;
        float min, max;  // after pushing the value to -1, then 10.5, on 0 .. 10
    } cases[] = {{{}, 0, 10},         {{1}, -1, 10.5f},   {{1, 1}, -1, 10.5f},
                 {{7, 1}, -1, 10.5f}, {{1, 1, 0}, 0, 10}, {{1, 0, 1}, -1, 10.5f}};
    for (const auto& c : cases) {
        QxTickMarkedSlider s(nullptr, "s", false, 2);
        for (int on : c.switches) s.setAutoRemax(on);
        s.setRange(0, 10);
        s.setValue(-1);
        s.setValue(10.5f);
        EXPECT_EQ(std::vector<float>({s.getMinValue(), s.getMaxValue(), s.getValue()}),
                  std::vector<float>({c.min, c.max, std::min(c.max, 10.5f)}))
            << c.switches.size() << " switches";
    }
}

}  // namespace
