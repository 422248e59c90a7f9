// The translation metric: the distance between two cameras' positions.
#include "VeVazaruMetricTranslation.h"

#include <mc/McHandle.h>

#include <Inventor/nodes/SoOrthographicCamera.h>
#include <Inventor/nodes/SoPerspectiveCamera.h>
#include <gtest/gtest.h>

#include <cmath>
#include <ostream>

namespace {

struct TranslationCase {
    const char* name;
    SbVec3f a, b;
    double expected;  // worked out by hand
};

std::ostream& operator<<(std::ostream& out, const TranslationCase& c) { return out << c.name; }

const TranslationCase translationCases[] = {
    {"samePosition", {1, 2, 3}, {1, 2, 3}, 0.0},
    {"alongX", {0, 0, 0}, {-2.5f, 0, 0}, 2.5},
    {"pythagoreanTriple", {1, 1, 1}, {4, 5, 1}, 5.0},
    {"spaceDiagonal", {-1, -1, -1}, {1, 1, 1}, std::sqrt(12.0)},
    {"farApart", {100, -200, 300}, {100, 200, 0}, 500.0},
};

class TranslationDistance : public ::testing::TestWithParam<TranslationCase> {};

TEST_P(TranslationDistance, isTheDistanceOfThePositionsBothWays) {
    const TranslationCase& c = GetParam();
    McHandle<SoPerspectiveCamera> a = new SoPerspectiveCamera;
    McHandle<SoPerspectiveCamera> b = new SoPerspectiveCamera;
    a->position.setValue(c.a);
    b->position.setValue(c.b);
    // Different views, so that only the positions can explain the result.
    a->orientation.setValue(SbRotation(SbVec3f(0, 1, 0), 0.3f));
    b->orientation.setValue(SbRotation(SbVec3f(1, 1, 0), 2.0f));
    b->focalDistance = 42;

    VeVazaruMetricTranslation metric;
    EXPECT_NEAR(metric.dist(a, b), c.expected, 1e-5 * (1 + c.expected));
    EXPECT_EQ(metric.dist(a, b), metric.dist(b, a));
}

INSTANTIATE_TEST_SUITE_P(Positions, TranslationDistance, ::testing::ValuesIn(translationCases),
                         [](const auto& param) { return std::string(param.param.name); });

TEST(VeVazaruMetricTranslation, ignoresOrientationAndEveryOtherField) {
    McHandle<SoPerspectiveCamera> a = new SoPerspectiveCamera;
    McHandle<SoOrthographicCamera> b = new SoOrthographicCamera;
    a->position.setValue(3, -4, 7);
    b->position.setValue(3, -4, 7);
    a->orientation.setValue(SbRotation(SbVec3f(0, 0, 1), 1.2f));
    b->orientation.setValue(SbRotation(SbVec3f(1, 0, 0), -2.7f));
    a->heightAngle = 0.2f;
    a->nearDistance = 0.5f;
    b->farDistance = 1000;
    b->aspectRatio = 2;

    VeVazaruMetricTranslation metric;
    EXPECT_EQ(metric.dist(a, b), 0.0f);
    EXPECT_EQ(metric.dist(b, a), 0.0f);
}

TEST(VeVazaruMetricTranslation, sameCameraIsAtDistanceZero) {
    McHandle<SoPerspectiveCamera> a = new SoPerspectiveCamera;
    a->position.setValue(-8, 0.25f, 19);
    VeVazaruMetricTranslation metric;
    EXPECT_EQ(metric.dist(a, a), 0.0f);
}

TEST(VeVazaruMetricTranslation, livesAsLongAsAHandleHoldsIt) {
    // A metric is a counted object: the handle's reference keeps it, the last
    // release deletes it.
    struct Watched : VeVazaruMetricTranslation {
        explicit Watched(bool& flag) : deleted(flag) {}
        ~Watched() override { deleted = true; }
        bool& deleted;
    };
    bool deleted = false;
    McHandle<VeVazaruMetric> first = new Watched(deleted);
    McHandle<VeVazaruMetric> second = first;
    first = nullptr;
    EXPECT_FALSE(deleted);
    second = nullptr;
    EXPECT_TRUE(deleted);
}

}  // namespace
