// The keyframe camera path: its type record, keyframe insertion and removal,
// copying, the bulk edits of aim point, up direction and distance, its queries,
// info text and update().
#include "HxKeyframeCameraPath.h"
#include "VeVazaruMetricOpticalFlow.h"
#include "VeVazaruMetricTranslation.h"

#include <mc/McHandle.h>
#include <mc/McTypeInfo.h>
#include <ports/HxTimeSource.h>

#include <Inventor/nodes/SoPerspectiveCamera.h>
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace {

// Cameras are read back from their fields with the rotation alone, so the
// checks do not lean on the host's camera helpers.
McHandle<SoPerspectiveCamera> lookAt(const SbVec3f& position, const SbVec3f& aim, const SbVec3f& up = {0, 1, 0}) {
    McHandle<SoPerspectiveCamera> camera = new SoPerspectiveCamera;
    VeVazaruPath::setCamera(camera, position, aim, up);
    return camera;
}

// A camera marked by where it stands.
McHandle<SoPerspectiveCamera> cameraAt(float x, float y = 0) { return lookAt(SbVec3f(x, y, 10), SbVec3f(x, y, 0)); }

SbVec3f turned(const SoCamera* camera, const SbVec3f& v) {
    SbVec3f out;
    camera->orientation.getValue().multVec(v, out);
    return out;
}
SbVec3f viewDirOf(const SoCamera* c) { return turned(c, SbVec3f(0, 0, -1)); }
SbVec3f upOf(const SoCamera* c) { return turned(c, SbVec3f(0, 1, 0)); }
SbVec3f aimOf(const SoCamera* c) { return c->position.getValue() + viewDirOf(c) * c->focalDistance.getValue(); }

::testing::AssertionResult near(const SbVec3f& actual, const SbVec3f& expected, float tolerance) {
    if ((actual - expected).length() <= tolerance) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "(" << actual[0] << ", " << actual[1] << ", " << actual[2]
                                         << ") is not within " << tolerance << " of (" << expected[0] << ", "
                                         << expected[1] << ", " << expected[2] << ")";
}

// The fields a keyframe camera is made of.
std::vector<float> fieldsOf(const SoCamera* camera) {
    auto* c = static_cast<const SoPerspectiveCamera*>(camera);
    const SbVec3f p = c->position.getValue();
    const float* q = c->orientation.getValue().getValue();
    return {p[0],
            p[1],
            p[2],
            q[0],
            q[1],
            q[2],
            q[3],
            c->focalDistance.getValue(),
            c->heightAngle.getValue(),
            c->nearDistance.getValue(),
            c->farDistance.getValue(),
            c->aspectRatio.getValue()};
}

// What the keyframe cameras show, to compare with after an edit.
struct Seen {
    std::vector<float> fields;
    SbVec3f aim, sight, up;
};
std::vector<Seen> seenIn(const HxKeyframeCameraPath& path) {
    std::vector<Seen> seen;
    for (const auto& c : path.cameras) seen.push_back({fieldsOf(c), aimOf(c), viewDirOf(c), upOf(c)});
    return seen;
}

std::vector<float> timesOf(const HxKeyframeCameraPath& path) { return {path.times.begin(), path.times.end()}; }

std::vector<const SoCamera*> nodesOf(const HxKeyframeCameraPath& path) {
    std::vector<const SoCamera*> nodes;
    for (const auto& camera : path.cameras) nodes.push_back(camera.ptr());
    return nodes;
}

// Keyframes at the given times, each camera standing at x = its time.
void addAtOwnPlaces(HxKeyframeCameraPath& path, const std::vector<float>& times) {
    for (float t : times) path.addKeyframe(t, cameraAt(t));
}

// Clears the change flags as the host does and puts a marker in the info text,
// so that a later change shows.
const char* const marker = "marker";
void settle(HxKeyframeCameraPath& path) {
    path.fire();
    path.infoTag("", marker);
    ASSERT_EQ(path.getTouchFlags(), 0u);
}
// Neither the info text nor the change flags changed since settle().
void expectNoNotice(const HxKeyframeCameraPath& path) {
    EXPECT_EQ(path.getTouchFlags(), 0u);
    EXPECT_EQ(path.getInfoText(), marker);
}

TEST(HxKeyframeCameraPath, typeRecordCreationAndDefaults) {
    const McTypeInfo* record = HxKeyframeCameraPath::getClassTypeId();
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(HxKeyframeCameraPath::initClass(), record);
    EXPECT_STREQ(record->getName(), "HxKeyframeCameraPath");
    EXPECT_EQ(record->parent(), VeVazaruPath::getClassTypeId());
    ASSERT_EQ(McTypeInfo::fromName("HxKeyframeCameraPath"), record);
    HxKeyframeCameraPath::deleteInstance(nullptr);

    auto* path = dynamic_cast<HxKeyframeCameraPath*>(record->createInstance());
    ASSERT_NE(path, nullptr);
    EXPECT_EQ(path->getTypeId(), record);
    EXPECT_EQ(path->cameras.size(), 0);
    EXPECT_FALSE(path->isClosed());
    EXPECT_EQ(path->splineAimPoint, 0);
    EXPECT_EQ(path->splineUpDir, 0);
    EXPECT_NE(path->splinePosition, 0);
    EXPECT_NE(path->keepAimDistance, 0);
    EXPECT_EQ(path->rotationMode, 0);
    EXPECT_EQ(path->arcTableSegment, -1);
    EXPECT_NE(dynamic_cast<VeVazaruMetricTranslation*>(path->metric.ptr()), nullptr);
    EXPECT_EQ(path->getPort("time"), &path->portTime);
    EXPECT_EQ(path->portTime.getIncrement(), 0.5f);
    EXPECT_NE(HxKeyframeCameraPath().metric.ptr(), path->metric.ptr()) << "each path has a metric of its own";

    // Destruction shows as the release of the path's camera.
    path->addKeyframe(1, cameraAt(1));
    McHandle<SoCamera> kept = path->cameras[0];
    ASSERT_EQ(kept->getRefCount(), 2);
    path->deleteInstance();
    EXPECT_EQ(kept->getRefCount(), 1);
}

TEST(HxKeyframeCameraPath, addToEmptyPathAppendsACopyAndNotifies) {
    HxKeyframeCameraPath path;
    settle(path);
    McHandle<SoPerspectiveCamera> mine = lookAt(SbVec3f(1, 2, 3), SbVec3f(0, 0, -4), SbVec3f(0, 0.6f, 0.8f));
    mine->heightAngle = 0.5f;
    mine->aspectRatio = 1.5f;
    path.addKeyframe(2.5f, mine);
    EXPECT_EQ(timesOf(path), std::vector<float>{2.5f});
    EXPECT_EQ(path.getInfoText(), "Camera Path: 1 keyframes (not closed), total time 0.0");
    EXPECT_EQ(path.getTouchFlags(), 0xFFFFFFFFu);
    EXPECT_EQ(mine->getRefCount(), 1) << "the path holds no reference to the caller's node";
    EXPECT_EQ(fieldsOf(path.cameras[0]), fieldsOf(mine));

    // A replacement keeps a copy too.
    McHandle<SoPerspectiveCamera> other = cameraAt(40, 7);
    path.addKeyframe(2.5f, other);
    EXPECT_EQ(other->getRefCount(), 1);
    EXPECT_EQ(fieldsOf(path.cameras[0]), fieldsOf(other));
}

// The 0.001 tie rule, on keyframes at 1, 3 and 5 (added out of order) whose
// cameras stand at x = 1, 3, 5. The added camera stands at y = 7.
TEST(HxKeyframeCameraPath, addReplacesTheCameraOfAKeyframeWithinTheTieOrInsertsInOrder) {
    const struct {
        float time;
        int replaced;  // index whose camera is replaced, or -1
        int inserted;  // index of the new keyframe when none is replaced
    } cases[] = {{3.0f, 1, -1},    {3.0005f, 1, -1}, {2.9995f, 1, -1}, {0.9995f, 0, -1}, {5.0005f, 2, -1},
                 {3.0015f, -1, 2}, {2.9985f, -1, 1}, {0.5f, -1, 0},    {6.0f, -1, 3}};
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << "time " << c.time);
        HxKeyframeCameraPath path;
        addAtOwnPlaces(path, {5, 1, 3});
        const std::vector<const SoCamera*> before = nodesOf(path);
        settle(path);
        path.addKeyframe(c.time, cameraAt(c.time, 7));

        std::vector<float> times{1, 3, 5};
        if (c.replaced < 0) times.insert(times.begin() + c.inserted, c.time);
        EXPECT_EQ(timesOf(path), times) << "a replaced keyframe keeps its time";
        ASSERT_EQ(path.cameras.size(), int(times.size()));
        const int changed = c.replaced < 0 ? c.inserted : c.replaced;
        for (int i = 0, old = 0; i < path.cameras.size(); ++i, ++old) {
            if (i == changed) {
                EXPECT_EQ(path.cameras[i]->position.getValue(), SbVec3f(c.time, 7, 10));
                if (c.replaced < 0) --old;
                continue;
            }
            EXPECT_EQ(path.cameras[i].ptr(), before[old]) << "keyframe " << i;
            EXPECT_EQ(path.cameras[i]->position.getValue()[0], path.times[i]) << "keyframe " << i;
        }
        // A replacement neither updates the info nor touches the path.
        EXPECT_EQ(path.getInfoText() == marker, c.replaced >= 0);
        EXPECT_EQ(path.getTouchFlags(), c.replaced >= 0 ? 0u : 0xFFFFFFFFu);
    }
}

// Keyframes closer than 0.001 come only from files; the later one is replaced.
TEST(HxKeyframeCameraPath, tieWithTwoKeyframesReplacesTheLaterOne) {
    for (float second : {3.0005f, 3.0f}) {
        HxKeyframeCameraPath close;
        addAtOwnPlaces(close, {3, 4});
        close.times[1] = second;
        close.addKeyframe(second, cameraAt(0, 7));
        EXPECT_EQ(timesOf(close), (std::vector<float>{3, second}));
        EXPECT_EQ(close.cameras[0]->position.getValue(), SbVec3f(3, 0, 10));
        EXPECT_EQ(close.cameras[1]->position.getValue(), SbVec3f(0, 7, 10));
    }
}

TEST(HxKeyframeCameraPath, removeKeyframeReleasesTheCameraAndNotifies) {
    HxKeyframeCameraPath path;
    addAtOwnPlaces(path, {1, 3, 5, 8});
    const std::vector<const SoCamera*> before = nodesOf(path);
    McHandle<SoCamera> removed = path.cameras[1];
    settle(path);
    path.removeKeyframe(1);
    EXPECT_EQ(timesOf(path), (std::vector<float>{1, 5, 8}));
    EXPECT_EQ(nodesOf(path), (std::vector<const SoCamera*>{before[0], before[2], before[3]}));
    EXPECT_EQ(removed->getRefCount(), 1);
    EXPECT_EQ(path.getInfoText(), "Camera Path: 3 keyframes (not closed), total time 7.0");
    EXPECT_EQ(path.getTouchFlags(), 0xFFFFFFFFu);
    path.removeKeyframe(2);
    path.removeKeyframe(0);
    EXPECT_EQ(timesOf(path), std::vector<float>{5});
    EXPECT_EQ(nodesOf(path), std::vector<const SoCamera*>{before[2]});
}

// A source path whose every copied setting differs from a new path's.
void fillSource(HxKeyframeCameraPath& source) {
    source.addKeyframe(1, lookAt(SbVec3f(0, 0, 10), SbVec3f(0, 0, 0)));
    source.addKeyframe(4, lookAt(SbVec3f(5, 1, 8), SbVec3f(1, 0, 0), SbVec3f(0, 0.8f, 0.6f)));
    source.addKeyframe(9, lookAt(SbVec3f(-3, 2, 6), SbVec3f(0, 1, -1)));
    static_cast<SoPerspectiveCamera*>(source.cameras[2].ptr())->heightAngle = 0.4f;
    source.keepAimDistance = 0;
    source.closed = 1;
    source.rotationMode = 2;
    source.splineAimPoint = 1;
    source.splineUpDir = 1;
    source.splinePosition = 0;
    source.arcTableSegment = 1;
    for (float length : {0.0f, 0.5f, 1.25f}) source.arcTable.append(length);
    const float box[6] = {-1, 1, -1, 1, -1, 1};
    source.setMetric(new VeVazaruMetricOpticalFlow(box));
    source.portTime.setMinMax(3, 9);
    source.portTime.setValue(4);
}

void expectCopyOf(const HxKeyframeCameraPath& copy, const HxKeyframeCameraPath& source) {
    EXPECT_EQ(copy.keepAimDistance, source.keepAimDistance);
    EXPECT_EQ(copy.closed, source.closed);
    EXPECT_EQ(copy.rotationMode, source.rotationMode);
    EXPECT_EQ(copy.splineAimPoint, source.splineAimPoint);
    EXPECT_EQ(copy.splineUpDir, source.splineUpDir);
    EXPECT_EQ(copy.splinePosition, source.splinePosition);
    EXPECT_EQ(copy.arcTableSegment, source.arcTableSegment);
    EXPECT_EQ(std::vector<float>(copy.arcTable.begin(), copy.arcTable.end()),
              std::vector<float>(source.arcTable.begin(), source.arcTable.end()));
    EXPECT_EQ(timesOf(copy), timesOf(source));
    ASSERT_EQ(copy.cameras.size(), source.cameras.size());
    for (int i = 0; i < copy.cameras.size(); ++i) {
        EXPECT_NE(copy.cameras[i].ptr(), source.cameras[i].ptr()) << "keyframe " << i;
        EXPECT_EQ(fieldsOf(copy.cameras[i]), fieldsOf(source.cameras[i])) << "keyframe " << i;
    }
}

TEST(HxKeyframeCameraPathCopy, duplicateCopiesAllButThePortAndTheMetric) {
    HxKeyframeCameraPath source;
    fillSource(source);
    McHandle<HxKeyframeCameraPath> copy = source.duplicate();
    ASSERT_NE(copy.ptr(), nullptr);
    EXPECT_EQ(copy->getTypeId(), HxKeyframeCameraPath::getClassTypeId());
    expectCopyOf(*copy, source);
    EXPECT_NE(dynamic_cast<VeVazaruMetricTranslation*>(copy->metric.ptr()), nullptr) << "a fresh translation metric";
    EXPECT_NE(dynamic_cast<VeVazaruMetricOpticalFlow*>(source.metric.ptr()), nullptr) << "the source keeps its own";
    const HxKeyframeCameraPath fresh;
    EXPECT_EQ(copy->portTime.getMaxValue(), fresh.portTime.getMaxValue()) << "port not copied";
    EXPECT_EQ(copy->portTime.getValue(), fresh.portTime.getValue());
}

TEST(HxKeyframeCameraPathCopy, copyDataFitsAnyTargetAndKeepsItsMetric) {
    HxKeyframeCameraPath source, empty;
    fillSource(source);
    for (const std::vector<float>& targetTimes : {std::vector<float>{0, 2, 6, 11, 15}, {20}, {}}) {
        HxKeyframeCameraPath target;
        addAtOwnPlaces(target, targetTimes);
        McHandle<SoCamera> dropped = targetTimes.empty() ? nullptr : target.cameras[0].ptr();
        VeVazaruMetric* ownMetric = target.metric;
        target.copyData(source);
        expectCopyOf(target, source);
        EXPECT_TRUE(!dropped || dropped->getRefCount() == 1) << "replaced cameras are released";
        EXPECT_EQ(target.metric.ptr(), ownMetric);
        target.copyData(empty);
        EXPECT_EQ(target.cameras.size(), 0);
        EXPECT_EQ(target.times.size(), 0);
    }
}

TEST(HxKeyframeCameraPath, setAimPointAndSetUpDirChangeExactlyTheirRange) {
    const struct {
        int first, last;
        std::vector<bool> changed;  // per keyframe of a four-keyframe path
    } cases[] = {{0, -1, {true, true, true, true}},    {2, -1, {false, false, true, true}},
                 {3, -5, {false, false, false, true}}, {1, 2, {false, true, true, false}},
                 {0, 0, {true, false, false, false}},  {2, 1, {false, false, false, false}}};
    const SbVec3f aim(3, -2, 1), up(1, 1, 0);
    for (const auto& c : cases) {
        for (bool aimPoint : {true, false}) {
            SCOPED_TRACE(::testing::Message() << (aimPoint ? "setAimPoint " : "setUpDir ") << c.first << " " << c.last);
            HxKeyframeCameraPath path;
            for (int i = 0; i < 4; ++i)
                path.addKeyframe(float(i), lookAt(SbVec3f(2.0f * i, 1, 10), SbVec3f(float(i), 0, 0)));
            const std::vector<Seen> before = seenIn(path);
            settle(path);
            if (aimPoint)
                path.setAimPoint(aim, c.first, c.last);
            else
                path.setUpDir(up, c.first, c.last);

            for (int i = 0; i < 4; ++i) {
                const SoCamera* camera = path.cameras[i];
                if (!c.changed[i]) {
                    EXPECT_EQ(fieldsOf(camera), before[i].fields) << "keyframe " << i;
                    continue;
                }
                EXPECT_EQ(camera->position.getValue(), SbVec3f(2.0f * i, 1, 10));
                SbVec3f sight = aimPoint ? aim - camera->position.getValue() : before[i].sight;
                sight.normalize();
                EXPECT_TRUE(near(aimOf(camera), aimPoint ? aim : before[i].aim, 1e-4f)) << "keyframe " << i;
                // The old up direction, or the new one, made perpendicular to the line of sight.
                SbVec3f wantedUp = aimPoint ? before[i].up : up;
                wantedUp = wantedUp - sight * wantedUp.dot(sight);
                wantedUp.normalize();
                EXPECT_TRUE(near(upOf(camera), wantedUp, 1e-5f)) << "keyframe " << i;
            }
            expectNoNotice(path);
        }
    }
}

TEST(HxKeyframeCameraPath, equalDistMovesEveryCameraToTheMeanDistanceAlongItsSight) {
    HxKeyframeCameraPath one;
    one.addKeyframe(0, lookAt(SbVec3f(1, 2, 9), SbVec3f(0, 0, 0)));
    const std::vector<float> alone = fieldsOf(one.cameras[0]);
    one.equalDist(SbVec3f(50, 50, 50));
    EXPECT_EQ(fieldsOf(one.cameras[0]), alone) << "one keyframe is left alone";

    HxKeyframeCameraPath path;
    path.addKeyframe(0, lookAt(SbVec3f(0, 0, 10), SbVec3f(0, 0, 0)));
    path.addKeyframe(1, lookAt(SbVec3f(6, 2, 3), SbVec3f(1, 1, 0), SbVec3f(0, 0, 1)));
    path.addKeyframe(2, lookAt(SbVec3f(-4, 5, -2), SbVec3f(2, -1, 1), SbVec3f(1, 1, 0)));
    const SbVec3f ref(1, 1, 1);
    double sum = 0;
    for (const auto& camera : path.cameras) {
        const SbVec3f d = camera->position.getValue() - ref;
        sum += std::sqrt(double(d[0]) * d[0] + double(d[1]) * d[1] + double(d[2]) * d[2]);
    }
    const float mean = float(sum / 3);
    const std::vector<Seen> before = seenIn(path);
    settle(path);
    path.equalDist(ref);
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE("keyframe " + std::to_string(i));
        const SoCamera* camera = path.cameras[i];
        EXPECT_TRUE(near(aimOf(camera), before[i].aim, 1e-4f));
        EXPECT_TRUE(near(viewDirOf(camera), before[i].sight, 1e-5f));
        EXPECT_TRUE(near(upOf(camera), before[i].up, 1e-5f));
        EXPECT_NEAR((camera->position.getValue() - before[i].aim).length(), mean, 1e-4f);
        EXPECT_NEAR(camera->focalDistance.getValue(), mean, 1e-4f);
    }
    expectNoNotice(path);
}

TEST(HxKeyframeCameraPath, durationTimesAndInfo) {
    HxKeyframeCameraPath path;
    EXPECT_EQ(path.getDuration(), 0.0f);
    EXPECT_EQ(path.getTime(0), 0.0f);
    path.info();
    EXPECT_EQ(path.getInfoText(), "Camera Path: 0 keyframes (not closed), total time 0.0");
    addAtOwnPlaces(path, {7, 2});
    EXPECT_EQ(path.getDuration(), 5.0f);
    EXPECT_EQ(path.getTime(1), 7.0f);
    path.closed = 1;
    EXPECT_EQ(path.getDuration(), 5.0f) << "the closing segment is not part of the duration";
    addAtOwnPlaces(path, {15.36f});
    path.info();
    EXPECT_EQ(path.getInfoText(), "Camera Path: 3 keyframes (closed), total time 13.4");
}

TEST(HxKeyframeCameraPath, updateSetsAnUnconnectedTimeRangeAndAlwaysClearsTheTable) {
    HxTimeSource timeSource;
    HxKeyframeCameraPath path;
    addAtOwnPlaces(path, {2, 7});
    path.arcTableSegment = 0;
    path.update();
    EXPECT_EQ(path.portTime.getMinValue(), 0.0f);
    EXPECT_EQ(path.portTime.getMaxValue(), 5.0f);
    EXPECT_EQ(path.arcTableSegment, -1);

    path.portTime.setMinMax(10, 30);
    ASSERT_TRUE(path.portTime.connect(&timeSource));
    path.arcTableSegment = 0;
    path.update();
    EXPECT_EQ(path.portTime.getMinValue(), 10.0f);
    EXPECT_EQ(path.portTime.getMaxValue(), 30.0f);
    EXPECT_EQ(path.arcTableSegment, -1);
}

// A metric that reports its deletion.
struct WatchedMetric : VeVazaruMetricTranslation {
    explicit WatchedMetric(bool& flag) : deleted(flag) {}
    ~WatchedMetric() override { deleted = true; }
    bool& deleted;
};

TEST(HxKeyframeCameraPath, metricIsReleasedWhenReplacedOrWithThePath) {
    bool firstDeleted = false, secondDeleted = false;
    {
        HxKeyframeCameraPath path;
        path.arcTableSegment = 2;
        path.setMetric(new WatchedMetric(firstDeleted));
        path.setMetric(new WatchedMetric(secondDeleted));
        EXPECT_TRUE(firstDeleted);
        EXPECT_FALSE(secondDeleted);
        EXPECT_EQ(path.arcTableSegment, 2) << "setMetric leaves the cached table";
    }
    EXPECT_TRUE(secondDeleted);
}

}  // namespace
