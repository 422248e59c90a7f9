// The keyframe interpolation against a reference evaluated here in double
// precision straight from the formulas (tangents, Hermite or linear blends, the
// aim-distance correction, the look-at frame, slerp, the arc-length table of the
// translation metric), for every rotation mode, spline flag and keepAimDistance
// setting, on open and closed paths of 2, 3 and 6 keyframes.
#include "HxKeyframeCameraPath.h"

#include <mc/McHandle.h>

#include <Inventor/nodes/SoPerspectiveCamera.h>
#include <ReferenceVec.h>
#include <gtest/gtest.h>

#include <cmath>
#include <ostream>
#include <random>
#include <string>
#include <vector>

namespace {

// The test paths stay within a few units of the origin, where float rounding is
// far below this.
constexpr double tolerance = 1e-5;

Vec rotated(const SbRotation& rotation, const SbVec3f& axis) {
    SbVec3f image;
    rotation.multVec(axis, image);
    return toVec(image);
}

// Keyframe quantities: position, orientation, aim point, up direction.
struct Key {
    Vec p, a, v;
    SbRotation q;
};

Key readKey(const SoCamera* camera) {
    Key k;
    k.p = toVec(camera->position.getValue());
    k.q = camera->orientation.getValue();
    k.a = k.p + rotated(k.q, SbVec3f(0, 0, -1)) * camera->focalDistance.getValue();
    k.v = rotated(k.q, SbVec3f(0, 1, 0));
    return k;
}

// What a camera must show: its position, the point it looks at and its up vector
// (blended, not yet perpendicular), or a prescribed orientation.
struct Expected {
    Vec position, aim, up;
    bool orientationGiven = false;  // rotation modes 1 and 3: the slerp itself
    SbRotation orientation;
};

Vec hermite(double u, Vec x0, Vec x1, Vec t0, Vec t1) {
    const double u2 = u * u, u3 = u2 * u;
    return x0 * (2 * u3 - 3 * u2 + 1) + x1 * (-2 * u3 + 3 * u2) + t0 * (u3 - 2 * u2 + u) + t1 * (u3 - u2);
}

Vec blend(bool spline, double u, Vec x0, Vec x1, Vec t0, Vec t1) {
    return spline ? hermite(u, x0, x1, t0, t1) : x0 * (1 - u) + x1 * u;
}

// The camera of segment i at u, from the formulas.
Expected referenceInterp(const HxKeyframeCameraPath& path, int i, double u) {
    const int n = path.cameras.size();
    const bool loop = path.closed && n > 2;
    const Key ki = readKey(path.cameras[i]);
    Expected e;
    if (!loop && i + 1 >= n) return {ki.p, ki.a, ki.v, false, SbRotation()};

    const Key kn = readKey(path.cameras[(i + 1) % n]);
    const bool hasPrev = loop || i > 0, hasNext2 = loop || i + 2 < n;
    const Key kp = hasPrev ? readKey(path.cameras[i == 0 ? n - 1 : i - 1]) : ki;
    const Key kn2 = hasNext2 ? readKey(path.cameras[(i + 2) % n]) : kn;
    auto tangentAtI = [&](Vec Key::*x) { return hasPrev ? ((ki.*x - kp.*x) + (kn.*x - ki.*x)) * 0.5 : kn.*x - ki.*x; };
    auto tangentAtNext = [&](Vec Key::*x) {
        return hasNext2 ? ((kn.*x - ki.*x) + (kn2.*x - kn.*x)) * 0.5 : kn.*x - ki.*x;
    };

    e.up = blend(path.splineUpDir, u, ki.v, kn.v, tangentAtI(&Key::v), tangentAtNext(&Key::v));
    e.aim = blend(path.splineAimPoint, u, ki.a, kn.a, tangentAtI(&Key::a), tangentAtNext(&Key::a));
    e.position = blend(path.splinePosition, u, ki.p, kn.p, tangentAtI(&Key::p), tangentAtNext(&Key::p));
    if (path.keepAimDistance) {
        const double distance = (1 - u) * length(ki.a - ki.p) + u * length(kn.a - kn.p);
        e.position = e.aim + unit(e.position - e.aim) * distance;
    }
    if (path.rotationMode != 0) {
        const SbRotation slerp = SbRotation::slerp(ki.q, kn.q, static_cast<float>(u));
        if (path.rotationMode == 2) {
            e.up = rotated(slerp, SbVec3f(0, 1, 0));
        } else {
            e.orientationGiven = true;
            e.orientation = slerp;
        }
    }
    return e;
}

// The camera at time t: segment by the keyframe times, local parameter by the
// arc-length table of the translation metric, 100 chords from keyframe i.
Expected referenceGetCamera(const HxKeyframeCameraPath& path, double t) {
    const int n = path.times.size();
    if (n == 1) return referenceInterp(path, 0, 0);
    int i = 0;
    double s = 0;
    if (t >= path.times[n - 1]) {
        i = n - 1;
        s = (t - path.times[n - 1]) / (path.times[n - 1] - path.times[n - 2]);
    } else if (!(t < path.times[0] || t < 0)) {
        int k = 1;
        while (!(path.times[k] > t)) ++k;
        i = k - 1;
        s = (t - path.times[i]) / (path.times[i + 1] - path.times[i]);
    }

    std::vector<double> table(101);
    Vec previous = toVec(path.cameras[i]->position.getValue());
    double sum = 0;
    for (int k = 0; k <= 100; ++k) {
        const Vec current = referenceInterp(path, i, k / 100.0).position;
        sum += length(current - previous);
        previous = current;
        table[k] = sum;
    }
    const double target = s * table[100];
    int k = 0;
    while (k <= 100 && !(table[k] >= target)) ++k;
    double u = 0;
    if (k > 100)
        u = 1;
    else if (k > 0)
        u = ((k - 1) + (target - table[k - 1]) / (table[k] - table[k - 1])) / 100;
    return referenceInterp(path, i, u);
}

::testing::AssertionResult near(const char* what, Vec actual, Vec expected) {
    const double d = length(actual - expected);
    if (d <= tolerance) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << what << " (" << actual.x << ", " << actual.y << ", " << actual.z
                                         << ") differs from (" << expected.x << ", " << expected.y << ", " << expected.z
                                         << ") by " << d;
}

::testing::AssertionResult showsExpected(const SoCamera* camera, const Expected& e) {
    const Vec position = toVec(camera->position.getValue());
    const Vec view = e.aim - e.position;
    if (auto r = near("position", position, e.position); !r) return r;
    const double focal = camera->focalDistance.getValue();
    if (std::fabs(focal - length(view)) > tolerance)
        return ::testing::AssertionFailure() << "focal distance " << focal << " instead of " << length(view);

    const Vec x = rotated(camera->orientation.getValue(), SbVec3f(1, 0, 0));
    const Vec y = rotated(camera->orientation.getValue(), SbVec3f(0, 1, 0));
    const Vec z = rotated(camera->orientation.getValue(), SbVec3f(0, 0, 1));
    if (e.orientationGiven) {
        if (auto r = near("x axis", x, rotated(e.orientation, SbVec3f(1, 0, 0))); !r) return r;
        if (auto r = near("y axis", y, rotated(e.orientation, SbVec3f(0, 1, 0))); !r) return r;
        return near("z axis", z, rotated(e.orientation, SbVec3f(0, 0, 1)));
    }
    const Vec forward = unit(view);
    if (auto r = near("viewing direction", z * -1.0, forward); !r) return r;
    if (auto r = near("up direction", y, unit(e.up - forward * dot(e.up, forward))); !r) return r;
    return near("aim point", position + z * -focal, e.aim);
}

// Keyframes around the origin, each looking at its own aim point with its own
// tilt, at uneven times.
McHandle<HxKeyframeCameraPath> makePath(int count) {
    const float times[] = {0.0f, 1.5f, 2.0f, 4.0f, 4.5f, 7.0f};
    McHandle<HxKeyframeCameraPath> path = new HxKeyframeCameraPath;
    McHandle<SoPerspectiveCamera> camera = new SoPerspectiveCamera;
    for (int k = 0; k < count; ++k) {
        const float angle = 1.1f * static_cast<float>(k);
        const SbVec3f position(4 * std::cos(angle), 0.7f * static_cast<float>(k % 3) - 0.5f, 3 * std::sin(angle));
        const SbVec3f aim(0.3f * static_cast<float>(k) - 0.8f, 0.2f * static_cast<float>(k % 2), -0.4f);
        const SbVec3f up(0.15f * static_cast<float>(k % 3) - 0.1f, 1.0f, 0.1f * static_cast<float>(k));
        VeVazaruPath::setCamera(camera, position, aim, up);
        path->addKeyframe(times[k], camera);
    }
    return path;
}

struct Settings {
    int count;  // keyframes
    bool closed;
    int rotationMode;
    int flags;  // bits: splineUpDir, splineAimPoint, splinePosition, keepAimDistance
};
void PrintTo(const Settings& s, std::ostream* out) {
    *out << s.count << (s.closed ? " closed" : " open") << " rotation " << s.rotationMode << " flags " << s.flags;
}

void apply(const Settings& s, HxKeyframeCameraPath& path) {
    path.closed = s.closed;
    path.rotationMode = s.rotationMode;
    path.splineUpDir = s.flags & 1;
    path.splineAimPoint = (s.flags >> 1) & 1;
    path.splinePosition = (s.flags >> 2) & 1;
    path.keepAimDistance = (s.flags >> 3) & 1;
}

std::vector<Settings> allSettings() {
    std::vector<Settings> all;
    for (int count : {2, 3, 6})
        for (bool closed : {false, true})
            for (int mode = 0; mode < 4; ++mode)
                for (int flags = 0; flags < 16; ++flags) all.push_back({count, closed, mode, flags});
    return all;
}

class InterpAgainstReference : public ::testing::TestWithParam<Settings> {
protected:
    void SetUp() override {
        path = makePath(GetParam().count);
        apply(GetParam(), *path);
        camera = new SoPerspectiveCamera;
    }
    McHandle<HxKeyframeCameraPath> path;
    McHandle<SoPerspectiveCamera> camera;
};

// Every segment, including the one after the last keyframe, at u across the
// segment and a little beyond it (u is not clamped).
TEST_P(InterpAgainstReference, interpAgreesAtManyParameters) {
    for (int i = 0; i < path->cameras.size(); ++i) {
        for (int k = -2; k <= 42; ++k) {
            const float u = static_cast<float>(k) / 40.0f;
            path->interp(i, u, camera);
            EXPECT_TRUE(showsExpected(camera, referenceInterp(*path, i, u))) << "segment " << i << ", u " << u;
        }
    }
}

// Playback order (the table of each segment filled once), then random order
// (refilled at nearly every call), from before the first keyframe to past the
// closing segment.
TEST_P(InterpAgainstReference, getCameraAgreesInPlaybackAndRandomOrder) {
    const int n = path->times.size();
    const float first = path->times[0], last = path->times[n - 1];
    const float end = last + (last - path->times[n - 2]) + 0.5f;
    std::vector<float> times;
    for (float t = first - 0.5f; t <= end; t += 0.1f) times.push_back(t);
    std::mt19937 rng(99);
    std::uniform_real_distribution<float> anyTime(first - 0.5f, end);
    for (int k = 0; k < 50; ++k) times.push_back(anyTime(rng));
    for (float t : times) {
        path->getCamera(t, *camera);
        EXPECT_TRUE(showsExpected(camera, referenceGetCamera(*path, t))) << "t " << t;
    }
}

INSTANTIATE_TEST_SUITE_P(AllSettings, InterpAgainstReference, ::testing::ValuesIn(allSettings()));

// Nothing read from a keyframe camera outlives a call: the next call sees a
// keyframe moved, re-aimed or turned from outside.
TEST(InterpKeyframeChanges, aChangedKeyframeIsSeenByTheNextCall) {
    McHandle<HxKeyframeCameraPath> path = makePath(6);
    path->rotationMode = 2;
    McHandle<SoPerspectiveCamera> camera = new SoPerspectiveCamera;
    path->interp(1, 0.4f, camera);
    path->getCamera(2.5f, *camera);

    path->cameras[2]->position.setValue(1.0f, 2.0f, 3.0f);
    path->interp(1, 0.4f, camera);
    EXPECT_TRUE(showsExpected(camera, referenceInterp(*path, 1, 0.4)));

    path->setAimPoint(SbVec3f(0.5f, -0.5f, 1.0f), 1, 3);
    path->interp(1, 0.4f, camera);
    EXPECT_TRUE(showsExpected(camera, referenceInterp(*path, 1, 0.4)));

    path->cameras[1]->orientation.setValue(SbRotation(SbVec3f(0, 1, 0), 0.3f));
    path->cameras[0]->focalDistance.setValue(7.0f);
    path->interp(1, 0.4f, camera);
    EXPECT_TRUE(showsExpected(camera, referenceInterp(*path, 1, 0.4)));

    path->update();  // the arc-length table follows the keyframes from here on
    path->getCamera(2.5f, *camera);
    EXPECT_TRUE(showsExpected(camera, referenceGetCamera(*path, 2.5)));
}

// Re-timing measures each segment with 10 chords of the same interpolation.
TEST(InterpReTiming, makeConstVelocityMeasuresTheInterpolatedSegments) {
    for (int flags : {0, 5, 15}) {
        McHandle<HxKeyframeCameraPath> path = makePath(6);
        apply({6, false, 2, flags}, *path);
        std::vector<double> lengths(1, 0.0);
        for (int i = 0; i + 1 < path->cameras.size(); ++i) {
            double length = 0;
            for (int k = 1; k <= 10; ++k)
                length += ::length(referenceInterp(*path, i, k / 10.0).position -
                                   referenceInterp(*path, i, (k - 1) / 10.0).position);
            lengths.push_back(lengths.back() + length);
        }
        const double last = path->times[5];
        path->makeConstVelocity();
        for (int i = 1; i < 6; ++i)
            EXPECT_NEAR(path->times[i], last * lengths[i] / lengths.back(), tolerance) << "flags " << flags;
    }
}

}  // namespace
