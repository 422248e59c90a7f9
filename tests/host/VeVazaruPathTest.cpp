// VeVazaruPath's camera helpers: setCamera places a camera by position, aim
// point and up direction; AIMPOINT and UPDIR read those back. Expectations are
// computed here in double precision with a quaternion product of our own.
#include <paths/VeVazaruPath.h>

#include <Inventor/nodes/SoPerspectiveCamera.h>
#include <Inventor/sensors/SoNodeSensor.h>
#include <algorithm>
#include <array>
#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <random>
#include <string>

namespace {

// ---------------------------------------------------------------------------
// Test-side vector and quaternion math

struct V3 {
    double x, y, z;
};
V3 operator+(V3 a, V3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
V3 operator-(V3 a, V3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
V3 operator*(V3 a, double s) { return {a.x * s, a.y * s, a.z * s}; }
double dot(V3 a, V3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
double norm(V3 a) { return std::sqrt(dot(a, a)); }
V3 unit(V3 a) { return a * (1.0 / norm(a)); }
V3 of(const SbVec3f& v) { return {v[0], v[1], v[2]}; }
// Rounds to single precision through a store the compiler must perform: GCC 12
// at -O2 was seen to fold a vectorised double-float-double round trip away,
// which left expectations unrounded.
float toFloat(double v) {
    volatile float f = static_cast<float>(v);
    return f;
}
SbVec3f toSb(V3 v) { return SbVec3f(toFloat(v.x), toFloat(v.y), toFloat(v.z)); }
double distance(V3 a, V3 b) { return norm(a - b); }

// The unit part of `up` perpendicular to the unit vector `f`.
V3 perpendicularUnit(V3 up, V3 f) { return unit(up - f * dot(up, f)); }

struct Quat {
    double w, x, y, z;
};
Quat operator*(Quat a, Quat b) {
    return {a.w * b.w - a.x * b.x - a.y * b.y - a.z * b.z, a.w * b.x + a.x * b.w + a.y * b.z - a.z * b.y,
            a.w * b.y - a.x * b.z + a.y * b.w + a.z * b.x, a.w * b.z + a.x * b.y - a.y * b.x + a.z * b.w};
}

// v rotated by the camera's orientation: q v q*, with SbRotation storing (x, y, z, w).
V3 rotated(const SbRotation& rotation, V3 v) {
    const float* c = rotation.getValue();
    const Quat q{c[3], c[0], c[1], c[2]};
    const Quat conj{q.w, -q.x, -q.y, -q.z};
    const Quat r = q * Quat{0, v.x, v.y, v.z} * conj;
    return {r.x, r.y, r.z};
}

V3 viewDirection(const SoCamera& camera) { return rotated(camera.orientation.getValue(), {0, 0, -1}); }
V3 upDirection(const SoCamera& camera) { return rotated(camera.orientation.getValue(), {0, 1, 0}); }

V3 aimPointRead(const SoCamera& camera) {
    SbVec3f aim;
    VeVazaruPath::AIMPOINT(&camera, aim);
    return of(aim);
}
V3 upDirRead(const SoCamera& camera) {
    SbVec3f up;
    VeVazaruPath::UPDIR(&camera, up);
    return of(up);
}

bool finite(V3 v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }

// No field of the camera holds a NaN or an infinity, and its orientation is a rotation.
void expectSane(const SoCamera& camera) {
    EXPECT_TRUE(finite(of(camera.position.getValue())));
    const float* q = camera.orientation.getValue().getValue();
    for (int i = 0; i < 4; ++i) EXPECT_TRUE(std::isfinite(q[i])) << "quaternion component " << i;
    EXPECT_NEAR(std::sqrt(double(q[0]) * q[0] + double(q[1]) * q[1] + double(q[2]) * q[2] + double(q[3]) * q[3]), 1.0,
                1e-5);
    EXPECT_TRUE(std::isfinite(camera.focalDistance.getValue()));
    EXPECT_TRUE(finite(aimPointRead(camera)));
    EXPECT_TRUE(finite(upDirRead(camera)));
}

void expectNear(V3 got, V3 want, double tolerance, const std::string& what) {
    EXPECT_LE(distance(got, want), tolerance) << what << ": got (" << got.x << ", " << got.y << ", " << got.z
                                              << "), want (" << want.x << ", " << want.y << ", " << want.z << ")";
}

// A camera held for the length of a test.
class Camera {
public:
    Camera() : node(new SoPerspectiveCamera) { node->ref(); }
    ~Camera() { node->unref(); }
    Camera(const Camera&) = delete;
    Camera& operator=(const Camera&) = delete;
    SoPerspectiveCamera* operator->() const { return node; }
    SoPerspectiveCamera& operator*() const { return *node; }
    SoPerspectiveCamera* get() const { return node; }

private:
    SoPerspectiveCamera* node;
};

// Random inputs from a fixed seed, so every run checks the same cameras.
class RandomCameras {
public:
    explicit RandomCameras(unsigned seed) : gen(seed) {}

    V3 point(double extent) {
        std::uniform_real_distribution<double> u(-extent, extent);
        return {u(gen), u(gen), u(gen)};
    }
    V3 direction() {
        std::normal_distribution<double> n(0, 1);
        for (;;) {
            V3 v{n(gen), n(gen), n(gen)};
            if (norm(v) > 1e-3) return unit(v);
        }
    }
    // log-uniform in [lo, hi]
    double length(double lo, double hi) {
        std::uniform_real_distribution<double> u(std::log(lo), std::log(hi));
        return std::exp(u(gen));
    }
    // A unit direction that makes at least ~3 degrees with `f` and its opposite,
    // so its perpendicular part is well defined in single precision.
    V3 directionAwayFrom(V3 f) {
        for (;;) {
            V3 d = direction();
            if (std::fabs(dot(d, f)) < 0.9986) return d;
        }
    }

private:
    std::mt19937 gen;
};

// Rounds to what a float holds, so expectations start from the exact inputs.
V3 asFloat(V3 v) { return of(toSb(v)); }

// ---------------------------------------------------------------------------

TEST(VeVazaruPathMath, ownQuaternionRotationMatchesInventors) {
    // The test's rotation must agree with SbRotation::multVec, or every
    // expectation below would be built on a different convention.
    RandomCameras random(7);
    for (int i = 0; i < 200; ++i) {
        const SbRotation r(toSb(random.direction()), toFloat(random.length(0.01, 3.1)));
        const V3 v = random.point(10);
        SbVec3f byInventor;
        r.multVec(toSb(v), byInventor);
        expectNear(rotated(r, asFloat(v)), of(byInventor), 1e-4 * std::max(1.0, norm(v)), "rotation");
    }
}

TEST(VeVazaruPath, setCameraRoundTripsForRandomCameras) {
    RandomCameras random(20240611);
    Camera camera;
    for (int i = 0; i < 1000; ++i) {
        SCOPED_TRACE("camera " + std::to_string(i));
        const V3 position = asFloat(random.point(100));
        const V3 aim = asFloat(position + random.direction() * random.length(0.01, 1000));
        const V3 view = aim - position;
        const double dist = norm(view);
        const V3 f = view * (1.0 / dist);
        const V3 up = asFloat(random.directionAwayFrom(f) * random.length(1e-3, 1e3));

        VeVazaruPath::setCamera(camera.get(), toSb(position), toSb(aim), toSb(up));

        const V3 wantUp = perpendicularUnit(up, f);
        EXPECT_EQ(camera->position.getValue(), toSb(position));
        EXPECT_NEAR(camera->focalDistance.getValue(), dist, 1e-5 * dist);
        // What the camera holds, read with the test's own rotation ...
        expectNear(viewDirection(*camera), f, 1e-5, "view direction");
        expectNear(upDirection(*camera), wantUp, 1e-5, "up direction");
        // ... and through the helpers.
        expectNear(aimPointRead(*camera), aim, 1e-4 * std::max(dist, norm(aim)), "AIMPOINT");
        const V3 gotUp = upDirRead(*camera);
        expectNear(gotUp, wantUp, 1e-4, "UPDIR");
        EXPECT_NEAR(norm(gotUp), 1.0, 1e-5);
        EXPECT_NEAR(dot(gotUp, f), 0.0, 1e-4);
        if (HasFailure()) break;  // one broken camera tells enough
    }
}

TEST(VeVazaruPath, aimPointAndUpDirReadAnyCamera) {
    // Cameras set field by field, not through setCamera.
    RandomCameras random(99);
    Camera camera;
    for (int i = 0; i < 200; ++i) {
        const V3 position = asFloat(random.point(50));
        const SbRotation orientation(toSb(random.direction()), toFloat(random.length(0.01, 3.1)));
        const float focal = toFloat(random.length(0.1, 100));
        camera->position.setValue(toSb(position));
        camera->orientation.setValue(orientation);
        camera->focalDistance.setValue(focal);

        const V3 wantAim = position + rotated(orientation, {0, 0, -1}) * focal;
        expectNear(aimPointRead(*camera), wantAim, 1e-5 * std::max(1.0, norm(wantAim) + focal), "AIMPOINT");
        expectNear(upDirRead(*camera), rotated(orientation, {0, 1, 0}), 1e-5, "UPDIR");
    }
}

TEST(VeVazaruPath, aimPointOfTheDefaultCamera) {
    Camera camera;  // at (0, 0, 1) looking down -Z, focal distance 5
    camera->position.setValue(0, 0, 1);
    camera->focalDistance.setValue(5);
    expectNear(aimPointRead(*camera), {0, 0, -4}, 1e-6, "AIMPOINT");
    expectNear(upDirRead(*camera), {0, 1, 0}, 1e-6, "UPDIR");
}

// ---------------------------------------------------------------------------
// Up vectors of any length

class VeVazaruPathUpLength : public ::testing::TestWithParam<double> {};

TEST_P(VeVazaruPathUpLength, anyNonZeroLengthIsAccepted) {
    RandomCameras random(4242);
    Camera camera;
    for (int i = 0; i < 100; ++i) {
        SCOPED_TRACE("camera " + std::to_string(i));
        const V3 position = asFloat(random.point(20));
        const V3 aim = asFloat(position + random.direction() * random.length(0.1, 100));
        const V3 f = unit(aim - position);
        const V3 direction = random.directionAwayFrom(f);
        const V3 up = asFloat(direction * GetParam());
        ASSERT_GT(norm(up), 0.0);

        // Start from a camera whose roll differs, so a refused up vector shows.
        VeVazaruPath::setCamera(camera.get(), toSb(position), toSb(aim), toSb(random.direction()));
        VeVazaruPath::setCamera(camera.get(), toSb(position), toSb(aim), toSb(up));

        expectNear(upDirRead(*camera), perpendicularUnit(up, f), 1e-4, "UPDIR");
        if (HasFailure()) break;
    }
}

INSTANTIATE_TEST_SUITE_P(Lengths, VeVazaruPathUpLength,
                         ::testing::Values(1e-30, 1e-12, 1e-7, 1e-3, 0.5, 1.0, 7.0, 1e3, 1e12, 1e30),
                         [](const auto& param) { return "length_" + std::to_string(param.index); });

// ---------------------------------------------------------------------------
// Degenerate input

// The camera every degenerate case starts from.
struct StartCamera {
    V3 position{3, -1, 2};
    V3 aim{0, 0.5, -4};
    V3 up{0.2, 1, 0.1};
};

void placeStart(SoCamera* camera, const StartCamera& s = StartCamera()) {
    VeVazaruPath::setCamera(camera, toSb(s.position), toSb(s.aim), toSb(s.up));
}

TEST(VeVazaruPathDegenerate, aimAtThePositionKeepsTheViewingDirection) {
    Camera camera;
    placeStart(camera.get());
    const V3 d0 = viewDirection(*camera);
    const V3 newPosition{10, 20, 30};
    const V3 up{1, 0.5, 0};

    VeVazaruPath::setCamera(camera.get(), toSb(newPosition), toSb(newPosition), toSb(up));

    expectSane(*camera);
    EXPECT_EQ(camera->position.getValue(), toSb(newPosition));
    EXPECT_EQ(camera->focalDistance.getValue(), 0.0f);
    expectNear(viewDirection(*camera), d0, 1e-5, "view direction");
    expectNear(upDirRead(*camera), perpendicularUnit(up, d0), 1e-4, "UPDIR");
    expectNear(aimPointRead(*camera), newPosition, 1e-5, "AIMPOINT");
}

TEST(VeVazaruPathDegenerate, aimAtThePositionAndZeroUpKeepTheOrientation) {
    Camera camera;
    placeStart(camera.get());
    const V3 d0 = viewDirection(*camera), u0 = upDirection(*camera);

    VeVazaruPath::setCamera(camera.get(), SbVec3f(1, 1, 1), SbVec3f(1, 1, 1), SbVec3f(0, 0, 0));

    expectSane(*camera);
    expectNear(viewDirection(*camera), d0, 1e-5, "view direction");
    expectNear(upDirection(*camera), u0, 1e-5, "up direction");
}

struct UpCase {
    const char* name;
    double alongView;  // up = alongView * (new viewing direction)
};

class VeVazaruPathUselessUp : public ::testing::TestWithParam<UpCase> {};

TEST_P(VeVazaruPathUselessUp, keepsTheCurrentRoll) {
    Camera camera;
    placeStart(camera.get());
    const V3 u0 = upDirection(*camera);
    const V3 position{5, 5, 5}, aim{5, 2, -1};  // a new direction, not along u0
    const V3 f = unit(aim - position);
    const V3 up = asFloat(f * GetParam().alongView);

    VeVazaruPath::setCamera(camera.get(), toSb(position), toSb(aim), toSb(up));

    expectSane(*camera);
    EXPECT_EQ(camera->position.getValue(), toSb(position));
    expectNear(viewDirection(*camera), f, 1e-5, "view direction");
    expectNear(upDirRead(*camera), perpendicularUnit(u0, f), 1e-4, "UPDIR");
}

INSTANTIATE_TEST_SUITE_P(Ups, VeVazaruPathUselessUp,
                         ::testing::Values(UpCase{"zero", 0.0}, UpCase{"parallel", 1.0}, UpCase{"parallelLong", 250.0},
                                           UpCase{"antiParallel", -1.0}, UpCase{"antiParallelShort", -1e-3}),
                         [](const auto& param) { return std::string(param.param.name); });

TEST(VeVazaruPathDegenerate, uselessUpAlongTheCurrentUpStillGivesARotation) {
    Camera camera;
    placeStart(camera.get());
    const V3 u0 = upDirection(*camera);
    // Look along the current up, with an up vector along that direction too:
    // neither the given nor the current up has a perpendicular part.
    const V3 position{0, 0, 0};
    const V3 aim = asFloat(u0 * 10.0);
    VeVazaruPath::setCamera(camera.get(), toSb(position), toSb(aim), toSb(u0 * 2.0));

    expectSane(*camera);
    const V3 f = unit(aim - position);
    expectNear(viewDirection(*camera), f, 1e-5, "view direction");
    const V3 up = upDirRead(*camera);
    EXPECT_NEAR(norm(up), 1.0, 1e-5);
    EXPECT_NEAR(dot(up, f), 0.0, 1e-4);
}

struct NonFiniteCase {
    const char* name;
    std::array<float, 9> input;  // position, aim, up
};

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

class VeVazaruPathNonFinite : public ::testing::TestWithParam<NonFiniteCase> {};

TEST_P(VeVazaruPathNonFinite, neverPutsANaNIntoTheCamera) {
    Camera camera;
    placeStart(camera.get());
    const SbVec3f before = camera->position.getValue();
    const auto& a = GetParam().input;
    const SbVec3f position(a[0], a[1], a[2]);

    VeVazaruPath::setCamera(camera.get(), position, SbVec3f(a[3], a[4], a[5]), SbVec3f(a[6], a[7], a[8]));

    expectSane(*camera);
    // The position is one that was valid: the old one, or the given one when finite.
    const SbVec3f after = camera->position.getValue();
    EXPECT_TRUE(after == before || (finite(of(position)) && after == position));
}

INSTANTIATE_TEST_SUITE_P(Inputs, VeVazaruPathNonFinite,
                         ::testing::Values(NonFiniteCase{"positionNaN", {kNaN, 0, 0, 0, 0, -5, 0, 1, 0}},
                                           NonFiniteCase{"aimNaN", {0, 0, 0, 0, kNaN, -5, 0, 1, 0}},
                                           NonFiniteCase{"upNaN", {0, 0, 0, 0, 0, -5, 0, 1, kNaN}},
                                           NonFiniteCase{"allNaN",
                                                         {kNaN, kNaN, kNaN, kNaN, kNaN, kNaN, kNaN, kNaN, kNaN}},
                                           NonFiniteCase{"positionInfinite", {kInf, 0, 0, 0, 0, -5, 0, 1, 0}},
                                           NonFiniteCase{"aimInfinite", {0, 0, 0, 0, 0, -kInf, 0, 1, 0}},
                                           NonFiniteCase{"upInfinite", {0, 0, 0, 0, 0, -5, kInf, 1, 0}},
                                           NonFiniteCase{"aimNaNAtPosition", {1, 2, 3, 1, 2, kNaN, 0, 0, 0}}),
                         [](const auto& param) { return std::string(param.param.name); });

// ---------------------------------------------------------------------------

TEST(VeVazaruPath, setCameraNotifiesObserversOnce) {
    Camera camera;
    placeStart(camera.get());
    int notifications = 0;
    SoNodeSensor sensor([](void* count, SoSensor*) { ++*static_cast<int*>(count); }, &notifications);
    sensor.setPriority(0);  // triggers at once on every change
    sensor.attach(camera.get());

    VeVazaruPath::setCamera(camera.get(), SbVec3f(1, 2, 3), SbVec3f(4, 5, 6), SbVec3f(0, 0, 1));
    EXPECT_EQ(notifications, 1);
    sensor.detach();
}

TEST(VeVazaruPath, fieldsStillNotifyAfterSetCamera) {
    Camera camera;
    int notifications = 0;
    SoNodeSensor sensor([](void* count, SoSensor*) { ++*static_cast<int*>(count); }, &notifications);
    sensor.setPriority(0);
    sensor.attach(camera.get());
    VeVazaruPath::setCamera(camera.get(), SbVec3f(1, 2, 3), SbVec3f(4, 5, 6), SbVec3f(0, 0, 1));
    notifications = 0;
    camera->position.setValue(0, 0, 0);
    camera->orientation.setValue(SbRotation::identity());
    EXPECT_EQ(notifications, 2) << "position and orientation notify again";
    sensor.detach();
}

}  // namespace
