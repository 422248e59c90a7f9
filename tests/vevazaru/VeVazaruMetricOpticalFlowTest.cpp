// The optical-flow metric: the mean on-screen displacement of the corners of a
// box between two cameras, against a perspective projection written out here in
// double precision from each camera's own fields.
#include "VeVazaruMetricOpticalFlow.h"

#include <mc/McHandle.h>

#include <Inventor/nodes/SoPerspectiveCamera.h>
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <string>

namespace {

struct V3 {
    double x, y, z;
};

struct CameraSetup {
    V3 position, axis;  // axis of the orientation; need not be unit
    double angle, heightAngle, aspectRatio;
};

using Box = std::array<float, 6>;  // xmin, xmax, ymin, ymax, zmin, zmax

// Screen position of p, or false when p lies on the camera's plane (w' = 0).
bool project(const CameraSetup& cam, V3 p, double& x, double& y) {
    const V3 v{p.x - cam.position.x, p.y - cam.position.y, p.z - cam.position.z};
    const double len = std::sqrt(cam.axis.x * cam.axis.x + cam.axis.y * cam.axis.y + cam.axis.z * cam.axis.z);
    const V3 n{cam.axis.x / len, cam.axis.y / len, cam.axis.z / len};
    const double c = std::cos(-cam.angle), s = std::sin(-cam.angle), d = n.x * v.x + n.y * v.y + n.z * v.z;
    const V3 cr{n.y * v.z - n.z * v.y, n.z * v.x - n.x * v.z, n.x * v.y - n.y * v.x};
    const V3 l{v.x * c + cr.x * s + n.x * d * (1 - c), v.y * c + cr.y * s + n.y * d * (1 - c),
               v.z * c + cr.z * s + n.z * d * (1 - c)};
    if (l.z == 0) return false;
    const double t = std::tan(cam.heightAngle / 2);
    x = l.x / (-l.z * t * cam.aspectRatio);
    y = l.y / (-l.z * t);
    return true;
}

// Mean displacement over the corners that both cameras project finitely.
double expectedFlow(const Box& b, const CameraSetup& ca, const CameraSetup& cb) {
    double sum = 0;
    int seen = 0;
    for (float x : {b[0], b[1]})
        for (float y : {b[2], b[3]})
            for (float z : {b[4], b[5]}) {
                double ax, ay, bx, by;
                if (!project(ca, {x, y, z}, ax, ay) || !project(cb, {x, y, z}, bx, by)) continue;
                sum += std::hypot(ax - bx, ay - by);
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
    return camera;
}

// dist() with its line on standard output caught.
float quietDist(const VeVazaruMetric& metric, const SoCamera* a, const SoCamera* b, std::string* printed = nullptr) {
    ::testing::internal::CaptureStdout();
    const float d = metric.dist(a, b);
    const std::string out = ::testing::internal::GetCapturedStdout();
    if (printed) *printed = out;
    return d;
}

TEST(VeVazaruMetricOpticalFlow, cornersAreNumberedXThenYThenZ) {
    const float bounds[6] = {-1, 2, -3, 4, -5, 6};
    const VeVazaruMetricOpticalFlow metric(bounds);
    const SbVec3f expected[8] = {{-1, -3, -5}, {-1, -3, 6}, {-1, 4, -5}, {-1, 4, 6},
                                 {2, -3, -5},  {2, -3, 6},  {2, 4, -5},  {2, 4, 6}};
    for (int i = 0; i < 8; ++i) EXPECT_EQ(metric.corner(i), expected[i]) << "corner " << i;
}

const Box sceneBox = {-1, 2, -1.5f, 1, -0.5f, 0.75f};

TEST(VeVazaruMetricOpticalFlow, sameCameraGivesZero) {
    const VeVazaruMetricOpticalFlow metric(sceneBox.data());
    const CameraSetup setup{{0.5, -0.3, 8}, {0, 1, 0}, 0.1, 0.785398, 1.0};
    McHandle<SoPerspectiveCamera> a = makeCamera(setup), b = makeCamera(setup);
    EXPECT_EQ(quietDist(metric, a, a), 0.0f);
    EXPECT_EQ(quietDist(metric, a, b), 0.0f);
}

TEST(VeVazaruMetricOpticalFlow, matchesThePerspectiveProjectionOfTheCorners) {
    const struct {
        Box bounds;
        CameraSetup a, b;
        bool someCornersOnThePlane;
    } cases[] = {
        {sceneBox, {{0.5, -0.3, 8}, {0, 1, 0}, 0, 0.785398, 1}, {{0.5, -0.3, 8}, {0, 1, 0}, 0.15, 0.785398, 1}, false},
        {sceneBox, {{0, 0, 6}, {1, 0, 0}, 0, 0.6, 1.6}, {{0, 0, 6}, {1, 0, 0}, 0.1, 0.6, 1.6}, false},
        {sceneBox, {{1, 2, 9}, {1, 2, 3}, 0.2, 0.9, 1.25}, {{1, 2, 9}, {1, 2, 3}, 0.35, 0.9, 1.25}, false},
        {sceneBox, {{-2, 1, 7}, {0, 1, 0}, -0.25, 0.785398, 1}, {{1, 0.5, 5}, {0, 1, 1}, 0.2, 0.785398, 1}, false},
        // Corners behind the camera are not clipped; they take part as projected.
        {{-1, 1, -1, 1, -2, 3},
         {{0, 0, 0}, {0, 1, 0}, 0, 0.785398, 1},
         {{0, 0, 0}, {0, 1, 0}, 0.2, 0.785398, 1},
         false},
        // Four corners lie on camera a's plane (w' = 0) and are left out of the mean.
        {{1, 2, 1, 2, -3, 0}, {{0, 0, 0}, {0, 1, 0}, 0, 0.785398, 1}, {{0, 0, 0}, {0, 1, 0}, 0.1, 0.785398, 1}, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << "case at box x " << c.bounds[0] << ", camera z " << c.a.position.z);
        const VeVazaruMetricOpticalFlow metric(c.bounds.data());
        McHandle<SoPerspectiveCamera> a = makeCamera(c.a), b = makeCamera(c.b);
        const double expected = expectedFlow(c.bounds, c.a, c.b);
        ASSERT_GT(expected, 0.0);
        const float d = quietDist(metric, a, b);
        ASSERT_TRUE(std::isfinite(d)) << d;
        EXPECT_NEAR(d, expected, 1e-4 * expected);  // the metric works in single precision
        EXPECT_EQ(quietDist(metric, b, a), d);
    }
}

TEST(VeVazaruMetricOpticalFlow, noCornerSeenGivesZero) {
    const Box flat = {-1, 1, -1, 1, 0, 0};  // in the plane z = 0 of a camera at the origin
    const VeVazaruMetricOpticalFlow metric(flat.data());
    McHandle<SoPerspectiveCamera> a = makeCamera({{0, 0, 0}, {0, 1, 0}, 0, 0.785398, 1});
    McHandle<SoPerspectiveCamera> b = makeCamera({{0, 0, 0}, {0, 1, 0}, 0.3, 0.785398, 1});
    EXPECT_EQ(quietDist(metric, a, b), 0.0f);
}

TEST(VeVazaruMetricOpticalFlow, printsTheDistanceWithSixDecimals) {
    const VeVazaruMetricOpticalFlow metric(sceneBox.data());
    // A narrow view turned by far more than it spans: a distance of 10 or more.
    McHandle<SoPerspectiveCamera> a = makeCamera({{0.5, -0.3, 8}, {0, 1, 0}, 0, 0.02, 1});
    McHandle<SoPerspectiveCamera> b = makeCamera({{0.5, -0.3, 8}, {0, 1, 0}, 0.2, 0.02, 1});
    std::string printed;
    const float d = quietDist(metric, a, b, &printed);
    ASSERT_GE(d, 10.0f);
    char line[64];
    std::snprintf(line, sizeof line, "%f\n", d);
    EXPECT_EQ(printed, line);
}

}  // namespace
