// VeVazaruPath's camera helpers: setCamera places a camera by position, aim point
// and up direction; AIMPOINT and UPDIR read them back. Expectations are computed
// here in double precision with a quaternion product of our own.
#include <paths/VeVazaruPath.h>

#include <Inventor/nodes/SoPerspectiveCamera.h>
#include <Inventor/sensors/SoNodeSensor.h>
#include <algorithm>
#include <cmath>
#include <ReferenceVec.h>
#include <gtest/gtest.h>
#include <limits>
#include <random>
#include <string>

namespace {

// A store the compiler must perform: GCC 12 at -O2 folded a double-float-double round trip away.
float toFloat(double v) {
    volatile float f = static_cast<float>(v);
    return f;
}
SbVec3f toSb(Vec v) { return SbVec3f(toFloat(v.x), toFloat(v.y), toFloat(v.z)); }
Vec asFloat(Vec v) { return toVec(toSb(v)); }
Vec perpendicularUnit(Vec up, Vec f) { return unit(up - f * dot(up, f)); }
bool finite(Vec v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }

// v rotated by q v q*, with SbRotation storing (x, y, z, w).
Vec rotated(const SbRotation& rotation, Vec v) {
    const float* q = rotation.getValue();
    const Vec u{q[0], q[1], q[2]}, t = cross(u, v) * 2.0;
    return v + t * q[3] + cross(u, t);
}
Vec viewDirection(const SoCamera* camera) { return rotated(camera->orientation.getValue(), {0, 0, -1}); }
Vec upDirection(const SoCamera* camera) { return rotated(camera->orientation.getValue(), {0, 1, 0}); }
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

void expectNear(Vec got, Vec want, double tolerance, const char* what) {
    EXPECT_LE(length(got - want), tolerance) << what << ": got (" << got.x << ", " << got.y << ", " << got.z
                                             << "), want (" << want.x << ", " << want.y << ", " << want.z << ")";
}

// No NaN or infinity anywhere in the camera, and its orientation is a rotation.
void expectSane(const SoCamera* camera) {
    const float* q = camera->orientation.getValue().getValue();
    EXPECT_NEAR(std::sqrt(dot({q[0], q[1], q[2]}, {q[0], q[1], q[2]}) + double(q[3]) * q[3]), 1.0, 1e-5);
    EXPECT_TRUE(finite(toVec(camera->position.getValue())) && std::isfinite(camera->focalDistance.getValue()) &&
                finite(aimPointRead(camera)) && finite(upDirRead(camera)));
}

// Random inputs from a fixed seed, so every run checks the same cameras.
struct RandomCameras {
    std::mt19937 gen;
    Vec point(double extent) {
        std::uniform_real_distribution<double> u(-extent, extent);
        return {u(gen), u(gen), u(gen)};
    }
    Vec direction() {
        std::normal_distribution<double> n(0, 1);
        for (;;)
            if (Vec v{n(gen), n(gen), n(gen)}; ::length(v) > 1e-3) return unit(v);
    }
    double length(double lo, double hi) {  // log-uniform
        return std::exp(std::uniform_real_distribution<double>(std::log(lo), std::log(hi))(gen));
    }
    // At least ~3 degrees away from f and -f, so its perpendicular part is well defined in floats.
    Vec directionAwayFrom(Vec f) {
        for (;;)
            if (Vec d = direction(); std::fabs(dot(d, f)) < 0.9986) return d;
    }
};

class VeVazaruPathTest : public ::testing::Test {
protected:
    VeVazaruPathTest() { camera->ref(); }
    ~VeVazaruPathTest() override { camera->unref(); }
    // The camera every degenerate case starts from.
    void placeStart() {
        VeVazaruPath::setCamera(camera, SbVec3f(3, -1, 2), SbVec3f(0, 0.5f, -4), SbVec3f(0.2f, 1, 0.1f));
    }
    SoPerspectiveCamera* const camera = new SoPerspectiveCamera;
};

TEST_F(VeVazaruPathTest, setCameraRoundTripsForRandomCamerasAndUpLengths) {
    RandomCameras random{std::mt19937(20240611)};
    const double upLengths[] = {1e-30, 1e-12, 1e-3, 0.5, 1.0, 7.0, 1e3, 1e12, 1e30};
    for (int i = 0; i < 1800 && !HasFailure(); ++i) {  // one broken camera tells enough
        SCOPED_TRACE("camera " + std::to_string(i));
        const Vec position = asFloat(random.point(100));
        const Vec aim = asFloat(position + random.direction() * random.length(0.01, 1000));
        const double dist = length(aim - position);
        const Vec f = (aim - position) * (1.0 / dist);
        const Vec up = asFloat(random.directionAwayFrom(f) * upLengths[i % 9]);
        // Start from another roll, so a refused up vector shows.
        VeVazaruPath::setCamera(camera, toSb(position), toSb(aim), toSb(random.direction()));
        VeVazaruPath::setCamera(camera, toSb(position), toSb(aim), toSb(up));

        const Vec wantUp = perpendicularUnit(up, f);
        EXPECT_EQ(camera->position.getValue(), toSb(position));
        EXPECT_NEAR(camera->focalDistance.getValue(), dist, 1e-5 * dist);
        expectNear(viewDirection(camera), f, 1e-5, "view direction");
        expectNear(upDirection(camera), wantUp, 1e-5, "up direction");
        expectNear(aimPointRead(camera), aim, 1e-4 * std::max(dist, length(aim)), "AIMPOINT");
        expectNear(upDirRead(camera), wantUp, 1e-4, "UPDIR");
    }
}

TEST_F(VeVazaruPathTest, aimPointAndUpDirReadAnyCamera) {
    camera->position.setValue(0, 0, 1);
    camera->focalDistance.setValue(5);
    expectNear(aimPointRead(camera), {0, 0, -4}, 1e-6, "AIMPOINT of the default camera");
    expectNear(upDirRead(camera), {0, 1, 0}, 1e-6, "UPDIR of the default camera");
    RandomCameras random{std::mt19937(99)};
    for (int i = 0; i < 200; ++i) {  // set field by field, not through setCamera
        const Vec position = asFloat(random.point(50));
        const SbRotation orientation(toSb(random.direction()), toFloat(random.length(0.01, 3.1)));
        const float focal = toFloat(random.length(0.1, 100));
        camera->position.setValue(toSb(position));
        camera->orientation.setValue(orientation);
        camera->focalDistance.setValue(focal);
        const Vec wantAim = position + rotated(orientation, {0, 0, -1}) * focal;
        expectNear(aimPointRead(camera), wantAim, 1e-5 * std::max(1.0, length(wantAim) + focal), "AIMPOINT");
        expectNear(upDirRead(camera), rotated(orientation, {0, 1, 0}), 1e-5, "UPDIR");
    }
}

TEST_F(VeVazaruPathTest, aimAtThePositionKeepsTheViewingDirection) {
    placeStart();
    const Vec d0 = viewDirection(camera), u0 = upDirection(camera);
    const Vec position{10, 20, 30}, up{1, 0.5, 0};
    VeVazaruPath::setCamera(camera, toSb(position), toSb(position), toSb(up));
    expectSane(camera);
    EXPECT_EQ(camera->focalDistance.getValue(), 0.0f);
    expectNear(viewDirection(camera), d0, 1e-5, "view direction");
    expectNear(upDirRead(camera), perpendicularUnit(up, d0), 1e-4, "UPDIR");
    expectNear(aimPointRead(camera), position, 1e-5, "AIMPOINT");

    placeStart();  // and with a zero up vector the whole orientation stays
    VeVazaruPath::setCamera(camera, SbVec3f(1, 1, 1), SbVec3f(1, 1, 1), SbVec3f(0, 0, 0));
    expectSane(camera);
    expectNear(viewDirection(camera), d0, 1e-5, "view direction");
    expectNear(upDirection(camera), u0, 1e-5, "up direction");
}

TEST_F(VeVazaruPathTest, uselessUpKeepsTheCurrentRoll) {
    const Vec position{5, 5, 5}, aim{5, 2, -1};
    const Vec f = unit(aim - position);
    for (double alongView : {0.0, 1.0, 250.0, -1.0, -1e-3}) {  // up = alongView * f
        SCOPED_TRACE(alongView);
        placeStart();
        const Vec u0 = upDirection(camera);
        VeVazaruPath::setCamera(camera, toSb(position), toSb(aim), toSb(asFloat(f * alongView)));
        expectSane(camera);
        expectNear(viewDirection(camera), f, 1e-5, "view direction");
        expectNear(upDirRead(camera), perpendicularUnit(u0, f), 1e-4, "UPDIR");
    }
    // Looking along the current up with an up along it too: no up has a perpendicular part.
    placeStart();
    const Vec u0 = upDirection(camera), along = asFloat(u0 * 10.0);
    VeVazaruPath::setCamera(camera, SbVec3f(0, 0, 0), toSb(along), toSb(u0 * 2.0));
    expectSane(camera);
    expectNear(viewDirection(camera), unit(along), 1e-5, "view direction");
    EXPECT_NEAR(dot(upDirRead(camera), unit(along)), 0.0, 1e-4);
}

TEST_F(VeVazaruPathTest, neverPutsANaNIntoTheCamera) {
    constexpr float n = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
    const float cases[][9] = {// position, aim, up
                              {n, 0, 0, 0, 0, -5, 0, 1, 0},   {0, 0, 0, 0, n, -5, 0, 1, 0},
                              {0, 0, 0, 0, 0, -5, 0, 1, n},   {n, n, n, n, n, n, n, n, n},
                              {inf, 0, 0, 0, 0, -5, 0, 1, 0}, {0, 0, 0, 0, 0, -inf, 0, 1, 0},
                              {0, 0, 0, 0, 0, -5, inf, 1, 0}, {1, 2, 3, 1, 2, n, 0, 0, 0}};
    for (const auto& a : cases) {
        SCOPED_TRACE(&a - cases);
        placeStart();
        const SbVec3f before = camera->position.getValue(), position(a[0], a[1], a[2]);
        VeVazaruPath::setCamera(camera, position, SbVec3f(a[3], a[4], a[5]), SbVec3f(a[6], a[7], a[8]));
        expectSane(camera);
        const SbVec3f after = camera->position.getValue();
        EXPECT_TRUE(after == before || (finite(toVec(position)) && after == position));
    }
}

TEST_F(VeVazaruPathTest, setCameraNotifiesObserversOnce) {
    placeStart();
    int notifications = 0;
    SoNodeSensor sensor([](void* count, SoSensor*) { ++*static_cast<int*>(count); }, &notifications);
    sensor.setPriority(0);  // triggers at once on every change
    sensor.attach(camera);
    VeVazaruPath::setCamera(camera, SbVec3f(1, 2, 3), SbVec3f(4, 5, 6), SbVec3f(0, 0, 1));
    EXPECT_EQ(notifications, 1);
    camera->position.setValue(0, 0, 0);
    camera->orientation.setValue(SbRotation::identity());
    EXPECT_EQ(notifications, 3) << "the fields still notify afterwards";
    sensor.detach();
}

}  // namespace
