// The translation metric: the distance between two cameras' positions.
#include "VeVazaruMetricTranslation.h"

#include <mc/McHandle.h>

#include <Inventor/nodes/SoOrthographicCamera.h>
#include <Inventor/nodes/SoPerspectiveCamera.h>
#include <gtest/gtest.h>

#include <cmath>

TEST(VeVazaruMetricTranslation, isTheDistanceOfThePositionsWhateverTheOtherFields) {
    const struct {
        SbVec3f a, b;
        double expected;  // worked out by hand
    } cases[] = {{{1, 2, 3}, {1, 2, 3}, 0.0},
                 {{0, 0, 0}, {-2.5f, 0, 0}, 2.5},
                 {{1, 1, 1}, {4, 5, 1}, 5.0},
                 {{-1, -1, -1}, {1, 1, 1}, std::sqrt(12.0)},
                 {{100, -200, 300}, {100, 200, 0}, 500.0}};
    VeVazaruMetricTranslation metric;
    for (const auto& c : cases) {
        McHandle<SoPerspectiveCamera> a = new SoPerspectiveCamera;
        McHandle<SoOrthographicCamera> b = new SoOrthographicCamera;
        a->position.setValue(c.a);
        b->position.setValue(c.b);
        // Different views and fields, so that only the positions can explain the result.
        a->orientation.setValue(SbRotation(SbVec3f(0, 1, 0), 0.3f));
        b->orientation.setValue(SbRotation(SbVec3f(1, 1, 0), 2.0f));
        a->heightAngle = 0.2f;
        b->focalDistance = 42;
        EXPECT_NEAR(metric.dist(a, b), c.expected, 1e-5 * (1 + c.expected)) << c.expected;
        EXPECT_EQ(metric.dist(a, b), metric.dist(b, a));
        EXPECT_EQ(metric.dist(a, a), 0.0f);
    }
}
