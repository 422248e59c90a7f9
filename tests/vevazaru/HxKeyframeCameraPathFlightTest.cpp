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

TEST(KeyframePathFlight, timesOutsideTheKeyframesGiveTheEndKeyframes) {
    HxKeyframeCameraPath path;
    fillWavyPath(path, 4, 2.0f);
    for (float t : {1.0f, -50.0f}) expectSameCamera(cameraAt(path, t), stateOf(path.cameras[0]));
    for (float t : {17.0f, 18.0f, 500.0f}) expectSameCamera(cameraAt(path, t), stateOf(path.cameras[3]));

    HxKeyframeCameraPath negative;
    fillWavyPath(negative, 4, -10.0f);  // keyframes at -10, -5, 0, 5
    for (float t : {-7.0f, -1.0f}) expectSameCamera(cameraAt(negative, t), stateOf(negative.cameras[0]));
    expectSameCamera(cameraAt(negative, 0.0f), stateOf(negative.cameras[2]));
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

TEST(KeyframePathFlight, closingSegmentLastsAsLongAsTheLastRegularOneAndItsTangentsWrap) {
    HxKeyframeCameraPath path;
    path.addKeyframe(0, makeCamera(SbVec3f(10, 0, 0), SbVec3f(0, 0, 0)));
    path.addKeyframe(4, makeCamera(SbVec3f(0, 1, 10), SbVec3f(0, 0, 0)));
    path.addKeyframe(10, makeCamera(SbVec3f(-10, 0, 0), SbVec3f(0, 0, 0)));
    path.addKeyframe(13, makeCamera(SbVec3f(0, -2, -10), SbVec3f(0, 0, 0)));
    path.closed = 1;
    // The closing segment runs from 13 to 13 + (13 - 10) = 16 and ends on keyframe 0.
    for (float t : {16.0f, 40.0f}) expectSameCamera(cameraAt(path, t), stateOf(path.cameras[0]));
    const CameraState inside = cameraAt(path, 14.5f);
    EXPECT_GT((inside.position - SbVec3f(0, -2, -10)).length(), 1.0f);
    EXPECT_GT((inside.position - SbVec3f(10, 0, 0)).length(), 1.0f);

    // Hermite with the tangents of keyframe 3 (neighbours 2 and 0) and of
    // keyframe 0 (neighbours 3 and 1), evaluated here from the formula.
    path.keepAimDistance = 0;
    SbVec3f p[4];
    for (int k = 0; k < 4; ++k) p[k] = path.cameras[k]->position.getValue();
    const SbVec3f t0 = ((p[3] - p[2]) + (p[0] - p[3])) * 0.5f, t1 = ((p[0] - p[3]) + (p[1] - p[0])) * 0.5f;
    McHandle<SoCamera> camera = new SoPerspectiveCamera;
    for (float u : {0.1f, 0.37f, 0.5f, 0.8f}) {
        path.interp(3, u, camera);
        const float h00 = 2 * u * u * u - 3 * u * u + 1, h01 = -2 * u * u * u + 3 * u * u;
        const float h10 = u * u * u - 2 * u * u + u, h11 = u * u * u - u * u;
        expectNear(camera->position.getValue(), p[3] * h00 + p[0] * h01 + t0 * h10 + t1 * h11, 1e-4f, "closing");
    }
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
    EXPECT_TRUE(isFinite(camera->position.getValue()));
    EXPECT_TRUE(std::isfinite(camera->focalDistance.getValue()));
    const float* q = camera->orientation.getValue().getValue();
    for (int i = 0; i < 4; ++i) EXPECT_TRUE(std::isfinite(q[i]));
}

TEST(KeyframePathFlight, equalTimeStepsGiveEqualMetricStepsInsideASegment) {
    HxKeyframeCameraPath path;
    // Segments of about 1, 100 and 5 units: the spline runs at very uneven speed
    // in its own parameter.
    path.addKeyframe(0, makeCamera(SbVec3f(0, 0, 10), SbVec3f(0, 0, 0)));
    path.addKeyframe(10, makeCamera(SbVec3f(1, 0, 10), SbVec3f(1, 0, 0)));
    path.addKeyframe(20, makeCamera(SbVec3f(101, 3, 10), SbVec3f(101, 3, 0)));
    path.addKeyframe(30, makeCamera(SbVec3f(106, 0, 10), SbVec3f(106, 0, 0)));
    VeVazaruMetricTranslation metric;
    // The metric length flown between two times, in fine steps along the flight.
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
        EXPECT_GT(minStep, 0) << "segment " << segment;
        // The table holds 100 chords per segment: steps agree to a few percent.
        EXPECT_LT((maxStep - minStep) / maxStep, 0.03) << "segment " << segment;
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

struct CircleCase {
    const char* name;
    SbVec3f up;       // the starting camera's up direction
    SbVec3f viewing;  // its viewing direction, perpendicular to up and to the axis
    SbVec3f axis;     // the axis the circle must turn about
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
                      CircleCase{"negativeZ", SbVec3f(0.1f, 0.2f, -0.9746794f), SbVec3f(0.8944272f, -0.4472136f, 0),
                                 SbVec3f(0, 0, -1)}),
    [](const ::testing::TestParamInfo<CircleCase>& param) { return std::string(param.param.name); });

TEST(CircularPath, angleDecidesClosednessCountAndTimes) {
    const struct {
        float angle;
        bool closed;
        int count;
        float lastTime;
        const char* info;
    } cases[] = {{360, true, 17, 100, "Camera Path: 17 keyframes (closed), total time 100.0"},
                 {180, false, 16, 93.75f, "Camera Path: 16 keyframes (not closed), total time 93.8"},
                 {0, true, 17, 100, nullptr},
                 {-90, false, 16, 93.75f, nullptr}};
    McHandle<SoCamera> start = makeCamera(SbVec3f(0, 0, 10), SbVec3f(0, 0, 0));
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << "angle " << c.angle);
        HxKeyframeCameraPath path;
        fillWavyPath(path, 7);  // discarded
        path.createCircularPath(start, c.angle, 100, 16);
        EXPECT_EQ(path.isClosed(), c.closed);
        ASSERT_EQ(path.cameras.size(), c.count);
        EXPECT_NEAR(path.times[c.count - 1], c.lastTime, 1e-4f);
        for (int k = 0; k < c.count; ++k) {
            const SbVec3f position = path.cameras[k]->position.getValue();
            EXPECT_NEAR(position.length(), 10.0f, 1e-4f);
            expectNear(position, rotated(SbVec3f(0, 0, 10), SbVec3f(0, 1, 0), c.angle * k / 16), 1e-4f, "position");
            if (c.angle == 180) {
                EXPECT_GT((position - SbVec3f(0, 0, -10)).length(), 1.0f);
            }
        }
        path.updateInfo(false);
        if (c.info) {
            EXPECT_EQ(path.getInfoText(), c.info);
        }
    }
    for (const auto& near : {std::pair<float, bool>{720.005f, true}, {-359.995f, true}, {359.9f, false},
                             {0.011f, false}, {-0.009f, true}}) {
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
        {{{0, 0, 0}, {2, 0, 0}, {2, 2, 0}}, {0, 1, 9}, {0, 4.5f, 9}},                      // equal lengths
        {{{0, 0, 0}, {1, 0, 0}, {2, 0, 0}}, {4, 5, 20}, {4, 10, 20}},                      // measured from 0
        {{{1, 1, 1}, {1, 1, 1}, {1, 1, 1}}, {0, 2, 9}, {0, 2, 9}},                         // no length
        {{{0, 0, 0}, {1, 0, 0}}, {0, 7}, {0, 7}},                                          // refused
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
}
