// The optical-flow metric: the mean on-screen displacement of a box's corners
// against a perspective projection written out here in double precision. (The
// translation metric is checked through the arc-length table of the flight.)
#include "VeVazaruMetricOpticalFlow.h"
#include "internal/NumberText.h"

#include <mc/McHandle.h>

#include <Inventor/nodes/SoPerspectiveCamera.h>
#include <ReferenceVec.h>
#include <gtest/gtest.h>

#include <array>
#include <cmath>

namespace {

struct CameraSetup {
    Vec position, axis;  // the orientation's axis need not be unit
    double angle, heightAngle, aspectRatio;
};
using Box = std::array<float, 6>;  // xmin, xmax, ymin, ymax, zmin, zmax

// Screen position of p, or false when p lies on the camera's plane.
bool project(const CameraSetup& s, Vec p, double& x, double& y) {
    const Vec v = p - s.position, n = unit(s.axis);
    const double c = std::cos(-s.angle), sn = std::sin(-s.angle);
    const Vec l = v * c + cross(n, v) * sn + n * (dot(n, v) * (1 - c));
    if (l.z == 0) return false;
    const double t = std::tan(s.heightAngle / 2);
    x = l.x / (-l.z * t * s.aspectRatio), y = l.y / (-l.z * t);
    return true;
}

TEST(VeVazaruMetricOpticalFlow, isTheMeanDisplacementOfTheCornersBothCamerasProject) {
    const Box box = {-1, 2, -1.5f, 1, -0.5f, 0.75f};
    const struct {
        Box bounds;
        CameraSetup a, b;
    } cases[] = {
        {box, {{-2, 1, 7}, {0, 1, 0}, -0.25, 0.785398, 1.25}, {{1, 0.5, 5}, {0, 1, 1}, 0.2, 0.785398, 1.25}},
        // Corners behind the camera take part as projected; four lie on camera a's plane and are left out.
        {{1, 2, 1, 2, -3, 0}, {{0, 0, 0}, {0, 1, 0}, 0, 0.785398, 1}, {{0, 0, 0}, {0, 1, 0}, 0.1, 0.785398, 1}},
    };
    for (const auto& c : cases) {
        double sum = 0;
        int seen = 0;
        for (float x : {c.bounds[0], c.bounds[1]})
            for (float y : {c.bounds[2], c.bounds[3]})
                for (float z : {c.bounds[4], c.bounds[5]}) {
                    double ax, ay, bx, by;
                    if (!project(c.a, {x, y, z}, ax, ay) || !project(c.b, {x, y, z}, bx, by)) continue;
                    sum += std::hypot(ax - bx, ay - by), ++seen;
                }
        const double expected = seen ? sum / seen : 0;
        McHandle<SoPerspectiveCamera> cameras[2];
        for (int i = 0; i < 2; ++i) {
            const CameraSetup& s = i ? c.b : c.a;
            cameras[i] = new SoPerspectiveCamera;
            cameras[i]->position.setValue(float(s.position.x), float(s.position.y), float(s.position.z));
            cameras[i]->orientation.setValue(
                SbRotation(SbVec3f(float(s.axis.x), float(s.axis.y), float(s.axis.z)), float(s.angle)));
            cameras[i]->heightAngle = float(s.heightAngle);
            cameras[i]->aspectRatio = float(s.aspectRatio);
        }
        const VeVazaruMetricOpticalFlow metric(c.bounds.data());
        ::testing::internal::CaptureStdout();
        const float d = metric.dist(cameras[0], cameras[1]);
        EXPECT_EQ(::testing::internal::GetCapturedStdout(), numbertext::fixed(d) + "\n") << "one console line";
        EXPECT_NEAR(d, expected, 1e-4 * expected) << "case " << (&c - cases);  // single precision
    }
}

}  // namespace
