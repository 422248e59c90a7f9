// The keyframe path in flight: cameras at times, the arc-length table, circular
// generation, constant-velocity re-timing and the time port's compute.
#include "HxKeyframeCameraPath.h"
#include "VeVazaruMetricTranslation.h"

#include <hxcore/HxMessage.h>
#include <viewer/HxController.h>
#include <viewer/HxViewer.h>

#include <Inventor/nodes/SoPerspectiveCamera.h>
#include <cmath>
#include <gtest/gtest.h>

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
    for (int i = 0; i < 3; ++i)
        EXPECT_NEAR(actual[i], expected[i], tolerance) << what << " component " << i;
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

// ---------------------------------------------------------------------------
// Cameras at times

TEST(KeyframePathFlight, emptyPathLeavesTheCameraAlone) {
    HxKeyframeCameraPath path;
    McHandle<SoCamera> camera = makeCamera(SbVec3f(1, 2, 3), SbVec3f(4, 5, 6));
    const CameraState before = stateOf(camera);
    path.getCamera(3.0f, *camera);
    expectSameCamera(stateOf(camera), before, 0);
}

TEST(KeyframePathFlight, singleKeyframeIsReturnedAtEveryTime) {
    HxKeyframeCameraPath path;
    McHandle<SoCamera> key = makeCamera(SbVec3f(1, 2, 3), SbVec3f(0, 0, 0), SbVec3f(0, 0, 1));
    path.addKeyframe(7.0f, key);
    for (float t : {-100.0f, 0.0f, 7.0f, 1000.0f}) expectSameCamera(cameraAt(path, t), stateOf(key));
}

TEST(KeyframePathFlight, everyKeyframeTimeReproducesItsKeyframe) {
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
}

TEST(KeyframePathFlight, timesBeforeTheFirstKeyframeGiveTheFirst) {
    HxKeyframeCameraPath path;
    fillWavyPath(path, 4, 2.0f);
    const CameraState first = stateOf(path.cameras[0]);
    expectSameCamera(cameraAt(path, 1.0f), first);
    expectSameCamera(cameraAt(path, -50.0f), first);
}

TEST(KeyframePathFlight, negativeTimesInsideTheFirstSegmentGiveTheFirstKeyframe) {
    HxKeyframeCameraPath path;
    fillWavyPath(path, 4, -10.0f);  // keyframes at -10, -5, 0, 5
    const CameraState first = stateOf(path.cameras[0]);
    expectSameCamera(cameraAt(path, -7.0f), first);
    expectSameCamera(cameraAt(path, -1.0f), first);
    // From 0 on the time is flown normally again.
    expectSameCamera(cameraAt(path, 0.0f), stateOf(path.cameras[2]));
}

TEST(KeyframePathFlight, unsortedTimesUseTheFirstLaterKeyframe) {
    // Times read from a file are taken as they stand; the segment of t still
    // starts before the first keyframe whose time exceeds t.
    HxKeyframeCameraPath path;
    fillWavyPath(path, 4);
    path.times[1] = 10;
    path.times[2] = 5;
    path.times[3] = 20;
    path.update();
    McHandle<SoCamera> expected = new SoPerspectiveCamera;
    path.interp(0, path.getRealTime(0, 0.7f), expected);
    expectSameCamera(cameraAt(path, 7.0f), stateOf(expected), 1e-5f);
    // Put back in order, the same time lies in segment 1.
    path.times[1] = 5;
    path.times[2] = 10;
    path.update();
    path.interp(1, path.getRealTime(1, 0.4f), expected);
    expectSameCamera(cameraAt(path, 7.0f), stateOf(expected), 1e-5f);
}

TEST(KeyframePathFlight, openPathRestsOnTheLastKeyframeAfterItsTime) {
    HxKeyframeCameraPath path;
    fillWavyPath(path, 5);
    const CameraState last = stateOf(path.cameras[4]);
    for (float t : {20.0f, 21.0f, 30.0f, 500.0f}) expectSameCamera(cameraAt(path, t), last);
}

TEST(KeyframePathFlight, closingSegmentLastsAsLongAsTheLastRegularOne) {
    HxKeyframeCameraPath path;
    path.addKeyframe(0, makeCamera(SbVec3f(10, 0, 0), SbVec3f(0, 0, 0)));
    path.addKeyframe(4, makeCamera(SbVec3f(0, 0, 10), SbVec3f(0, 0, 0)));
    path.addKeyframe(10, makeCamera(SbVec3f(-10, 0, 0), SbVec3f(0, 0, 0)));
    path.addKeyframe(13, makeCamera(SbVec3f(0, 0, -10), SbVec3f(0, 0, 0)));
    path.closed = 1;
    // The closing segment runs from 13 to 13 + (13 - 10) = 16 and ends on keyframe 0.
    const CameraState first = stateOf(path.cameras[0]);
    expectSameCamera(cameraAt(path, 16.0f), first);
    expectSameCamera(cameraAt(path, 40.0f), first);
    const CameraState inside = cameraAt(path, 14.5f);
    EXPECT_GT((inside.position - SbVec3f(0, 0, -10)).length(), 1.0f);
    EXPECT_GT((inside.position - SbVec3f(10, 0, 0)).length(), 1.0f);
    EXPECT_NEAR((inside.position - inside.aim).length(), 10.0f, 1e-3f);
}

TEST(KeyframePathFlight, closingSegmentTangentsWrapAround) {
    HxKeyframeCameraPath path;
    fillWavyPath(path, 5);
    path.closed = 1;
    path.keepAimDistance = 0;
    const int n = 5;
    // Hermite with the tangents of keyframes n-1 (neighbours n-2 and 0) and 0
    // (neighbours n-1 and 1), evaluated here from the formula.
    SbVec3f p[5];
    for (int k = 0; k < n; ++k) p[k] = path.cameras[k]->position.getValue();
    const SbVec3f t0 = ((p[4] - p[3]) + (p[0] - p[4])) * 0.5f;
    const SbVec3f t1 = ((p[0] - p[4]) + (p[1] - p[0])) * 0.5f;
    McHandle<SoCamera> camera = new SoPerspectiveCamera;
    for (float u : {0.1f, 0.37f, 0.5f, 0.8f}) {
        path.interp(n - 1, u, camera);
        const float h00 = 2 * u * u * u - 3 * u * u + 1, h01 = -2 * u * u * u + 3 * u * u;
        const float h10 = u * u * u - 2 * u * u + u, h11 = u * u * u - u * u;
        const SbVec3f expected = p[4] * h00 + p[0] * h01 + t0 * h10 + t1 * h11;
        expectNear(camera->position.getValue(), expected, 1e-4f, "closing segment position");
    }
}

TEST(KeyframePathFlight, closedPathOfTwoKeyframesFliesAsAnOpenOne) {
    HxKeyframeCameraPath open, closed;
    fillWavyPath(open, 2);
    fillWavyPath(closed, 2);
    closed.closed = 1;
    EXPECT_TRUE(closed.isClosed());
    for (float t : {0.0f, 1.0f, 2.5f, 4.9f, 5.0f, 7.0f}) expectSameCamera(cameraAt(closed, t), cameraAt(open, t), 0);
}

TEST(KeyframePathFlight, rotationModeThreeBehavesAsOne) {
    HxKeyframeCameraPath one, three;
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
    EXPECT_TRUE(isFinite(camera->position.getValue()));
    EXPECT_TRUE(std::isfinite(camera->focalDistance.getValue()));
    const float* q = camera->orientation.getValue().getValue();
    for (int i = 0; i < 4; ++i) EXPECT_TRUE(std::isfinite(q[i]));
}

// ---------------------------------------------------------------------------
// Arc length

TEST(KeyframePathFlight, equalTimeStepsGiveEqualMetricStepsInsideASegment) {
    HxKeyframeCameraPath path;
    // Segments of very different lengths (about 1, 100 and 5 units); the spline
    // runs at very uneven speed in its own parameter.
    path.addKeyframe(0, makeCamera(SbVec3f(0, 0, 10), SbVec3f(0, 0, 0)));
    path.addKeyframe(10, makeCamera(SbVec3f(1, 0, 10), SbVec3f(1, 0, 0)));
    path.addKeyframe(20, makeCamera(SbVec3f(101, 3, 10), SbVec3f(101, 3, 0)));
    path.addKeyframe(30, makeCamera(SbVec3f(106, 0, 10), SbVec3f(106, 0, 0)));
    VeVazaruMetricTranslation metric;
    // The metric length flown between two times, measured along the flight in
    // fine steps, so that the curvature of the path does not count.
    auto flown = [&](float from, float to) {
        McHandle<SoCamera> a = new SoPerspectiveCamera, b = new SoPerspectiveCamera;
        path.getCamera(from, *a);
        double length = 0;
        for (int j = 1; j <= 25; ++j) {
            path.getCamera(from + (to - from) * j / 25, *b);
            length += metric.dist(a, b);
            std::swap(a, b);
        }
        return length;
    };
    for (int segment = 0; segment < 3; ++segment) {
        double minStep = 1e30, maxStep = 0;
        for (int k = 0; k < 10; ++k) {
            const double step = flown(path.times[segment] + k, path.times[segment] + k + 1);
            minStep = std::min(minStep, step);
            maxStep = std::max(maxStep, step);
        }
        SCOPED_TRACE(::testing::Message() << "segment " << segment);
        EXPECT_GT(minStep, 0);
        // The table holds 100 chords per segment: steps agree to a few percent.
        EXPECT_LT((maxStep - minStep) / maxStep, 0.03);
    }
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

TEST(KeyframePathFlight, realTimeRunsFromZeroToOneAndIsCachedPerSegment) {
    HxKeyframeCameraPath path;
    fillWavyPath(path, 4);
    EXPECT_EQ(path.getRealTime(1, 0.0f), 0.0f);
    EXPECT_NEAR(path.getRealTime(1, 1.0f), 1.0f, 1e-6f);
    EXPECT_EQ(path.arcTableSegment, 1);
    float last = 0;
    for (int k = 1; k <= 10; ++k) {
        const float u = path.getRealTime(1, k / 10.0f);
        EXPECT_GT(u, last);
        last = u;
    }
    path.update();
    EXPECT_EQ(path.arcTableSegment, -1);
    EXPECT_EQ(path.getRealTime(-1, 0.5f), 0.0f);
    EXPECT_EQ(path.arcTableSegment, -1);
}

// ---------------------------------------------------------------------------
// Applying the path to the viewers

TEST(KeyframePathFlight, computeMovesOnlyViewersInTheMask) {
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
    EXPECT_FALSE(main->isAutoAnimatingCamera());
    EXPECT_TRUE(other->isAutoAnimatingCamera());
    EXPECT_EQ(path.getTouchFlags() & 2u, 2u);
    theController->reset();
}

TEST(KeyframePathFlight, computeWithAnEmptyRangeShowsTimeZero) {
    HxViewer* main = theController->viewer(0, 1);
    HxKeyframeCameraPath path;
    fillWavyPath(path, 3);
    path.portTime.setMinMax(4, 4);
    path.portTime.setValue(4);
    path.compute();
    expectSameCamera(stateOf(main->getCamera()), stateOf(path.cameras[0]));
    theController->reset();
}

TEST(KeyframePathFlight, computeDoesNothingUnlessTheTimeChanged) {
    HxViewer* main = theController->viewer(0, 1);
    HxKeyframeCameraPath path;
    fillWavyPath(path, 3);
    path.update();
    path.portTime.setValue(5);
    path.portTime.untouch();
    VeVazaruPath::setCamera(main->getCamera(), SbVec3f(7, 7, 7), SbVec3f(0, 0, 0), SbVec3f(0, 1, 0));
    path.compute();
    expectNear(main->getCamera()->position.getValue(), SbVec3f(7, 7, 7), 0, "main viewer");
    theController->reset();
}

// ---------------------------------------------------------------------------
// Circular paths

struct CircleCase {
    const char* name;
    SbVec3f up;          // the starting camera's up direction
    SbVec3f viewing;     // its viewing direction, perpendicular to up and to the axis
    SbVec3f axis;        // the axis the circle must turn about
};

class CircularPathAxis : public ::testing::TestWithParam<CircleCase> {};

TEST_P(CircularPathAxis, turnsAboutTheAxisNearestTheUpDirection) {
    const CircleCase& c = GetParam();
    const SbVec3f aim(1, -2, 3);
    McHandle<SoCamera> start = makeCamera(aim - c.viewing * 8.0f, aim, c.up);
    HxKeyframeCameraPath path;
    path.createCircularPath(start, 90, 100, 16);
    ASSERT_EQ(path.cameras.size(), 16);
    const SbVec3f offset = start->position.getValue() - aim;
    for (int k = 0; k < 16; ++k) {
        SCOPED_TRACE(::testing::Message() << "keyframe " << k);
        const CameraState s = stateOf(path.cameras[k]);
        expectNear(s.position, aim + rotated(offset, c.axis, 90.0 * k / 16), 1e-4f, "position");
        expectNear(s.aim, aim, 1e-4f, "aim point");
        expectNear(s.up, c.axis, 1e-4f, "up direction");
        EXPECT_NEAR(path.times[k], 100.0f * k / 16, 1e-5f);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Axes, CircularPathAxis,
    ::testing::Values(CircleCase{"tiltedTowardsZ", SbVec3f(0, 0.7071068f, 0.7071068f), SbVec3f(1, 0, 0), SbVec3f(0, 0, 1)},
                      CircleCase{"tiltedTowardsX", SbVec3f(0.7071068f, 0.7071068f, 0), SbVec3f(0, 0, -1), SbVec3f(0, 1, 0)},
                      CircleCase{"upsideDown", SbVec3f(0, -1, 0), SbVec3f(0, 0, -1), SbVec3f(0, -1, 0)},
                      CircleCase{"mostlyX", SbVec3f(0.9f, 0.1f, 0.4242641f), SbVec3f(0, -0.9733285f, 0.2294157f),
                                 SbVec3f(1, 0, 0)},
                      CircleCase{"negativeZ", SbVec3f(0.1f, 0.2f, -0.9746794f), SbVec3f(0.8944272f, -0.4472136f, 0),
                                 SbVec3f(0, 0, -1)}),
    [](const ::testing::TestParamInfo<CircleCase>& param) { return std::string(param.param.name); });

TEST(CircularPath, fullTurnIsClosedWithAKeyframeEverySixteenth) {
    HxKeyframeCameraPath path;
    McHandle<SoCamera> start = makeCamera(SbVec3f(0, 0, 10), SbVec3f(0, 0, 0));
    path.createCircularPath(start, 360, 100, 16);
    EXPECT_TRUE(path.isClosed());
    ASSERT_EQ(path.cameras.size(), 17);
    for (int k = 0; k <= 16; ++k) EXPECT_NEAR(path.times[k], 6.25f * k, 1e-4f);
    expectNear(path.cameras[16]->position.getValue(), path.cameras[0]->position.getValue(), 1e-4f, "last keyframe");
    for (int k = 0; k <= 16; ++k) EXPECT_NEAR(path.cameras[k]->position.getValue().length(), 10.0f, 1e-4f);
    path.updateInfo(false);
    EXPECT_EQ(path.getInfoText(), "Camera Path: 17 keyframes (closed), total time 100.0");
}

TEST(CircularPath, halfTurnIsOpenAndStopsShortOfTheOppositeSide) {
    HxKeyframeCameraPath path;
    McHandle<SoCamera> start = makeCamera(SbVec3f(0, 0, 10), SbVec3f(0, 0, 0));
    path.createCircularPath(start, 180, 100, 16);
    EXPECT_FALSE(path.isClosed());
    ASSERT_EQ(path.cameras.size(), 16);
    EXPECT_NEAR(path.times[15], 93.75f, 1e-4f);
    for (int k = 0; k < 16; ++k)
        EXPECT_GT((path.cameras[k]->position.getValue() - SbVec3f(0, 0, -10)).length(), 1.0f);
    path.updateInfo(false);
    EXPECT_EQ(path.getInfoText(), "Camera Path: 16 keyframes (not closed), total time 93.8");
}

TEST(CircularPath, negativeAngleTurnsTheOtherWay) {
    HxKeyframeCameraPath forward, backward;
    McHandle<SoCamera> start = makeCamera(SbVec3f(0, 0, 10), SbVec3f(0, 0, 0));
    forward.createCircularPath(start, 90, 100, 16);
    backward.createCircularPath(start, -90, 100, 16);
    EXPECT_FALSE(backward.isClosed());
    const SbVec3f a = forward.cameras[8]->position.getValue(), b = backward.cameras[8]->position.getValue();
    EXPECT_NEAR(a[0], -b[0], 1e-4f);
    EXPECT_NEAR(a[2], b[2], 1e-4f);
    EXPECT_GT(std::fabs(a[0]), 1.0f);
}

TEST(CircularPath, zeroAngleIsClosedAndStaysAtTheStart) {
    HxKeyframeCameraPath path;
    McHandle<SoCamera> start = makeCamera(SbVec3f(3, 4, 10), SbVec3f(0, 0, 0));
    path.createCircularPath(start, 0, 100, 16);
    EXPECT_TRUE(path.isClosed());
    ASSERT_EQ(path.cameras.size(), 17);
    for (int k = 0; k <= 16; ++k) expectNear(path.cameras[k]->position.getValue(), SbVec3f(3, 4, 10), 1e-4f, "position");
}

TEST(CircularPath, nearlyWholeTurnsCountAsClosed) {
    McHandle<SoCamera> start = makeCamera(SbVec3f(0, 0, 10), SbVec3f(0, 0, 0));
    struct {
        float angle;
        bool closed;
    } cases[] = {{720.005f, true}, {-359.995f, true}, {359.9f, false}, {0.011f, false}, {-0.009f, true}};
    for (const auto& c : cases) {
        HxKeyframeCameraPath path;
        path.createCircularPath(start, c.angle, 10, 4);
        EXPECT_EQ(path.isClosed(), c.closed) << "angle " << c.angle;
    }
}

TEST(CircularPath, replacesExistingKeyframesAndResetsSplineFlags) {
    HxKeyframeCameraPath path;
    fillWavyPath(path, 7);
    path.splineAimPoint = 1;
    path.splineUpDir = 1;
    path.splinePosition = 0;
    path.rotationMode = 2;
    McHandle<SoCamera> start = makeCamera(SbVec3f(0, 0, 10), SbVec3f(0, 0, 0));
    path.createCircularPath(start, 180, 50, 4);
    EXPECT_EQ(path.cameras.size(), 4);
    EXPECT_EQ(path.splineAimPoint, 0);
    EXPECT_EQ(path.splineUpDir, 0);
    EXPECT_EQ(path.splinePosition, 1);
    EXPECT_EQ(path.rotationMode, 2);
    float min, max;
    path.portTime.getMinMax(min, max);
    EXPECT_EQ(max, 37.5f);
}

TEST(CircularPath, fewerThanOneStepCountsAsOne) {
    HxKeyframeCameraPath path;
    McHandle<SoCamera> start = makeCamera(SbVec3f(0, 0, 10), SbVec3f(0, 0, 0));
    for (int steps : {0, -3}) {
        path.createCircularPath(start, 360, 100, steps);
        ASSERT_EQ(path.cameras.size(), 2) << "steps " << steps;
        EXPECT_EQ(path.times[1], 100.0f);
        for (int k = 0; k < 2; ++k) EXPECT_TRUE(isFinite(path.cameras[k]->position.getValue()));
    }
}

// ---------------------------------------------------------------------------
// Constant velocity

namespace {
// Straight segments with linear position blending and no distance correction:
// each segment's metric length is the distance between its keyframes.
void fillStraightPath(HxKeyframeCameraPath& path, const std::vector<SbVec3f>& positions,
                      const std::vector<float>& keyTimes) {
    path.splinePosition = 0;
    path.keepAimDistance = 0;
    for (size_t k = 0; k < positions.size(); ++k)
        path.addKeyframe(keyTimes[k], makeCamera(positions[k], positions[k] + SbVec3f(0, 0, -5)));
}
}  // namespace

TEST(ConstVelocity, refusesFewerThanThreeKeyframes) {
    HxKeyframeCameraPath path;
    fillStraightPath(path, {SbVec3f(0, 0, 0), SbVec3f(1, 0, 0)}, {0, 7});
    theMsg->clear();
    path.makeConstVelocity();
    EXPECT_EQ(theMsg->text(), "Please add at least three keyframes.\n");
    EXPECT_EQ(path.times[1], 7.0f);
}

TEST(ConstVelocity, segmentDurationsFollowTheirLengths) {
    HxKeyframeCameraPath path;
    fillStraightPath(path, {SbVec3f(0, 0, 0), SbVec3f(1, 0, 0), SbVec3f(1, 4, 0), SbVec3f(1, 4, 5)}, {0, 10, 11, 30});
    path.makeConstVelocity();
    // Lengths 1, 4 and 5 share out 30 seconds.
    EXPECT_EQ(path.times[0], 0.0f);
    EXPECT_NEAR(path.times[1], 3.0f, 1e-4f);
    EXPECT_NEAR(path.times[2], 15.0f, 1e-4f);
    EXPECT_EQ(path.times[3], 30.0f);
    path.updateInfo(false);
    EXPECT_EQ(path.getInfoText(), "Camera Path: 4 keyframes (not closed), total time 30.0");
}

TEST(ConstVelocity, equalLengthsGiveEvenTimesWithThreeKeyframes) {
    HxKeyframeCameraPath path;
    fillStraightPath(path, {SbVec3f(0, 0, 0), SbVec3f(2, 0, 0), SbVec3f(2, 2, 0)}, {0, 1, 9});
    path.makeConstVelocity();
    EXPECT_NEAR(path.times[1], 4.5f, 1e-4f);
    EXPECT_EQ(path.times[2], 9.0f);
}

TEST(ConstVelocity, timesAreMeasuredFromZeroNotFromTheFirstKeyframe) {
    HxKeyframeCameraPath path;
    fillStraightPath(path, {SbVec3f(0, 0, 0), SbVec3f(1, 0, 0), SbVec3f(2, 0, 0)}, {4, 5, 20});
    path.makeConstVelocity();
    EXPECT_EQ(path.times[0], 4.0f);
    EXPECT_NEAR(path.times[1], 10.0f, 1e-4f);
    EXPECT_EQ(path.times[2], 20.0f);
}

TEST(ConstVelocity, pathWithoutLengthKeepsItsTimes) {
    HxKeyframeCameraPath path;
    fillStraightPath(path, {SbVec3f(1, 1, 1), SbVec3f(1, 1, 1), SbVec3f(1, 1, 1)}, {0, 2, 9});
    path.makeConstVelocity();
    EXPECT_EQ(path.times[1], 2.0f);
    EXPECT_EQ(path.times[2], 9.0f);
    for (float t : path.times) EXPECT_TRUE(std::isfinite(t));
}
