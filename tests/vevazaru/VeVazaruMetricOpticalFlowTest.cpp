// The optical-flow metric: the mean on-screen displacement of the corners of a
// box between two cameras. Expected values come from a perspective projection
// written out here in double precision, from each camera's own position,
// orientation, height angle and aspect ratio.
#include "VeVazaruMetricOpticalFlow.h"

#include <mc/McHandle.h>

#include <Inventor/nodes/SoPerspectiveCamera.h>
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <ostream>
#include <regex>
#include <string>
#include <vector>

namespace {

struct V3 {
    double x, y, z;
};

V3 operator-(V3 a, V3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }

struct CameraSetup {
    V3 position;
    V3 axis;  // of the orientation; need not be unit
    double angle;
    double heightAngle;
    double aspectRatio;
};

// Rotates v by -angle about the unit axis n (Rodrigues' formula), i.e. takes a
// world direction into the camera's frame.
V3 intoCameraFrame(const CameraSetup& cam, V3 v) {
    const double len = std::sqrt(cam.axis.x * cam.axis.x + cam.axis.y * cam.axis.y + cam.axis.z * cam.axis.z);
    const V3 n{cam.axis.x / len, cam.axis.y / len, cam.axis.z / len};
    const double c = std::cos(-cam.angle), s = std::sin(-cam.angle);
    const double d = n.x * v.x + n.y * v.y + n.z * v.z;
    const V3 cr{n.y * v.z - n.z * v.y, n.z * v.x - n.x * v.z, n.x * v.y - n.y * v.x};
    return {v.x * c + cr.x * s + n.x * d * (1 - c), v.y * c + cr.y * s + n.y * d * (1 - c),
            v.z * c + cr.z * s + n.z * d * (1 - c)};
}

struct Screen {
    bool finite;
    double x, y;
};

// The camera looks along its local -z; the view spans tan(heightAngle / 2) up
// and aspectRatio times that across, at unit depth.
Screen project(const CameraSetup& cam, V3 p) {
    const V3 c = intoCameraFrame(cam, p - cam.position);
    const double depth = -c.z;
    if (depth == 0) return {false, 0, 0};
    const double t = std::tan(cam.heightAngle / 2);
    return {true, c.x / (depth * t * cam.aspectRatio), c.y / (depth * t)};
}

std::vector<V3> boxCorners(const std::array<float, 6>& b) {
    std::vector<V3> corners;
    for (float x : {b[0], b[1]})
        for (float y : {b[2], b[3]})
            for (float z : {b[4], b[5]}) corners.push_back({x, y, z});
    return corners;
}

// Mean displacement over the corners that both cameras project finitely.
double expectedFlow(const std::array<float, 6>& bounds, const CameraSetup& a, const CameraSetup& b) {
    double sum = 0;
    int seen = 0;
    for (const V3& p : boxCorners(bounds)) {
        const Screen sa = project(a, p), sb = project(b, p);
        if (!sa.finite || !sb.finite) continue;
        sum += std::hypot(sa.x - sb.x, sa.y - sb.y);
        ++seen;
    }
    return seen ? sum / seen : 0.0;
}

McHandle<SoPerspectiveCamera> makeCamera(const CameraSetup& s) {
    McHandle<SoPerspectiveCamera> camera = new SoPerspectiveCamera;
    camera->position.setValue(float(s.position.x), float(s.position.y), float(s.position.z));
    camera->orientation.setValue(
        SbRotation(SbVec3f(float(s.axis.x), float(s.axis.y), float(s.axis.z)), float(s.angle)));
    camera->heightAngle = float(s.heightAngle);
    camera->aspectRatio = float(s.aspectRatio);
    camera->nearDistance = 0.1f;
    camera->farDistance = 100;
    return camera;
}

// Runs dist() with its line on standard output caught, so that it does not
// clutter the test log.
float quietDist(const VeVazaruMetric& metric, const SoCamera* a, const SoCamera* b) {
    ::testing::internal::CaptureStdout();
    const float d = metric.dist(a, b);
    ::testing::internal::GetCapturedStdout();
    return d;
}

// ---------------------------------------------------------------------------
// Corners

TEST(VeVazaruMetricOpticalFlow, cornersAreNumberedXThenYThenZ) {
    const float bounds[6] = {-1, 2, -3, 4, -5, 6};  // xmin, xmax, ymin, ymax, zmin, zmax
    const VeVazaruMetricOpticalFlow metric(bounds);
    const SbVec3f expected[8] = {{-1, -3, -5}, {-1, -3, 6}, {-1, 4, -5}, {-1, 4, 6},
                                 {2, -3, -5},  {2, -3, 6},  {2, 4, -5},  {2, 4, 6}};
    for (int i = 0; i < 8; ++i) EXPECT_EQ(metric.corner(i), expected[i]) << "corner " << i;
    EXPECT_EQ(metric.getCenter(), SbVec3f(0.5f, 0.5f, 0.5f));
}

TEST(VeVazaruMetricOpticalFlow, copiesTheBoundsAtConstruction) {
    float bounds[6] = {0, 1, 0, 1, 0, 1};
    const VeVazaruMetricOpticalFlow metric(bounds);
    for (float& b : bounds) b = 99;
    EXPECT_EQ(metric.corner(0), SbVec3f(0, 0, 0));
    EXPECT_EQ(metric.corner(7), SbVec3f(1, 1, 1));
}

// ---------------------------------------------------------------------------
// Distances

const std::array<float, 6> sceneBox = {-1, 2, -1.5f, 1, -0.5f, 0.75f};

TEST(VeVazaruMetricOpticalFlow, sameCameraGivesZero) {
    const VeVazaruMetricOpticalFlow metric(sceneBox.data());
    const CameraSetup setup{{0.5, -0.3, 8}, {0, 1, 0}, 0.1, 0.785398, 1.0};
    McHandle<SoPerspectiveCamera> a = makeCamera(setup);
    McHandle<SoPerspectiveCamera> b = makeCamera(setup);
    EXPECT_EQ(quietDist(metric, a, a), 0.0f);
    EXPECT_EQ(quietDist(metric, a, b), 0.0f);
}

struct FlowCase {
    const char* name;
    std::array<float, 6> bounds;
    CameraSetup a, b;
};

std::ostream& operator<<(std::ostream& out, const FlowCase& c) { return out << c.name; }

const FlowCase flowCases[] = {
    {"turnAboutUp", sceneBox, {{0.5, -0.3, 8}, {0, 1, 0}, 0, 0.785398, 1}, {{0.5, -0.3, 8}, {0, 1, 0}, 0.15, 0.785398, 1}},
    {"tiltWideView", sceneBox, {{0, 0, 6}, {1, 0, 0}, 0, 0.6, 1.6}, {{0, 0, 6}, {1, 0, 0}, 0.1, 0.6, 1.6}},
    {"turnAboutSkewAxis", sceneBox, {{1, 2, 9}, {1, 2, 3}, 0.2, 0.9, 1.25}, {{1, 2, 9}, {1, 2, 3}, 0.35, 0.9, 1.25}},
    {"moveAndTurn", sceneBox, {{-2, 1, 7}, {0, 1, 0}, -0.25, 0.785398, 1}, {{1, 0.5, 5}, {0, 1, 1}, 0.2, 0.785398, 1}},
    {"narrowTallView", sceneBox, {{0, 0, 10}, {0, 0, 1}, 0, 0.3, 0.5}, {{0, 0, 10}, {0, 0, 1}, 0.4, 0.3, 0.5}},
    // Corners behind the camera are not clipped; they take part as projected.
    {"cornersBehindTheCamera", {-1, 1, -1, 1, -2, 3}, {{0, 0, 0}, {0, 1, 0}, 0, 0.785398, 1},
     {{0, 0, 0}, {0, 1, 0}, 0.2, 0.785398, 1}},
};

class OpticalFlowDistance : public ::testing::TestWithParam<FlowCase> {};

TEST_P(OpticalFlowDistance, matchesThePerspectiveProjectionOfTheCorners) {
    const FlowCase& c = GetParam();
    const VeVazaruMetricOpticalFlow metric(c.bounds.data());
    McHandle<SoPerspectiveCamera> a = makeCamera(c.a);
    McHandle<SoPerspectiveCamera> b = makeCamera(c.b);
    const double expected = expectedFlow(c.bounds, c.a, c.b);
    ASSERT_GT(expected, 0.0);
    const float d = quietDist(metric, a, b);
    EXPECT_GT(d, 0.0f);
    // The metric works with single-precision matrices.
    EXPECT_NEAR(d, expected, 1e-4 * expected);
    EXPECT_EQ(quietDist(metric, b, a), d);
}

INSTANTIATE_TEST_SUITE_P(Cameras, OpticalFlowDistance, ::testing::ValuesIn(flowCases),
                         [](const auto& param) { return std::string(param.param.name); });

TEST(VeVazaruMetricOpticalFlow, printsTheDistanceOnStandardOutput) {
    const VeVazaruMetricOpticalFlow metric(sceneBox.data());
    // A narrow view turned by far more than it spans: a distance of 10 or more,
    // where "%f" shows six decimals and shorter forms at most four.
    McHandle<SoPerspectiveCamera> a = makeCamera({{0.5, -0.3, 8}, {0, 1, 0}, 0, 0.02, 1});
    McHandle<SoPerspectiveCamera> b = makeCamera({{0.5, -0.3, 8}, {0, 1, 0}, 0.2, 0.02, 1});
    ::testing::internal::CaptureStdout();
    const float d = metric.dist(a, b);
    const std::string printed = ::testing::internal::GetCapturedStdout();
    ASSERT_GE(d, 10.0f);
    char line[64];
    std::snprintf(line, sizeof line, "%f\n", d);
    EXPECT_EQ(printed, line);
    EXPECT_TRUE(std::regex_match(printed, std::regex("[0-9]+\\.[0-9]{6}\n"))) << printed;
}

// ---------------------------------------------------------------------------
// Corners on a camera's plane (w' = 0): left out of the mean.

TEST(VeVazaruMetricOpticalFlow, cornerOnTheCamerasPlaneIsLeftOut) {
    // Camera a sits at the origin looking along -z, so the four corners with
    // z = 0 lie on its plane; the four with z = -3 are in front of it.
    const std::array<float, 6> bounds = {1, 2, 1, 2, -3, 0};
    const CameraSetup a{{0, 0, 0}, {0, 1, 0}, 0, 0.785398, 1};
    const CameraSetup b{{0, 0, 0}, {0, 1, 0}, 0.1, 0.785398, 1};
    const VeVazaruMetricOpticalFlow metric(bounds.data());
    McHandle<SoPerspectiveCamera> ca = makeCamera(a);
    McHandle<SoPerspectiveCamera> cb = makeCamera(b);

    // The four corners in front, worked out on their own.
    double sum = 0;
    for (V3 p : {V3{1, 1, -3}, V3{1, 2, -3}, V3{2, 1, -3}, V3{2, 2, -3}}) {
        const Screen sa = project(a, p), sb = project(b, p);
        sum += std::hypot(sa.x - sb.x, sa.y - sb.y);
    }
    const double expected = sum / 4;

    const float d = quietDist(metric, ca, cb);
    ASSERT_TRUE(std::isfinite(d)) << d;
    EXPECT_NEAR(d, expected, 1e-4 * expected);
    EXPECT_EQ(quietDist(metric, cb, ca), d);
}

TEST(VeVazaruMetricOpticalFlow, noCornerSeenGivesZero) {
    // A flat box in the plane z = 0 of a camera at the origin looking along -z.
    const std::array<float, 6> bounds = {-1, 1, -1, 1, 0, 0};
    const VeVazaruMetricOpticalFlow metric(bounds.data());
    McHandle<SoPerspectiveCamera> a = makeCamera({{0, 0, 0}, {0, 1, 0}, 0, 0.785398, 1});
    McHandle<SoPerspectiveCamera> b = makeCamera({{0, 0, 0}, {0, 1, 0}, 0.3, 0.785398, 1});
    const float d = quietDist(metric, a, b);
    EXPECT_TRUE(std::isfinite(d));
    EXPECT_EQ(d, 0.0f);
}

}  // namespace
