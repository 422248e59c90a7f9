// The keyframe path in flight against a reference evaluated here in double
// precision; re-timing, circles of keyframes, compute().
#include "HxKeyframeCameraPath.h"
#include "PathTestSupport.h"
#include "VeVazaruMetric.h"

#include <hxcore/HxMessage.h>
#include <viewer/HxController.h>
#include <viewer/HxViewer.h>

#include <ReferenceVec.h>

#include <cmath>
#include <iterator>
#include <limits>
#include <tuple>
#include <random>
#include <vector>

namespace {

constexpr double tolerance = 1e-5;

Vec rotated(const SbRotation& rotation, const SbVec3f& axis) {
    SbVec3f image;
    rotation.multVec(axis, image);
    return toVec(image);
}

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

// Position, aim point, up vector (not yet perpendicular) or, in rotation modes 1 and 3, orientation.
struct Expected {
    Vec position, aim, up;
    bool orientationGiven = false;
    SbRotation orientation;
};

Vec blend(bool spline, double u, Vec x0, Vec x1, Vec t0, Vec t1) {
    const double u2 = u * u, u3 = u2 * u;
    if (!spline) return x0 * (1 - u) + x1 * u;
    return x0 * (2 * u3 - 3 * u2 + 1) + x1 * (-2 * u3 + 3 * u2) + t0 * (u3 - 2 * u2 + u) + t1 * (u3 - u2);
}

Expected referenceInterp(const HxKeyframeCameraPath& path, int i, double u) {
    const int n = path.cameras.size();
    const bool loop = path.closed && n > 2;
    const Key ki = readKey(path.cameras[i]);
    if (!loop && i + 1 >= n) return {ki.p, ki.a, ki.v, false, SbRotation()};
    const Key kn = readKey(path.cameras[(i + 1) % n]);
    const bool hasPrev = loop || i > 0, hasNext2 = loop || i + 2 < n;
    const Key kp = hasPrev ? readKey(path.cameras[i == 0 ? n - 1 : i - 1]) : ki;
    const Key kn2 = hasNext2 ? readKey(path.cameras[(i + 2) % n]) : kn;
    auto at = [&](bool spline, Vec Key::*x) {
        const Vec t0 = hasPrev ? ((ki.*x - kp.*x) + (kn.*x - ki.*x)) * 0.5 : kn.*x - ki.*x;
        const Vec t1 = hasNext2 ? ((kn.*x - ki.*x) + (kn2.*x - kn.*x)) * 0.5 : kn.*x - ki.*x;
        return blend(spline, u, ki.*x, kn.*x, t0, t1);
    };
    Expected e{at(path.splinePosition, &Key::p), at(path.splineAimPoint, &Key::a), at(path.splineUpDir, &Key::v), false,
               SbRotation()};
    if (path.keepAimDistance) {
        const double distance = (1 - u) * length(ki.a - ki.p) + u * length(kn.a - kn.p);
        e.position = e.aim + unit(e.position - e.aim) * distance;
    }
    const SbRotation slerp = SbRotation::slerp(ki.q, kn.q, static_cast<float>(u));
    if (path.rotationMode == 2) e.up = rotated(slerp, SbVec3f(0, 1, 0));
    if (path.rotationMode == 1 || path.rotationMode == 3) e.orientationGiven = true, e.orientation = slerp;
    return e;
}

// The segment by the keyframe times, u by the arc-length table: 100 chords from keyframe i.
Expected referenceGetCamera(const HxKeyframeCameraPath& path, double t) {
    const int n = path.times.size();
    if (n == 1) return referenceInterp(path, 0, 0);
    int i = 0;
    double s = 0;
    if (t >= path.times[n - 1]) {
        i = n - 1;
        s = (t - path.times[n - 1]) / (path.times[n - 1] - path.times[n - 2]);
    } else if (!(t < path.times[0] || t < 0)) {
        while (!(path.times[i + 1] > t)) ++i;
        s = (t - path.times[i]) / (path.times[i + 1] - path.times[i]);
    }
    std::vector<double> table(101);
    Vec previous = toVec(path.cameras[i]->position.getValue());
    for (int k = 0; k <= 100; ++k) {
        const Vec current = referenceInterp(path, i, k / 100.0).position;
        table[k] = (k ? table[k - 1] : 0) + length(current - previous);
        previous = current;
    }
    const double target = s * table[100];
    int k = 0;
    while (k <= 100 && !(table[k] >= target)) ++k;
    const double u = k > 100 ? 1 : k > 0 ? ((k - 1) + (target - table[k - 1]) / (table[k] - table[k - 1])) / 100 : 0;
    return referenceInterp(path, i, u);
}

::testing::AssertionResult near(const char* what, Vec actual, Vec expected) {
    if (length(actual - expected) <= tolerance) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << what << " " << actual << " differs from " << expected;
}

::testing::AssertionResult showsExpected(const SoCamera* camera, const Expected& e) {
    const Vec position = toVec(camera->position.getValue());
    const Vec view = e.aim - e.position;
    if (auto r = near("position", position, e.position); !r) return r;
    const double focal = camera->focalDistance.getValue();
    if (std::fabs(focal - length(view)) > tolerance)
        return ::testing::AssertionFailure() << "focal distance " << focal << " instead of " << length(view);
    const SbRotation q = camera->orientation.getValue();
    const Vec y = rotated(q, SbVec3f(0, 1, 0)), z = rotated(q, SbVec3f(0, 0, 1));
    if (e.orientationGiven) {
        if (auto r = near("y axis", y, rotated(e.orientation, SbVec3f(0, 1, 0))); !r) return r;
        return near("z axis", z, rotated(e.orientation, SbVec3f(0, 0, 1)));
    }
    const Vec forward = unit(view);
    if (auto r = near("viewing direction", z * -1.0, forward); !r) return r;
    return near("up direction", y, unit(e.up - forward * dot(e.up, forward)));
}

// Keyframe count, closed, rotation mode, and flags: bits for splineUpDir,
// splineAimPoint, splinePosition, keepAimDistance.
using Settings = std::tuple<int, bool, int, int>;
void apply(const Settings& s, HxKeyframeCameraPath& path) {
    const int flags = std::get<3>(s);
    path.closed = std::get<1>(s);
    path.rotationMode = std::get<2>(s);
    path.splineUpDir = flags & 1;
    path.splineAimPoint = (flags >> 1) & 1;
    path.splinePosition = (flags >> 2) & 1;
    path.keepAimDistance = (flags >> 3) & 1;
}

class InterpAgainstReference : public ::testing::TestWithParam<Settings> {
protected:
    void SetUp() override { apply(GetParam(), *path); }
    McHandle<HxKeyframeCameraPath> path = makePath(std::get<0>(GetParam()));
    McHandle<SoPerspectiveCamera> camera = new SoPerspectiveCamera;
};

// Every segment, including the one after the last keyframe; u is not clamped.
TEST_P(InterpAgainstReference, interpAgreesAtManyParameters) {
    for (int i = 0; i < path->cameras.size(); ++i) {
        for (int k = -2; k <= 42; ++k) {
            const float u = float(k) / 40.0f;
            path->interp(i, u, camera);
            EXPECT_TRUE(showsExpected(camera, referenceInterp(*path, i, u))) << "segment " << i << ", u " << u;
        }
    }
}

// Playback order (each segment's arc table filled once), then random order.
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

INSTANTIATE_TEST_SUITE_P(AllSettings, InterpAgainstReference,
                         ::testing::Combine(::testing::Values(2, 3, 6), ::testing::Bool(), ::testing::Range(0, 4),
                                            ::testing::Range(0, 16)));

// Nothing read from a keyframe outlives a call; the arc table follows them after update().
TEST(KeyframePathFlight, aChangedKeyframeIsSeenByTheNextCall) {
    McHandle<HxKeyframeCameraPath> path = makePath(6);
    path->rotationMode = 2;
    McHandle<SoPerspectiveCamera> camera = new SoPerspectiveCamera;
    path->getCamera(2.5f, *camera);
    path->cameras[2]->position.setValue(1.0f, 2.0f, 3.0f);
    path->setAimPoint(SbVec3f(0.5f, -0.5f, 1.0f), 1, 3);
    path->cameras[1]->orientation.setValue(SbRotation(SbVec3f(0, 1, 0), 0.3f));
    path->interp(1, 0.4f, camera);
    EXPECT_TRUE(showsExpected(camera, referenceInterp(*path, 1, 0.4)));
    path->update();
    path->getCamera(2.5f, *camera);
    EXPECT_TRUE(showsExpected(camera, referenceGetCamera(*path, 2.5)));
}

// Movement along x and a turn: a parametrisation unlike the translation metric's.
struct AlongXAndTurning : VeVazaruMetric {
    float dist(const SoCamera* a, const SoCamera* b) const override {
        return std::fabs(a->position.getValue()[0] - b->position.getValue()[0]) +
               std::fabs(a->orientation.getValue().getValue()[0] - b->orientation.getValue().getValue()[0]);
    }
};

// Kept arc tables answer as one table refilled at every change of segment (by
// update() here) while keyframes, settings and the metric change without
// update(), each change coming between two calls on one segment.
TEST(KeyframePathFlight, keptTablesAnswerAsATableRefilledAtEachChangeOfSegment) {
    void (*const changes[])(HxKeyframeCameraPath&) = {
        [](HxKeyframeCameraPath& p) { p.cameras[3]->position.setValue(1, 2, 3); },
        [](HxKeyframeCameraPath& p) { p.setMetric(new AlongXAndTurning); },
        [](HxKeyframeCameraPath& p) { p.setAimPoint(SbVec3f(0.5f, -0.5f, 1), 0, 1); },
        [](HxKeyframeCameraPath& p) { p.closed = !p.closed; },
        [](HxKeyframeCameraPath& p) { p.splineAimPoint = !p.splineAimPoint; },
        [](HxKeyframeCameraPath& p) { p.rotationMode = 1 - p.rotationMode; },
        [](HxKeyframeCameraPath& p) { p.addKeyframe(p.times[5], lookAt(SbVec3f(2, 1, 5), SbVec3f(0, 0, 0))); },
    };
    McHandle<HxKeyframeCameraPath> kept = makePath(6), single = makePath(6);
    McHandle<SoPerspectiveCamera> a = new SoPerspectiveCamera, b = new SoPerspectiveCamera;
    std::mt19937 rng(5);
    for (int step = 0, segment = 0; step < 300; ++step) {
        const bool change = step % 25 == 24;
        if (change)
            for (HxKeyframeCameraPath* p : {kept.ptr(), single.ptr()}) changes[step / 25 % std::size(changes)](*p);
        const int i = change ? segment : int(rng() % 5);
        if (i != segment) single->update(), segment = i;
        const float t = kept->times[i] + (kept->times[i + 1] - kept->times[i]) * float(rng() % 100) / 100;
        kept->getCamera(t, *a), single->getCamera(t, *b);
        ASSERT_TRUE(a->position.getValue() == b->position.getValue() &&
                    a->orientation.getValue() == b->orientation.getValue())
            << "step " << step;
    }
}

// Before the first keyframe, negative times and NaN give the first keyframe; unsorted
// times stand: t's segment starts before the first keyframe whose time exceeds t.
TEST(KeyframePathFlight, negativeNaNAndUnsortedTimes) {
    McHandle<HxKeyframeCameraPath> wavy = makePath(4);
    for (int k = 0; k < 4; ++k) wavy->times[k] -= 3;  // -3, -1.5, -1, 1
    wavy->update();
    for (float t : {-7.0f, -1.2f, std::numeric_limits<float>::quiet_NaN()})
        EXPECT_TRUE(sameView(McHandle<SoCamera>(wavy->getCamera(t)), wavy->cameras[0])) << t;
    wavy->times[0] = 0, wavy->times[1] = 10, wavy->times[2] = 5, wavy->times[3] = 20;
    wavy->update();
    McHandle<SoCamera> expected = new SoPerspectiveCamera;
    wavy->interp(0, wavy->getRealTime(0, 0.7f), expected);
    EXPECT_TRUE(sameView(McHandle<SoCamera>(wavy->getCamera(7.0f)), expected, 1e-5f));
}

TEST(KeyframePathFlight, computeMovesOnlyViewersInTheMaskAndOnlyWhenTheTimeChanged) {
    HxViewer* main = theController->viewer(0, 1);
    HxViewer* other = theController->viewer(1, 1);
    McHandle<HxKeyframeCameraPath> path = makePath(3);
    path->update();
    VeVazaruPath::setCamera(other->getCamera(), SbVec3f(7, 7, 7), SbVec3f(0, 0, 0), SbVec3f(0, 1, 0));
    path->setViewerMask(1);
    path->portTime.setValue(1.5f);
    path->compute();
    EXPECT_TRUE(sameView(main->getCamera(), path->cameras[1]));
    EXPECT_EQ(other->getCamera()->position.getValue(), SbVec3f(7, 7, 7));
    EXPECT_EQ(path->getTouchFlags() & 2u, 2u);
    path->portTime.setValue(0);
    path->portTime.untouch();
    path->compute();
    EXPECT_TRUE(sameView(main->getCamera(), path->cameras[1]));
    theController->reset();
}

// Re-timing measures each segment with 10 chords of the interpolation.
TEST(KeyframePathReTiming, segmentDurationsFollowTheirInterpolatedLengths) {
    for (int flags : {0, 5, 15}) {
        McHandle<HxKeyframeCameraPath> path = makePath(6);
        apply({6, false, 2, flags}, *path);
        std::vector<double> lengths(1, 0.0);
        for (int i = 0; i + 1 < path->cameras.size(); ++i) {
            double sum = 0;
            for (int k = 1; k <= 10; ++k)
                sum += length(referenceInterp(*path, i, k / 10.0).position -
                              referenceInterp(*path, i, (k - 1) / 10.0).position);
            lengths.push_back(lengths.back() + sum);
        }
        const double last = path->times[5];
        path->fire();
        path->makeConstVelocity();
        for (int i = 1; i < 6; ++i)
            EXPECT_NEAR(path->times[i], last * lengths[i] / lengths.back(), tolerance) << "flags " << flags;
        EXPECT_EQ(path->times[5], float(last)) << "the last time is kept exactly";
        EXPECT_NE(path->getTouchFlags(), 0u);
    }
    // Too few keyframes, or none of any length: the times stay.
    for (int count : {2, 3}) {
        HxKeyframeCameraPath path;
        for (int k = 0; k < count; ++k) path.addKeyframe(k * k * 3.0f, lookAt(SbVec3f(1, 1, 1), SbVec3f(0, 0, 0)));
        path.cameras[count - 1]->position.setValue(count == 2 ? 4.0f : 1.0f, 1, 1);
        path.makeConstVelocity();
        EXPECT_EQ(path.times[1], 3.0f);
        EXPECT_EQ(theMsg->text(), count == 2 ? "Please add at least three keyframes.\n"
                                             : "The path has no length under its metric; times unchanged.\n");
        theMsg->clear();
    }
}

// Turned about the coordinate axis nearest the up direction; a full turn closes the path.
TEST(KeyframePathCircle, turnsAboutTheAxisNearestTheUpDirectionAndClosesOnFullTurns) {
    const SbVec3f y(0, 1, 0), ahead(0, 0, -1);
    const struct {
        SbVec3f up, viewing, axis;  // viewing is perpendicular to up and to the axis
        float angle;
        bool closed;
    } cases[] = {
        {SbVec3f(0, 0.7071068f, 0.7071068f), SbVec3f(1, 0, 0), SbVec3f(0, 0, 1), 90, false},
        {SbVec3f(0, -1, 0), ahead, SbVec3f(0, -1, 0), 90, false},
        {SbVec3f(0.9746794f, 0.2f, 0.1f), SbVec3f(0, -0.4472136f, 0.8944272f), SbVec3f(1, 0, 0), 45, false},
        {y, ahead, y, 360, true},
    };
    const SbVec3f aim(1, -2, 3);
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << "case " << (&c - cases) << ", angle " << c.angle);
        McHandle<SoCamera> start = lookAt(aim - c.viewing * 8.0f, aim, c.up);
        McHandle<HxKeyframeCameraPath> path = makePath(5);
        path->splineAimPoint = path->splineUpDir = 1, path->splinePosition = 0;
        ASSERT_TRUE(path->createCircularPath(start, c.angle, 100, 16));
        EXPECT_EQ(path->isClosed(), c.closed);
        EXPECT_EQ(std::vector<int>({path->splineAimPoint, path->splineUpDir, path->splinePosition}),
                  std::vector<int>({0, 0, 1}));
        ASSERT_EQ(path->cameras.size(), c.closed ? 17 : 16);
        for (int k = 0; k < path->cameras.size(); ++k) {
            SCOPED_TRACE(::testing::Message() << "keyframe " << k);
            SbVec3f offset;
            SbRotation(c.axis, float(c.angle * k / 16 * 3.14159265358979323846 / 180))
                .multVec(start->position.getValue() - aim, offset);
            EXPECT_TRUE(near(path->cameras[k]->position.getValue(), aim + offset, 1e-4f));
            EXPECT_TRUE(near(aimOf(path->cameras[k]), aim, 1e-4f));
            EXPECT_TRUE(near(upOf(path->cameras[k]), c.axis, 1e-4f));
            EXPECT_NEAR(path->times[k], 100.0f * float(k) / 16, 1e-5f);
        }
    }
    // Closed within 0.02 degrees of a whole number of turns.
    for (const auto& [angle, closed] : {std::pair<float, bool>{720.005f, true},
                                        {-359.995f, true},
                                        {359.9f, false},
                                        {0.011f, false},
                                        {-0.009f, true}}) {
        HxKeyframeCameraPath path;
        path.createCircularPath(lookAt(SbVec3f(0, 0, 10), SbVec3f(0, 0, 0)), angle, 10, 0);
        EXPECT_EQ(path.isClosed(), closed) << "angle " << angle;
        EXPECT_EQ(path.cameras.size(), closed ? 2 : 1) << "fewer than one step counts as one";
    }
}

}  // namespace
