// The keyframe path in flight: cameras at times, the arc-length table, circular
// generation, constant-velocity re-timing and the time port's compute.
#include "HxKeyframeCameraPath.h"

#include <hxcore/HxMessage.h>
#include <viewer/HxController.h>
#include <viewer/HxViewer.h>

#include <Inventor/nodes/SoPerspectiveCamera.h>
#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <utility>
#include <vector>

namespace {

McHandle<SoCamera> makeCamera(const SbVec3f& position, const SbVec3f& aim, const SbVec3f& up = SbVec3f(0, 1, 0)) {
    McHandle<SoCamera> camera = new SoPerspectiveCamera;
    VeVazaruPath::setCamera(camera, position, aim, up);
    return camera;
}

struct CameraState {
    SbVec3f position, aim, up;
};

CameraState stateOf(const SoCamera* camera) {
    CameraState s;
    s.position = camera->position.getValue();
    VeVazaruPath::AIMPOINT(camera, s.aim);
    VeVazaruPath::UPDIR(camera, s.up);
    return s;
}

CameraState cameraAt(HxKeyframeCameraPath& path, float t) {
    McHandle<SoCamera> camera = new SoPerspectiveCamera;
    path.getCamera(t, *camera);
    return stateOf(camera);
}

void expectNear(const SbVec3f& actual, const SbVec3f& expected, float tolerance, const char* what) {
    EXPECT_LE((actual - expected).length(), tolerance) << what;
}

void expectSameCamera(const CameraState& actual, const CameraState& expected, float tolerance = 1e-4f) {
    expectNear(actual.position, expected.position, tolerance, "position");
    expectNear(actual.aim, expected.aim, tolerance, "aim point");
    expectNear(actual.up, expected.up, tolerance, "up direction");
}

// A path of keyframes on a wavy line, each looking at a point ahead of it.
void fillWavyPath(HxKeyframeCameraPath& path, int n, float firstTime = 0, float step = 5) {
    for (int k = 0; k < n; ++k) {
        const float x = 4.0f * k;
        SbVec3f position(x, 2.0f * std::sin(0.9f * k), 10 + std::cos(1.3f * k));
        SbVec3f aim(x + 3, 0.5f * k, 0);
        SbVec3f up(0.2f * std::sin(float(k)), 1, 0.1f * k);
        path.addKeyframe(firstTime + step * k, makeCamera(position, aim, up));
    }
}

bool isFinite(const SbVec3f& v) { return std::isfinite(v[0]) && std::isfinite(v[1]) && std::isfinite(v[2]); }

// Rotates v about the unit axis by `degrees` (Rodrigues' formula, double precision).
SbVec3f rotated(const SbVec3f& v, const SbVec3f& axis, double degrees) {
    const double a = degrees / 180.0 * 3.14159265358979323846, c = std::cos(a), s = std::sin(a);
    const double kx = axis[0], ky = axis[1], kz = axis[2];
    const double dot = kx * v[0] + ky * v[1] + kz * v[2];
    const double cx = ky * v[2] - kz * v[1], cy = kz * v[0] - kx * v[2], cz = kx * v[1] - ky * v[0];
    return SbVec3f(float(v[0] * c + cx * s + kx * dot * (1 - c)), float(v[1] * c + cy * s + ky * dot * (1 - c)),
                   float(v[2] * c + cz * s + kz * dot * (1 - c)));
}

}  // namespace

TEST(KeyframePathFlight, emptyAndSingleKeyframePaths) {
    HxKeyframeCameraPath path;
    McHandle<SoCamera> camera = makeCamera(SbVec3f(1, 2, 3), SbVec3f(4, 5, 6));
    const CameraState before = stateOf(camera);
    path.getCamera(3.0f, *camera);
    expectSameCamera(stateOf(camera), before, 0);

    McHandle<SoCamera> key = makeCamera(SbVec3f(1, 2, 3), SbVec3f(0, 0, 0), SbVec3f(0, 0, 1));
    path.addKeyframe(7.0f, key);
    for (float t : {-100.0f, 0.0f, 7.0f, 1000.0f}) expectSameCamera(cameraAt(path, t), stateOf(key));
}

TEST(KeyframePathFlight, keyframeTimesGiveTheirKeyframesAndNegativeTimesTheFirst) {
    for (int closed : {0, 1}) {
        for (int mode : {0, 1, 2}) {
            HxKeyframeCameraPath path;
            fillWavyPath(path, 6);
            path.closed = closed;
            path.rotationMode = mode;
            for (int k = 0; k < 6; ++k) {
                SCOPED_TRACE(::testing::Message() << "closed " << closed << " mode " << mode << " keyframe " << k);
                expectSameCamera(cameraAt(path, path.times[k]), stateOf(path.cameras[k]));
            }
        }
    }
    // Like times before the first keyframe (see the interpolation test),
    // negative times give it, even between keyframes; so does a NaN time
    // (a time port whose range is not finite computes one).
    HxKeyframeCameraPath path;
    fillWavyPath(path, 4, -10.0f);  // keyframes at -10, -5, 0, 5
    for (float t : {-7.0f, -1.0f, std::numeric_limits<float>::quiet_NaN()})
        expectSameCamera(cameraAt(path, t), stateOf(path.cameras[0]));
    expectSameCamera(cameraAt(path, 0.0f), stateOf(path.cameras[2]));
}

TEST(KeyframePathFlight, unsortedTimesUseTheFirstLaterKeyframe) {
    // Times read from a file are taken as they stand; t's segment still starts
    // before the first keyframe whose time exceeds t.
    HxKeyframeCameraPath path;
    fillWavyPath(path, 4);
    path.times[1] = 10;
    path.times[2] = 5;
    path.times[3] = 20;
    path.update();
    McHandle<SoCamera> expected = new SoPerspectiveCamera;
    path.interp(0, path.getRealTime(0, 0.7f), expected);
    expectSameCamera(cameraAt(path, 7.0f), stateOf(expected), 1e-5f);
    path.times[1] = 5;  // in order again, 7 lies in segment 1
    path.times[2] = 10;
    path.update();
    path.interp(1, path.getRealTime(1, 0.4f), expected);
    expectSameCamera(cameraAt(path, 7.0f), stateOf(expected), 1e-5f);
}

TEST(KeyframePathFlight, closedPathOfTwoIsOpenAndRotationModeThreeIsOne) {
    HxKeyframeCameraPath open, closed, one, three;
    fillWavyPath(open, 2);
    fillWavyPath(closed, 2);
    closed.closed = 1;
    for (float t : {0.0f, 2.5f, 4.9f, 5.0f, 7.0f}) expectSameCamera(cameraAt(closed, t), cameraAt(open, t), 0);
    fillWavyPath(one, 4);
    fillWavyPath(three, 4);
    one.rotationMode = 1;
    three.rotationMode = 3;
    for (float t : {1.0f, 6.0f, 12.5f}) expectSameCamera(cameraAt(three, t), cameraAt(one, t), 0);
}

TEST(KeyframePathFlight, aimPointMeetingThePositionNeverGivesNaN) {
    HxKeyframeCameraPath path;
    path.splinePosition = 0;
    // Halfway, the blended position and the blended aim point coincide.
    path.addKeyframe(0, makeCamera(SbVec3f(0, 0, 0), SbVec3f(1, 0, 0)));
    path.addKeyframe(1, makeCamera(SbVec3f(1, 0, 0), SbVec3f(0, 0, 0)));
    McHandle<SoCamera> camera = new SoPerspectiveCamera;
    path.interp(0, 0.5f, camera);
    const float* q = camera->orientation.getValue().getValue();
    EXPECT_TRUE(isFinite(camera->position.getValue()) && std::isfinite(camera->focalDistance.getValue()));
    EXPECT_TRUE(isFinite(SbVec3f(q[0], q[1], q[2])) && std::isfinite(q[3])) << "orientation";
}

TEST(KeyframePathFlight, identicalKeyframesHaveNoLength) {
    HxKeyframeCameraPath path;
    McHandle<SoCamera> key = makeCamera(SbVec3f(1, 2, 3), SbVec3f(0, 0, 0));
    path.addKeyframe(0, key);
    path.addKeyframe(5, key);
    for (float u : {0.0f, 0.25f, 0.5f, 1.0f}) EXPECT_EQ(path.getRealTime(0, u), 0.0f);
    ASSERT_EQ(path.arcTable.size(), 101);
    for (float length : path.arcTable) EXPECT_EQ(length, 0.0f);
    EXPECT_EQ(path.arcTableSegment, 0);
}

TEST(KeyframePathFlight, computeMovesOnlyViewersInTheMaskAndOnlyWhenTheTimeChanged) {
    HxViewer* main = theController->viewer(0, 1);
    HxViewer* other = theController->viewer(1, 1);
    HxKeyframeCameraPath path;
    fillWavyPath(path, 3);
    path.update();
    VeVazaruPath::setCamera(other->getCamera(), SbVec3f(7, 7, 7), SbVec3f(0, 0, 0), SbVec3f(0, 1, 0));
    path.setViewerMask(1);
    path.portTime.setValue(5.0f);
    path.compute();
    expectSameCamera(stateOf(main->getCamera()), stateOf(path.cameras[1]));
    expectNear(other->getCamera()->position.getValue(), SbVec3f(7, 7, 7), 0, "unmasked viewer");
    EXPECT_EQ(path.getTouchFlags() & 2u, 2u);
    EXPECT_FALSE(main->isAutoAnimatingCamera());
    EXPECT_TRUE(other->isAutoAnimatingCamera());

    path.portTime.setValue(10);
    path.portTime.untouch();
    path.compute();
    expectSameCamera(stateOf(main->getCamera()), stateOf(path.cameras[1]));

    path.portTime.setMinMax(4, 4);  // an empty range shows time 0
    path.portTime.setValue(4);
    path.compute();
    expectSameCamera(stateOf(main->getCamera()), stateOf(path.cameras[0]));
    theController->reset();
}

// Keyframes turned about the coordinate axis nearest the start camera's up
// direction through its aim point; a full turn (or none) closes the path and
// adds the end keyframe. Keyframes there before are dropped.
TEST(CircularPath, turnsAboutTheAxisNearestTheUpDirectionAndClosesOnFullTurns) {
    const SbVec3f y(0, 1, 0), ahead(0, 0, -1);
    const struct {
        SbVec3f up, viewing, axis;  // viewing is perpendicular to up and to the axis
        float angle;
        bool closed;
        int count;
        const char* info;
    } cases[] = {
        {SbVec3f(0, 0.7071068f, 0.7071068f), SbVec3f(1, 0, 0), SbVec3f(0, 0, 1), 90, false, 16, nullptr},
        {SbVec3f(0.7071068f, 0.7071068f, 0), ahead, y, 90, false, 16, nullptr},
        {SbVec3f(0, -1, 0), ahead, SbVec3f(0, -1, 0), 90, false, 16, nullptr},
        {SbVec3f(0.1f, 0.2f, -0.9746794f), SbVec3f(0.8944272f, -0.4472136f, 0), SbVec3f(0, 0, -1), 90, false, 16,
         nullptr},
        {y, ahead, y, 360, true, 17, "Camera Path: 17 keyframes (closed), total time 100.0"},
        {y, ahead, y, 180, false, 16, "Camera Path: 16 keyframes (not closed), total time 93.8"},
        {y, ahead, y, 0, true, 17, nullptr},
        {y, ahead, y, -90, false, 16, nullptr},
    };
    const SbVec3f aim(1, -2, 3);
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << "case " << (&c - cases) << ", angle " << c.angle);
        McHandle<SoCamera> start = makeCamera(aim - c.viewing * 8.0f, aim, c.up);
        HxKeyframeCameraPath path;
        fillWavyPath(path, 7);
        path.createCircularPath(start, c.angle, 100, 16);
        EXPECT_EQ(path.isClosed(), c.closed);
        ASSERT_EQ(path.cameras.size(), c.count);
        const SbVec3f offset = start->position.getValue() - aim;
        for (int k = 0; k < c.count; ++k) {
            SCOPED_TRACE(::testing::Message() << "keyframe " << k);
            const CameraState s = stateOf(path.cameras[k]);
            expectNear(s.position, aim + rotated(offset, c.axis, c.angle * k / 16), 1e-4f, "position");
            expectNear(s.aim, aim, 1e-4f, "aim point");
            expectNear(s.up, c.axis, 1e-4f, "up direction");
            EXPECT_NEAR(path.times[k], 100.0f * k / 16, 1e-5f);
        }
        if (c.info) {
            path.updateInfo(false);
            EXPECT_EQ(path.getInfoText(), c.info);
        }
    }
    const McHandle<SoCamera> start = makeCamera(SbVec3f(0, 0, 10), SbVec3f(0, 0, 0));
    for (const auto& near : {std::pair<float, bool>{720.005f, true},
                             {-359.995f, true},
                             {359.9f, false},
                             {0.011f, false},
                             {-0.009f, true}}) {
        HxKeyframeCameraPath path;
        path.createCircularPath(start, near.first, 10, 4);
        EXPECT_EQ(path.isClosed(), near.second) << "angle " << near.first;
    }
}

TEST(CircularPath, resetsSplineFlagsAndTheTimeRange) {
    HxKeyframeCameraPath path;
    path.splineAimPoint = 1;
    path.splineUpDir = 1;
    path.splinePosition = 0;
    path.rotationMode = 2;
    path.createCircularPath(makeCamera(SbVec3f(0, 0, 10), SbVec3f(0, 0, 0)), 180, 50, 4);
    EXPECT_EQ(path.splineAimPoint, 0);
    EXPECT_EQ(path.splineUpDir, 0);
    EXPECT_EQ(path.splinePosition, 1);
    EXPECT_EQ(path.rotationMode, 2);
    EXPECT_EQ(path.portTime.getMaxValue(), 37.5f);
    for (int steps : {0, -3}) {
        path.createCircularPath(makeCamera(SbVec3f(0, 0, 10), SbVec3f(0, 0, 0)), 360, 100, steps);
        ASSERT_EQ(path.cameras.size(), 2) << "fewer than one step counts as one: " << steps;
        EXPECT_EQ(path.times[1], 100.0f);
        for (int k = 0; k < 2; ++k) EXPECT_TRUE(isFinite(path.cameras[k]->position.getValue()));
    }
}

// Straight segments with linear position blending and no distance correction:
// each segment's metric length is the distance between its keyframes.
TEST(ConstVelocity, segmentDurationsFollowTheirLengths) {
    const struct {
        std::vector<SbVec3f> positions;
        std::vector<float> before, after;
    } cases[] = {
        {{{0, 0, 0}, {1, 0, 0}, {1, 4, 0}, {1, 4, 5}}, {0, 10, 11, 30}, {0, 3, 15, 30}},  // lengths 1, 4, 5
        {{{0, 0, 0}, {2, 0, 0}, {2, 2, 0}}, {0, 1, 9}, {0, 4.5f, 9}},                     // equal lengths
        {{{0, 0, 0}, {1, 0, 0}, {2, 0, 0}}, {4, 5, 20}, {4, 10, 20}},                     // measured from 0
        {{{1, 1, 1}, {1, 1, 1}, {1, 1, 1}}, {0, 2, 9}, {0, 2, 9}},                        // no length
        {{{0, 0, 0}, {1, 0, 0}}, {0, 7}, {0, 7}},                                         // refused
    };
    for (const auto& c : cases) {
        HxKeyframeCameraPath path;
        path.splinePosition = 0;
        path.keepAimDistance = 0;
        for (size_t k = 0; k < c.positions.size(); ++k)
            path.addKeyframe(c.before[k], makeCamera(c.positions[k], c.positions[k] + SbVec3f(0, 0, -5)));
        theMsg->clear();
        path.makeConstVelocity();
        for (size_t k = 0; k < c.after.size(); ++k) EXPECT_NEAR(path.times[k], c.after[k], 1e-4f) << k;
        EXPECT_EQ(path.times[c.after.size() - 1], c.after.back()) << "the last time is kept exactly";
        if (c.positions.size() < 3) {
            EXPECT_EQ(theMsg->text(), "Please add at least three keyframes.\n");
        }
    }
    theMsg->clear();
}
