// The keyframe camera path: its type record, keyframe insertion and removal,
// copying, the bulk edits of aim point, up direction and distance, its queries,
// info text and update().
#include "HxKeyframeCameraPath.h"
#include "VeVazaruMetricOpticalFlow.h"
#include "VeVazaruMetricTranslation.h"

#include <mc/McHandle.h>
#include <mc/McTypeInfo.h>

#include <Inventor/nodes/SoPerspectiveCamera.h>
#include <gtest/gtest.h>

#include <cmath>
#include <ostream>
#include <string>
#include <vector>

namespace {

// ---------------------------------------------------------------------------
// Helpers: cameras are read back from their fields with the rotation alone, so
// the checks do not lean on the host's camera helpers.

McHandle<SoPerspectiveCamera> lookAt(const SbVec3f& position, const SbVec3f& aim, const SbVec3f& up = {0, 1, 0}) {
    McHandle<SoPerspectiveCamera> camera = new SoPerspectiveCamera;
    VeVazaruPath::setCamera(camera, position, aim, up);
    return camera;
}

// A camera marked by where it stands.
McHandle<SoPerspectiveCamera> cameraAt(float x, float y = 0, float z = 10) {
    return lookAt(SbVec3f(x, y, z), SbVec3f(x, y, 0));
}

SbVec3f viewDirOf(const SoCamera* camera) {
    SbVec3f dir;
    camera->orientation.getValue().multVec(SbVec3f(0, 0, -1), dir);
    return dir;
}

SbVec3f upOf(const SoCamera* camera) {
    SbVec3f up;
    camera->orientation.getValue().multVec(SbVec3f(0, 1, 0), up);
    return up;
}

SbVec3f aimOf(const SoCamera* camera) {
    return camera->position.getValue() + viewDirOf(camera) * camera->focalDistance.getValue();
}

SbVec3f unit(SbVec3f v) {
    v.normalize();
    return v;
}

// v without its part along the unit vector f, scaled to length 1.
SbVec3f perpendicularUnit(const SbVec3f& v, const SbVec3f& f) { return unit(v - f * v.dot(f)); }

::testing::AssertionResult near(const SbVec3f& actual, const SbVec3f& expected, float tolerance) {
    if ((actual - expected).length() <= tolerance) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "(" << actual[0] << ", " << actual[1] << ", " << actual[2]
                                         << ") is not within " << tolerance << " of (" << expected[0] << ", "
                                         << expected[1] << ", " << expected[2] << ")";
}

// The fields a keyframe camera is made of.
struct CameraFields {
    SbVec3f position;
    SbRotation orientation;
    float focalDistance, heightAngle, nearDistance, farDistance, aspectRatio;

    explicit CameraFields(const SoPerspectiveCamera* c)
        : position(c->position.getValue()),
          orientation(c->orientation.getValue()),
          focalDistance(c->focalDistance.getValue()),
          heightAngle(c->heightAngle.getValue()),
          nearDistance(c->nearDistance.getValue()),
          farDistance(c->farDistance.getValue()),
          aspectRatio(c->aspectRatio.getValue()) {}

    bool operator==(const CameraFields& o) const {
        return position == o.position && orientation == o.orientation && focalDistance == o.focalDistance &&
               heightAngle == o.heightAngle && nearDistance == o.nearDistance && farDistance == o.farDistance &&
               aspectRatio == o.aspectRatio;
    }
};

std::ostream& operator<<(std::ostream& out, const CameraFields& f) {
    return out << "position (" << f.position[0] << ", " << f.position[1] << ", " << f.position[2]
               << "), focal distance " << f.focalDistance;
}

CameraFields fieldsOf(const SoCamera* camera) {
    return CameraFields(static_cast<const SoPerspectiveCamera*>(camera));
}

std::vector<float> timesOf(const HxKeyframeCameraPath& path) {
    return std::vector<float>(path.times.begin(), path.times.end());
}

std::vector<const SoCamera*> nodesOf(const HxKeyframeCameraPath& path) {
    std::vector<const SoCamera*> nodes;
    for (const auto& camera : path.cameras) nodes.push_back(camera.ptr());
    return nodes;
}

// Keyframes at the given times, each camera standing at x = its time.
void addAtOwnPlaces(HxKeyframeCameraPath& path, const std::vector<float>& times) {
    for (float t : times) path.addKeyframe(t, cameraAt(t));
}

// Clears the change flags as the host does after a change was handled, and
// puts a marker in the info text, so that a later change shows.
void settle(HxKeyframeCameraPath& path) {
    path.fire();
    path.infoTag("", "marker");
    ASSERT_EQ(path.getTouchFlags(), 0u);
}

const char* const marker = "marker";

// ---------------------------------------------------------------------------
// Type record and creation

TEST(HxKeyframeCameraPathType, instancesReportTheClassRecord) {
    HxKeyframeCameraPath path;
    const McTypeInfo* record = HxKeyframeCameraPath::getClassTypeId();
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(path.getTypeId(), record);
    EXPECT_EQ(HxKeyframeCameraPath::getClassTypeId(), record) << "later calls return the same record";
    EXPECT_EQ(HxKeyframeCameraPath::initClass(), record);
    EXPECT_STREQ(record->getName(), "HxKeyframeCameraPath");
    EXPECT_EQ(record->parent(), VeVazaruPath::getClassTypeId());
    EXPECT_TRUE(path.isOfType(VeVazaruPath::getClassTypeId()));
}

TEST(HxKeyframeCameraPathType, isCreatedByItsName) {
    const McTypeInfo* type = McTypeInfo::fromName("HxKeyframeCameraPath");
    ASSERT_EQ(type, HxKeyframeCameraPath::getClassTypeId());
    McTypedObject* object = type->createInstance();
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(object->getTypeId(), type);
    auto* path = dynamic_cast<HxKeyframeCameraPath*>(object);
    ASSERT_NE(path, nullptr);
    EXPECT_EQ(path->cameras.size(), 0);
    path->deleteInstance();
}

TEST(HxKeyframeCameraPathType, deleteInstanceDestroysThePathAndAcceptsNull) {
    HxKeyframeCameraPath::deleteInstance(nullptr);

    HxKeyframeCameraPath* path = HxKeyframeCameraPath::createInstance();
    ASSERT_NE(path, nullptr);
    path->addKeyframe(1, cameraAt(1));
    // The path's destruction shows as the release of its camera.
    McHandle<SoCamera> kept = path->cameras[0];
    ASSERT_EQ(kept->getRefCount(), 2);
    HxKeyframeCameraPath::deleteInstance(path);
    EXPECT_EQ(kept->getRefCount(), 1);

    path = HxKeyframeCameraPath::createInstance();
    path->addKeyframe(1, cameraAt(1));
    kept = path->cameras[0];
    path->deleteInstance();
    EXPECT_EQ(kept->getRefCount(), 1);
}

// ---------------------------------------------------------------------------
// Construction

TEST(HxKeyframeCameraPath, startsEmptyAndOpenWithItsDefaults) {
    HxKeyframeCameraPath path;
    EXPECT_EQ(path.cameras.size(), 0);
    EXPECT_EQ(path.times.size(), 0);
    EXPECT_EQ(path.splineAimPoint, 0);
    EXPECT_EQ(path.splineUpDir, 0);
    EXPECT_NE(path.splinePosition, 0);
    EXPECT_NE(path.keepAimDistance, 0);
    EXPECT_EQ(path.closed, 0);
    EXPECT_FALSE(path.isClosed());
    EXPECT_EQ(path.arcTableSegment, -1);
    EXPECT_EQ(path.rotationMode, 0);
    EXPECT_EQ(path.arcTable.size(), 0);
    ASSERT_NE(path.metric.ptr(), nullptr);
    EXPECT_NE(dynamic_cast<VeVazaruMetricTranslation*>(path.metric.ptr()), nullptr);

    EXPECT_STREQ(path.portTime.getName(), "time");
    EXPECT_EQ(path.portTime.getLabel(), QString("Time"));
    EXPECT_EQ(path.portTime.getIncrement(), 0.5f);
    EXPECT_EQ(path.getPort("time"), &path.portTime);
}

TEST(HxKeyframeCameraPath, eachPathHasAMetricOfItsOwn) {
    HxKeyframeCameraPath a, b;
    EXPECT_NE(a.metric.ptr(), b.metric.ptr());
}

// ---------------------------------------------------------------------------
// Adding keyframes: ascending times

struct InsertionOrder {
    const char* name;
    std::vector<float> times;
};

std::ostream& operator<<(std::ostream& out, const InsertionOrder& c) { return out << c.name; }

const InsertionOrder insertionOrders[] = {
    {"fiveOneThree", {5, 1, 3}},  {"oneThreeFive", {1, 3, 5}}, {"fiveThreeOne", {5, 3, 1}},
    {"threeOneFive", {3, 1, 5}},  {"oneFiveThree", {1, 5, 3}}, {"threeFiveOne", {3, 5, 1}},
};

class AddKeyframeOrder : public ::testing::TestWithParam<InsertionOrder> {};

TEST_P(AddKeyframeOrder, keepsTimesAscendingWithTheirCameras) {
    HxKeyframeCameraPath path;
    addAtOwnPlaces(path, GetParam().times);
    EXPECT_EQ(timesOf(path), (std::vector<float>{1, 3, 5}));
    ASSERT_EQ(path.cameras.size(), 3);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(path.cameras[i]->position.getValue()[0], path.times[i]) << "keyframe " << i;
}

INSTANTIATE_TEST_SUITE_P(AllOrders, AddKeyframeOrder, ::testing::ValuesIn(insertionOrders),
                         [](const auto& param) { return std::string(param.param.name); });

TEST(HxKeyframeCameraPath, addToEmptyPathAppendsAndNotifies) {
    HxKeyframeCameraPath path;
    settle(path);
    path.addKeyframe(2.5f, cameraAt(2.5f));
    EXPECT_EQ(timesOf(path), std::vector<float>{2.5f});
    EXPECT_EQ(path.cameras.size(), 1);
    EXPECT_EQ(path.getInfoText(), "Camera Path: 1 keyframes (not closed), total time 0.0");
    EXPECT_EQ(path.getTouchFlags(), 0xFFFFFFFFu);
}

TEST(HxKeyframeCameraPath, addKeepsACopyAndNeverTheCallersCamera) {
    HxKeyframeCameraPath path;
    McHandle<SoPerspectiveCamera> mine = lookAt(SbVec3f(1, 2, 3), SbVec3f(0, 0, -4), SbVec3f(0, 0.6f, 0.8f));
    mine->heightAngle = 0.5f;
    mine->nearDistance = 0.25f;
    mine->farDistance = 250;
    mine->aspectRatio = 1.5f;
    const CameraFields before(mine);
    path.addKeyframe(1, mine);

    EXPECT_EQ(mine->getRefCount(), 1) << "the path holds no reference to the caller's node";
    ASSERT_EQ(path.cameras.size(), 1);
    ASSERT_NE(path.cameras[0].ptr(), mine.ptr());
    EXPECT_TRUE(path.cameras[0]->isOfType(SoPerspectiveCamera::getClassTypeId()));
    EXPECT_EQ(fieldsOf(path.cameras[0]), before);

    mine->position.setValue(9, 9, 9);
    EXPECT_EQ(path.cameras[0]->position.getValue(), before.position);
}

TEST(HxKeyframeCameraPath, replacementKeepsACopyToo) {
    HxKeyframeCameraPath path;
    addAtOwnPlaces(path, {1, 3});
    McHandle<SoPerspectiveCamera> mine = cameraAt(40, 7);
    path.addKeyframe(3, mine);
    EXPECT_EQ(mine->getRefCount(), 1);
    ASSERT_NE(path.cameras[1].ptr(), mine.ptr());
    EXPECT_EQ(fieldsOf(path.cameras[1]), CameraFields(mine));
}

// The 0.001 tie rule, on a path with keyframes at 1, 3 and 5 whose cameras
// stand at x = 1, 3, 5. The added camera stands at y = 7.
struct TieCase {
    const char* name;
    float time;
    int replaced;  // index whose camera is replaced, or -1
    int inserted;  // index of the new keyframe when none is replaced
};

std::ostream& operator<<(std::ostream& out, const TieCase& c) { return out << c.name; }

const TieCase tieCases[] = {
    {"exactlyOnAKeyframe", 3.0f, 1, -1},
    {"justAfterAKeyframe", 3.0005f, 1, -1},
    {"justBeforeAKeyframe", 2.9995f, 1, -1},
    {"justBeforeTheFirst", 0.9995f, 0, -1},
    {"justAfterTheFirst", 1.0009f, 0, -1},
    {"justAfterTheLast", 5.0005f, 2, -1},
    {"justBeforeTheLast", 4.9992f, 2, -1},
    {"clearlyAfterAKeyframe", 3.0015f, -1, 2},
    {"clearlyBeforeAKeyframe", 2.9985f, -1, 1},
    {"beforeTheFirst", 0.5f, -1, 0},
    {"afterTheLast", 6.0f, -1, 3},
    {"inTheMiddle", 2.0f, -1, 1},
};

class AddKeyframeTie : public ::testing::TestWithParam<TieCase> {};

TEST_P(AddKeyframeTie, replacesOrInserts) {
    const TieCase& c = GetParam();
    HxKeyframeCameraPath path;
    addAtOwnPlaces(path, {1, 3, 5});
    const std::vector<const SoCamera*> nodesBefore = nodesOf(path);
    settle(path);

    path.addKeyframe(c.time, cameraAt(c.time, 7));

    if (c.replaced >= 0) {
        EXPECT_EQ(timesOf(path), (std::vector<float>{1, 3, 5})) << "the replaced keyframe keeps its time";
        ASSERT_EQ(path.cameras.size(), 3);
        for (int i = 0; i < 3; ++i) {
            if (i == c.replaced) {
                EXPECT_EQ(path.cameras[i]->position.getValue(), SbVec3f(c.time, 7, 10));
            } else {
                EXPECT_EQ(path.cameras[i].ptr(), nodesBefore[i]) << "keyframe " << i;
            }
        }
        EXPECT_EQ(path.getInfoText(), marker) << "a replacement does not update the info";
        EXPECT_EQ(path.getTouchFlags(), 0u) << "a replacement does not touch the path";
    } else {
        std::vector<float> expected{1, 3, 5};
        expected.insert(expected.begin() + c.inserted, c.time);
        EXPECT_EQ(timesOf(path), expected);
        ASSERT_EQ(path.cameras.size(), 4);
        EXPECT_EQ(path.cameras[c.inserted]->position.getValue(), SbVec3f(c.time, 7, 10));
        for (int i = 0, old = 0; i < 4; ++i) {
            if (i != c.inserted) {
                EXPECT_EQ(path.cameras[i].ptr(), nodesBefore[old++]) << "keyframe " << i;
            }
        }
        EXPECT_NE(path.getInfoText(), marker);
        EXPECT_EQ(path.getTouchFlags(), 0xFFFFFFFFu);
    }
}

INSTANTIATE_TEST_SUITE_P(NearAndFar, AddKeyframeTie, ::testing::ValuesIn(tieCases),
                         [](const auto& param) { return std::string(param.param.name); });

TEST(HxKeyframeCameraPath, tieRuleAppliesToASingleKeyframeOnBothSides) {
    HxKeyframeCameraPath path;
    path.addKeyframe(2, cameraAt(2));
    path.addKeyframe(2.0004f, cameraAt(0, 7));
    path.addKeyframe(1.9996f, cameraAt(0, 8));
    EXPECT_EQ(timesOf(path), std::vector<float>{2});
    ASSERT_EQ(path.cameras.size(), 1);
    EXPECT_EQ(path.cameras[0]->position.getValue(), SbVec3f(0, 8, 10));
}

// Keyframes closer than 0.001 do not arise from addKeyframe, but a file may
// bring them. The search runs past equal times, so the keyframe just before the
// insertion point is the one replaced.
TEST(HxKeyframeCameraPath, tieWithCloseKeyframesReplacesTheLaterOne) {
    HxKeyframeCameraPath path;
    addAtOwnPlaces(path, {3, 4});
    path.times[1] = 3.0005f;
    path.addKeyframe(3.0005f, cameraAt(0, 7));
    EXPECT_EQ(timesOf(path), (std::vector<float>{3, 3.0005f}));
    EXPECT_EQ(path.cameras[0]->position.getValue(), SbVec3f(3, 0, 10));
    EXPECT_EQ(path.cameras[1]->position.getValue(), SbVec3f(0, 7, 10));
}

TEST(HxKeyframeCameraPath, tieWithEqualFirstTimesReplacesTheLaterOne) {
    HxKeyframeCameraPath path;
    addAtOwnPlaces(path, {3, 4});
    path.times[1] = 3;
    path.addKeyframe(3, cameraAt(0, 7));
    EXPECT_EQ(timesOf(path), (std::vector<float>{3, 3}));
    EXPECT_EQ(path.cameras[0]->position.getValue(), SbVec3f(3, 0, 10));
    EXPECT_EQ(path.cameras[1]->position.getValue(), SbVec3f(0, 7, 10));
}

TEST(HxKeyframeCameraPath, insertionUpdatesTheInfoText) {
    HxKeyframeCameraPath path;
    addAtOwnPlaces(path, {4, 12});
    settle(path);
    path.addKeyframe(20, cameraAt(20));
    EXPECT_EQ(path.getInfoText(), "Camera Path: 3 keyframes (not closed), total time 16.0");
}

// ---------------------------------------------------------------------------
// Removing keyframes

TEST(HxKeyframeCameraPath, removingTheFirstOfTwoLeavesTheSecond) {
    HxKeyframeCameraPath path;
    addAtOwnPlaces(path, {2, 7});
    const SoCamera* second = path.cameras[1];
    path.removeKeyframe(0);
    EXPECT_EQ(timesOf(path), std::vector<float>{7});
    ASSERT_EQ(path.cameras.size(), 1);
    EXPECT_EQ(path.cameras[0].ptr(), second);
}

TEST(HxKeyframeCameraPath, removingFromTheMiddleMovesTheLaterDown) {
    HxKeyframeCameraPath path;
    addAtOwnPlaces(path, {1, 3, 5, 8});
    const std::vector<const SoCamera*> before = nodesOf(path);
    path.removeKeyframe(1);
    EXPECT_EQ(timesOf(path), (std::vector<float>{1, 5, 8}));
    EXPECT_EQ(nodesOf(path), (std::vector<const SoCamera*>{before[0], before[2], before[3]}));
    path.removeKeyframe(2);
    EXPECT_EQ(timesOf(path), (std::vector<float>{1, 5}));
    EXPECT_EQ(nodesOf(path), (std::vector<const SoCamera*>{before[0], before[2]}));
}

TEST(HxKeyframeCameraPath, removingReleasesTheCameraAndNotifies) {
    HxKeyframeCameraPath path;
    addAtOwnPlaces(path, {1, 3, 5});
    McHandle<SoCamera> removed = path.cameras[1];
    ASSERT_EQ(removed->getRefCount(), 2);
    settle(path);

    path.removeKeyframe(1);
    EXPECT_EQ(removed->getRefCount(), 1);
    EXPECT_EQ(path.getInfoText(), "Camera Path: 2 keyframes (not closed), total time 4.0");
    EXPECT_EQ(path.getTouchFlags(), 0xFFFFFFFFu);
}

// ---------------------------------------------------------------------------
// Copying

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
    source.arcTable.append(0);
    source.arcTable.append(0.5f);
    source.arcTable.append(1.25f);
    const float box[6] = {-1, 1, -1, 1, -1, 1};
    source.setMetric(new VeVazaruMetricOpticalFlow(box));
    source.portTime.setMinMax(3, 9);
    source.portTime.setValue(4);
}

void expectSameSettings(const HxKeyframeCameraPath& copy, const HxKeyframeCameraPath& source) {
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
}

void expectDistinctEqualCameras(const HxKeyframeCameraPath& copy, const HxKeyframeCameraPath& source) {
    ASSERT_EQ(copy.cameras.size(), source.cameras.size());
    for (int i = 0; i < copy.cameras.size(); ++i) {
        EXPECT_NE(copy.cameras[i].ptr(), source.cameras[i].ptr()) << "keyframe " << i;
        EXPECT_EQ(fieldsOf(copy.cameras[i]), fieldsOf(source.cameras[i])) << "keyframe " << i;
    }
}

TEST(HxKeyframeCameraPathCopy, duplicateCopiesKeyframesAndSettings) {
    HxKeyframeCameraPath source;
    fillSource(source);
    McHandle<HxKeyframeCameraPath> copy = source.duplicate();
    ASSERT_NE(copy.ptr(), nullptr);
    EXPECT_EQ(copy->getTypeId(), HxKeyframeCameraPath::getClassTypeId());
    expectSameSettings(*copy, source);
    expectDistinctEqualCameras(*copy, source);
    EXPECT_EQ(copy->arcTableSegment, 1) << "the cached table stays valid with its segment";
}

TEST(HxKeyframeCameraPathCopy, duplicateGetsAFreshTranslationMetric) {
    HxKeyframeCameraPath source;
    fillSource(source);
    McHandle<HxKeyframeCameraPath> copy = source.duplicate();
    ASSERT_NE(copy->metric.ptr(), nullptr);
    EXPECT_NE(copy->metric.ptr(), source.metric.ptr());
    EXPECT_NE(dynamic_cast<VeVazaruMetricTranslation*>(copy->metric.ptr()), nullptr);
    EXPECT_NE(dynamic_cast<VeVazaruMetricOpticalFlow*>(source.metric.ptr()), nullptr) << "the source keeps its own";
}

TEST(HxKeyframeCameraPathCopy, timePortIsNotCopied) {
    HxKeyframeCameraPath source;
    fillSource(source);
    HxKeyframeCameraPath fresh;
    McHandle<HxKeyframeCameraPath> copy = source.duplicate();
    EXPECT_EQ(copy->portTime.getMinValue(), fresh.portTime.getMinValue());
    EXPECT_EQ(copy->portTime.getMaxValue(), fresh.portTime.getMaxValue());
    EXPECT_EQ(copy->portTime.getValue(), fresh.portTime.getValue());
}

TEST(HxKeyframeCameraPathCopy, copyAndSourceChangeIndependently) {
    HxKeyframeCameraPath source;
    fillSource(source);
    McHandle<HxKeyframeCameraPath> copy = source.duplicate();
    const CameraFields firstCopied = fieldsOf(copy->cameras[0]);

    ASSERT_EQ(copy->arcTable.size(), 3);
    source.cameras[0]->position.setValue(100, 100, 100);
    source.removeKeyframe(2);
    source.arcTable[0] = 42;
    EXPECT_EQ(fieldsOf(copy->cameras[0]), firstCopied);
    EXPECT_EQ(copy->cameras.size(), 3);
    EXPECT_EQ(copy->times.size(), 3);
    EXPECT_EQ(copy->arcTable[0], 0.0f);

    copy->cameras[1]->position.setValue(-50, 0, 0);
    EXPECT_NE(source.cameras[1]->position.getValue(), SbVec3f(-50, 0, 0));
}

TEST(HxKeyframeCameraPathCopy, copyDataReplacesMoreKeyframesAndKeepsTheTargetsMetric) {
    HxKeyframeCameraPath source;
    fillSource(source);
    HxKeyframeCameraPath target;
    addAtOwnPlaces(target, {0, 2, 6, 11, 15});
    McHandle<SoCamera> dropped = target.cameras[4];
    VeVazaruMetric* ownMetric = target.metric;

    target.copyData(source);
    expectSameSettings(target, source);
    expectDistinctEqualCameras(target, source);
    EXPECT_EQ(dropped->getRefCount(), 1) << "surplus cameras are released";
    EXPECT_EQ(target.metric.ptr(), ownMetric);
}

TEST(HxKeyframeCameraPathCopy, copyDataGrowsAPathWithFewerKeyframes) {
    HxKeyframeCameraPath source;
    fillSource(source);
    HxKeyframeCameraPath target;
    addAtOwnPlaces(target, {20});
    McHandle<SoCamera> replaced = target.cameras[0];
    target.copyData(source);
    expectSameSettings(target, source);
    expectDistinctEqualCameras(target, source);
    EXPECT_EQ(replaced->getRefCount(), 1);
}

TEST(HxKeyframeCameraPathCopy, copyOfAnEmptyPathIsEmpty) {
    HxKeyframeCameraPath source;
    HxKeyframeCameraPath target;
    addAtOwnPlaces(target, {1, 2});
    target.copyData(source);
    EXPECT_EQ(target.cameras.size(), 0);
    EXPECT_EQ(target.times.size(), 0);
    EXPECT_EQ(target.arcTableSegment, -1);
}

// ---------------------------------------------------------------------------
// Aim point and up direction of a range of keyframes

struct RangeCase {
    const char* name;
    int first, last;
    std::vector<bool> changed;  // per keyframe of a four-keyframe path
};

std::ostream& operator<<(std::ostream& out, const RangeCase& c) { return out << c.name; }

const RangeCase rangeCases[] = {
    {"allByNegativeLast", 0, -1, {true, true, true, true}},
    {"fromTheThirdByNegativeLast", 2, -1, {false, false, true, true}},
    {"anyNegativeLastMeansTheLast", 3, -5, {false, false, false, true}},
    {"inner", 1, 2, {false, true, true, false}},
    {"firstOnly", 0, 0, {true, false, false, false}},
    {"lastByIndex", 3, 3, {false, false, false, true}},
    {"firstAfterLastChangesNothing", 2, 1, {false, false, false, false}},
};

// Four keyframes looking from (2i, 1, 10) at (i, 0, 0).
void fillFour(HxKeyframeCameraPath& path) {
    for (int i = 0; i < 4; ++i)
        path.addKeyframe(float(i), lookAt(SbVec3f(2.0f * i, 1, 10), SbVec3f(float(i), 0, 0)));
}

class KeyframeRange : public ::testing::TestWithParam<RangeCase> {};

TEST_P(KeyframeRange, setAimPointReaimsExactlyTheRange) {
    const RangeCase& c = GetParam();
    HxKeyframeCameraPath path;
    fillFour(path);
    std::vector<CameraFields> before;
    for (const auto& camera : path.cameras) before.push_back(fieldsOf(camera));
    std::vector<SbVec3f> upBefore;
    for (const auto& camera : path.cameras) upBefore.push_back(upOf(camera));
    settle(path);

    const SbVec3f aim(3, -2, 1);
    path.setAimPoint(aim, c.first, c.last);

    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE("keyframe " + std::to_string(i));
        const SoCamera* camera = path.cameras[i];
        if (!c.changed[i]) {
            EXPECT_EQ(fieldsOf(camera), before[i]);
            continue;
        }
        EXPECT_EQ(camera->position.getValue(), before[i].position);
        EXPECT_TRUE(near(aimOf(camera), aim, 1e-4f));
        // The old up direction, made perpendicular to the new line of sight.
        const SbVec3f sight = unit(aim - before[i].position);
        EXPECT_TRUE(near(upOf(camera), perpendicularUnit(upBefore[i], sight), 1e-5f));
    }
    EXPECT_EQ(path.getTouchFlags(), 0u);
    EXPECT_EQ(path.getInfoText(), marker);
}

TEST_P(KeyframeRange, setUpDirTurnsExactlyTheRange) {
    const RangeCase& c = GetParam();
    HxKeyframeCameraPath path;
    fillFour(path);
    std::vector<CameraFields> before;
    for (const auto& camera : path.cameras) before.push_back(fieldsOf(camera));
    std::vector<SbVec3f> aimBefore, sightBefore;
    for (const auto& camera : path.cameras) {
        aimBefore.push_back(aimOf(camera));
        sightBefore.push_back(viewDirOf(camera));
    }
    settle(path);

    const SbVec3f up(1, 1, 0);
    path.setUpDir(up, c.first, c.last);

    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE("keyframe " + std::to_string(i));
        const SoCamera* camera = path.cameras[i];
        if (!c.changed[i]) {
            EXPECT_EQ(fieldsOf(camera), before[i]);
            continue;
        }
        EXPECT_EQ(camera->position.getValue(), before[i].position);
        EXPECT_TRUE(near(aimOf(camera), aimBefore[i], 1e-4f));
        EXPECT_TRUE(near(viewDirOf(camera), sightBefore[i], 1e-5f));
        EXPECT_TRUE(near(upOf(camera), perpendicularUnit(up, sightBefore[i]), 1e-5f));
    }
    EXPECT_EQ(path.getTouchFlags(), 0u);
    EXPECT_EQ(path.getInfoText(), marker);
}

INSTANTIATE_TEST_SUITE_P(Ranges, KeyframeRange, ::testing::ValuesIn(rangeCases),
                         [](const auto& param) { return std::string(param.param.name); });

// ---------------------------------------------------------------------------
// Equal distances

TEST(HxKeyframeCameraPathEqualDist, oneKeyframeIsLeftAlone) {
    HxKeyframeCameraPath path;
    path.addKeyframe(0, lookAt(SbVec3f(1, 2, 9), SbVec3f(0, 0, 0)));
    const CameraFields before = fieldsOf(path.cameras[0]);
    path.equalDist(SbVec3f(50, 50, 50));
    EXPECT_EQ(fieldsOf(path.cameras[0]), before);
}

TEST(HxKeyframeCameraPathEqualDist, emptyPathIsLeftAlone) {
    HxKeyframeCameraPath path;
    path.equalDist(SbVec3f(1, 1, 1));
    EXPECT_EQ(path.cameras.size(), 0);
}

TEST(HxKeyframeCameraPathEqualDist, everyCameraMovesToTheMeanDistanceAlongItsSight) {
    HxKeyframeCameraPath path;
    path.addKeyframe(0, lookAt(SbVec3f(0, 0, 10), SbVec3f(0, 0, 0)));
    path.addKeyframe(1, lookAt(SbVec3f(6, 2, 3), SbVec3f(1, 1, 0), SbVec3f(0, 0, 1)));
    path.addKeyframe(2, lookAt(SbVec3f(-4, 5, -2), SbVec3f(2, -1, 1), SbVec3f(1, 1, 0)));
    const SbVec3f ref(1, 1, 1);

    double sum = 0;
    std::vector<SbVec3f> aim, sight, up;
    for (const auto& camera : path.cameras) {
        const SbVec3f p = camera->position.getValue();
        sum += std::sqrt(double(p[0] - ref[0]) * (p[0] - ref[0]) + double(p[1] - ref[1]) * (p[1] - ref[1]) +
                         double(p[2] - ref[2]) * (p[2] - ref[2]));
        aim.push_back(aimOf(camera));
        sight.push_back(viewDirOf(camera));
        up.push_back(upOf(camera));
    }
    const float meanDistance = float(sum / 3);
    settle(path);

    path.equalDist(ref);

    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE("keyframe " + std::to_string(i));
        const SoCamera* camera = path.cameras[i];
        EXPECT_TRUE(near(aimOf(camera), aim[i], 1e-4f));
        EXPECT_TRUE(near(viewDirOf(camera), sight[i], 1e-5f));
        EXPECT_TRUE(near(upOf(camera), up[i], 1e-5f));
        EXPECT_NEAR((camera->position.getValue() - aim[i]).length(), meanDistance, 1e-4f);
        EXPECT_NEAR(camera->focalDistance.getValue(), meanDistance, 1e-4f);
    }
    EXPECT_EQ(path.getTouchFlags(), 0u);
    EXPECT_EQ(path.getInfoText(), marker);
}

// ---------------------------------------------------------------------------
// Queries and info

TEST(HxKeyframeCameraPath, durationSpansFirstToLastKeyframe) {
    HxKeyframeCameraPath path;
    EXPECT_EQ(path.getDuration(), 0.0f);
    EXPECT_EQ(path.getTime(0), 0.0f);
    addAtOwnPlaces(path, {7, 2});
    EXPECT_EQ(path.getDuration(), 5.0f);
    EXPECT_EQ(path.getTime(0), 2.0f);
    EXPECT_EQ(path.getTime(1), 7.0f);
    addAtOwnPlaces(path, {-1.5f});
    EXPECT_EQ(path.getDuration(), 8.5f);
    EXPECT_EQ(path.getTime(0), -1.5f);
}

TEST(HxKeyframeCameraPath, closingSegmentIsNotPartOfTheDuration) {
    HxKeyframeCameraPath path;
    addAtOwnPlaces(path, {2, 7});
    path.closed = 1;
    EXPECT_TRUE(path.isClosed());
    EXPECT_EQ(path.getDuration(), 5.0f);
}

TEST(HxKeyframeCameraPathInfo, readsCountOpennessAndDuration) {
    HxKeyframeCameraPath path;
    addAtOwnPlaces(path, {2, 10, 22});
    path.info();
    EXPECT_EQ(path.getInfoText(), "Camera Path: 3 keyframes (not closed), total time 20.0");
    path.closed = 1;
    path.info();
    EXPECT_EQ(path.getInfoText(), "Camera Path: 3 keyframes (closed), total time 20.0");
}

TEST(HxKeyframeCameraPathInfo, durationHasOneDecimal) {
    HxKeyframeCameraPath path;
    addAtOwnPlaces(path, {1, 13.36f});
    path.info();
    EXPECT_EQ(path.getInfoText(), "Camera Path: 2 keyframes (not closed), total time 12.4");
}

TEST(HxKeyframeCameraPathInfo, emptyPath) {
    HxKeyframeCameraPath path;
    path.info();
    EXPECT_EQ(path.getInfoText(), "Camera Path: 0 keyframes (not closed), total time 0.0");
}

// ---------------------------------------------------------------------------
// update()

TEST(HxKeyframeCameraPathUpdate, unconnectedTimePortSpansTheDuration) {
    HxKeyframeCameraPath path;
    addAtOwnPlaces(path, {2, 7});
    path.arcTableSegment = 0;
    path.update();
    EXPECT_EQ(path.portTime.getMinValue(), 0.0f);
    EXPECT_EQ(path.portTime.getMaxValue(), 5.0f);
    EXPECT_EQ(path.arcTableSegment, -1);

    path.addKeyframe(12, cameraAt(12));
    path.update();
    EXPECT_EQ(path.portTime.getMinValue(), 0.0f);
    EXPECT_EQ(path.portTime.getMaxValue(), 10.0f);
}

TEST(HxKeyframeCameraPathUpdate, connectedTimePortKeepsItsRange) {
    HxKeyframeCameraPath timeSource;
    HxKeyframeCameraPath path;
    addAtOwnPlaces(path, {2, 7});
    path.portTime.setMinMax(10, 30);
    ASSERT_TRUE(path.portTime.connect(&timeSource));
    path.arcTableSegment = 0;

    path.update();
    EXPECT_EQ(path.portTime.getMinValue(), 10.0f);
    EXPECT_EQ(path.portTime.getMaxValue(), 30.0f);
    EXPECT_EQ(path.arcTableSegment, -1);

    path.portTime.disconnect();
    path.update();
    EXPECT_EQ(path.portTime.getMinValue(), 0.0f);
    EXPECT_EQ(path.portTime.getMaxValue(), 5.0f);
}

// ---------------------------------------------------------------------------
// Metric and ownership

// A metric that reports its deletion.
struct WatchedMetric : VeVazaruMetricTranslation {
    explicit WatchedMetric(bool& flag) : deleted(flag) {}
    ~WatchedMetric() override { deleted = true; }
    bool& deleted;
};

TEST(HxKeyframeCameraPathMetric, setMetricReleasesTheOldMetric) {
    HxKeyframeCameraPath path;
    bool firstDeleted = false, secondDeleted = false;
    auto* first = new WatchedMetric(firstDeleted);
    path.setMetric(first);
    EXPECT_EQ(path.metric.ptr(), first);
    EXPECT_EQ(first->getRefCount(), 1);

    path.setMetric(new WatchedMetric(secondDeleted));
    EXPECT_TRUE(firstDeleted);
    EXPECT_FALSE(secondDeleted);
}

TEST(HxKeyframeCameraPathMetric, setMetricLeavesTheCachedTable) {
    HxKeyframeCameraPath path;
    path.arcTableSegment = 2;
    const float box[6] = {0, 1, 0, 1, 0, 1};
    path.setMetric(new VeVazaruMetricOpticalFlow(box));
    EXPECT_EQ(path.arcTableSegment, 2);
}

TEST(HxKeyframeCameraPathMetric, destroyingThePathReleasesMetricAndCameras) {
    bool metricDeleted = false;
    McHandle<SoCamera> camera;
    {
        HxKeyframeCameraPath path;
        path.setMetric(new WatchedMetric(metricDeleted));
        path.addKeyframe(1, cameraAt(1));
        camera = path.cameras[0];
        ASSERT_EQ(camera->getRefCount(), 2);
    }
    EXPECT_TRUE(metricDeleted);
    EXPECT_EQ(camera->getRefCount(), 1);
}

}  // namespace
