// VeVazaruPath's camera helpers, against double-precision references with a quaternion product of our own.
#include <paths/VeVazaruPath.h>

#include <Inventor/nodes/SoPerspectiveCamera.h>
#include <Inventor/sensors/SoNodeSensor.h>
#include <ReferenceVec.h>
#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <random>

namespace {

// A store the compiler must perform: GCC 12 at -O2 folded a double-float-double round trip away.
float toFloat(double v) {
    volatile float f = static_cast<float>(v);
    return f;
}
SbVec3f toSb(Vec v) { return SbVec3f(toFloat(v.x), toFloat(v.y), toFloat(v.z)); }
Vec perpendicularUnit(Vec up, Vec f) { return unit(up - f * dot(up, f)); }
// v rotated by q v q*, with SbRotation storing (x, y, z, w).
Vec rotated(const SoCamera* camera, Vec v) {
    const float* q = camera->orientation.getValue().getValue();
    const Vec u{q[0], q[1], q[2]}, t = cross(u, v) * 2.0;
    return v + t * q[3] + cross(u, t);
}
Vec viewDirection(const SoCamera* camera) { return rotated(camera, {0, 0, -1}); }
Vec upDirection(const SoCamera* camera) { return rotated(camera, {0, 1, 0}); }
Vec aimPointRead(const SoCamera* camera) {
    SbVec3f aim;
    VeVazaruPath::AIMPOINT(camera, aim);
    return toVec(aim);
}
Vec upDirRead(const SoCamera* camera) {
    SbVec3f up;
    VeVazaruPath::UPDIR(camera, up);
    return toVec(up);
}
bool finite(Vec v) { return std::isfinite(v.x + v.y + v.z); }

class VeVazaruPathTest : public ::testing::Test {
protected:
    VeVazaruPathTest() { camera->ref(); }
    ~VeVazaruPathTest() override { camera->unref(); }
    // The camera every degenerate case starts from.
    void placeStart() { VeVazaruPath::setCamera(camera, SbVec3f(3, -1, 2), SbVec3f(0, 0.5f, -4), SbVec3f(0.2f, 1, 0)); }
    SoPerspectiveCamera* const camera = new SoPerspectiveCamera;
};

TEST_F(VeVazaruPathTest, setCameraRoundTripsForRandomCamerasAndUpLengths) {
    std::mt19937 gen(20240611);  // a fixed seed: every run checks the same cameras
    std::normal_distribution<double> n(0, 1);
    std::uniform_real_distribution<double> logDistance(-4.6, 6.9);
    for (int i = 0; i < 600 && !HasFailure(); ++i) {  // one broken camera tells enough
        SCOPED_TRACE("camera " + std::to_string(i));
        const Vec position = toVec(toSb(Vec{n(gen), n(gen), n(gen)} * 30));
        const Vec aim = toVec(toSb(position + Vec{n(gen), n(gen), n(gen)} * std::exp(logDistance(gen))));
        const Vec f = unit(aim - position), raw{n(gen), n(gen), n(gen)};
        if (std::fabs(dot(unit(raw), f)) > 0.998) continue;  // no well defined perpendicular part in floats
        const Vec up = toVec(toSb(raw * std::pow(10.0, i % 9 * 7 - 28)));  // lengths 1e-28 to 1e28
        VeVazaruPath::setCamera(camera, toSb(position), toSb(aim), toSb(up));
        const double dist = length(aim - position);
        EXPECT_EQ(camera->position.getValue(), toSb(position));
        EXPECT_NEAR(camera->focalDistance.getValue(), dist, 1e-5 * dist);
        EXPECT_LE(length(viewDirection(camera) - f), 1e-5);
        EXPECT_LE(length(upDirection(camera) - perpendicularUnit(up, f)), 1e-5);
        EXPECT_LE(length(aimPointRead(camera) - aim), 1e-4 * std::max(dist, length(aim)));
        EXPECT_LE(length(upDirRead(camera) - perpendicularUnit(up, f)), 1e-4);
    }
}

// Aiming at the position keeps the viewing direction; an up along the view or zero keeps the roll.
TEST_F(VeVazaruPathTest, degenerateAimOrUpKeepsWhatItCannotDecideAndNeverMakesANaN) {
    const Vec f = unit(Vec{0, -3, -6});
    for (const double alongView : {0.0, 1.0, 250.0, -1e-3}) {
        SCOPED_TRACE(alongView);
        placeStart();
        const Vec u0 = upDirection(camera);
        VeVazaruPath::setCamera(camera, SbVec3f(5, 5, 5), SbVec3f(5, 2, -1), toSb(f * alongView));
        EXPECT_LE(length(viewDirection(camera) - f), 1e-5);
        EXPECT_LE(length(upDirRead(camera) - perpendicularUnit(u0, f)), 1e-4);
    }
    placeStart();
    const Vec d0 = viewDirection(camera);
    VeVazaruPath::setCamera(camera, SbVec3f(10, 20, 30), SbVec3f(10, 20, 30), SbVec3f(1, 0.5f, 0));
    EXPECT_EQ(camera->focalDistance.getValue(), 0.0f);
    EXPECT_LE(length(viewDirection(camera) - d0), 1e-5);
    EXPECT_LE(length(upDirRead(camera) - perpendicularUnit({1, 0.5, 0}, d0)), 1e-4);
    // Numbers that are not finite never put a NaN into the camera.
    constexpr float n = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
    const float cases[][9] = {// position, aim, up
                              {n, 0, 0, 0, 0, -5, 0, 1, 0},
                              {0, 0, 0, 0, 0, -5, 0, 1, n},
                              {0, 0, 0, 0, 0, -inf, 0, 1, 0},
                              {1, 2, 3, 1, 2, n, 0, 0, 0}};
    for (const auto& a : cases) {
        placeStart();
        VeVazaruPath::setCamera(camera, SbVec3f(a[0], a[1], a[2]), SbVec3f(a[3], a[4], a[5]),
                                SbVec3f(a[6], a[7], a[8]));
        const float* q = camera->orientation.getValue().getValue();
        EXPECT_NEAR(length({q[0], q[1], q[2]}) * length({q[0], q[1], q[2]}) + q[3] * q[3], 1.0, 1e-5);
        EXPECT_TRUE(finite(toVec(camera->position.getValue())) && std::isfinite(camera->focalDistance.getValue()) &&
                    finite(aimPointRead(camera)) && finite(upDirRead(camera)))
            << &a - cases;
    }
}

}  // namespace
