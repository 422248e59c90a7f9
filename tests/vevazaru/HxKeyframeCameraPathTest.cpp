// The keyframe camera path as a container: insertion, removal, bulk edits, update().
#include "HxKeyframeCameraPath.h"
#include "PathTestSupport.h"

#include <ports/HxTimeSource.h>

#include <cmath>
#include <utility>
#include <vector>

namespace {

McHandle<SoCamera> cameraAt(float x, float y = 0) { return lookAt(SbVec3f(x, y, 10), SbVec3f(x, y, 0)); }

std::vector<float> fieldsOf(const SoCamera* camera) {
    const SbVec3f p = camera->position.getValue();
    const float* q = camera->orientation.getValue().getValue();
    const float focal = camera->focalDistance.getValue(), nearPlane = camera->nearDistance.getValue();
    return {p[0], p[1], p[2], q[0], q[1], q[2], q[3], focal, nearPlane};
}
std::vector<float> timesOf(const HxKeyframeCameraPath& path) { return {path.times.begin(), path.times.end()}; }
std::vector<const SoCamera*> nodesOf(const HxKeyframeCameraPath& path) {
    std::vector<const SoCamera*> nodes;
    for (const auto& camera : path.cameras) nodes.push_back(camera.ptr());
    return nodes;
}
void addAtOwnPlaces(HxKeyframeCameraPath& path, const std::vector<float>& times) {
    for (float t : times) path.addKeyframe(t, cameraAt(t));
}

// Clears the change flags as the host does and marks the info text.
const char* const marker = "marker";
void settle(HxKeyframeCameraPath& path) {
    path.fire();
    path.infoTag("", marker);
}
bool noticed(const HxKeyframeCameraPath& path) {
    EXPECT_EQ(path.getTouchFlags() == 0xFFFFFFFFu, path.getInfoText() != marker) << "touched exactly when told";
    return path.getTouchFlags() != 0;
}

// The 0.001 tie rule on keyframes at 1, 3 and 5; a replacement neither notifies nor moves times.
TEST(HxKeyframeCameraPath, addReplacesAKeyframeWithinTheTieOrInsertsACopyInOrder) {
    const struct {
        float time;
        int replaced, inserted;  // the index whose camera is replaced (or -1), else the new keyframe's
    } cases[] = {{3.0f, 1, -1},    {3.0005f, 1, -1}, {2.9995f, 1, -1}, {0.9995f, 0, -1}, {5.0005f, 2, -1},
                 {3.0015f, -1, 2}, {2.9985f, -1, 1}, {0.5f, -1, 0},    {6.0f, -1, 3}};
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << "time " << c.time);
        HxKeyframeCameraPath path;
        addAtOwnPlaces(path, {5, 1, 3});
        std::vector<const SoCamera*> nodes = nodesOf(path);
        settle(path);
        McHandle<SoCamera> mine = cameraAt(c.time, 7);
        path.addKeyframe(c.time, mine);
        std::vector<float> times{1, 3, 5};
        if (c.replaced < 0) {
            times.insert(times.begin() + c.inserted, c.time);
            nodes.insert(nodes.begin() + c.inserted, nullptr);
        } else {
            nodes[c.replaced] = nullptr;
        }
        EXPECT_EQ(timesOf(path), times);
        ASSERT_EQ(path.cameras.size(), int(times.size()));
        for (int i = 0; i < path.cameras.size(); ++i) {
            const std::vector<float> expected = fieldsOf(nodes[i] ? nodes[i] : mine.ptr());
            EXPECT_EQ(fieldsOf(path.cameras[i]), expected) << "keyframe " << i;
            EXPECT_TRUE(!nodes[i] || path.cameras[i].ptr() == nodes[i]) << "keyframe " << i;
        }
        EXPECT_EQ(mine->getRefCount(), 1) << "the path keeps a copy, not the caller's node";
        EXPECT_EQ(noticed(path), c.replaced < 0);
    }
}

// The duration (in the info) leaves out the closing segment.
TEST(HxKeyframeCameraPath, removeKeyframeDropsTimeAndCameraAndNotifies) {
    HxKeyframeCameraPath path;
    addAtOwnPlaces(path, {1, 3, 5, 8});
    const std::vector<const SoCamera*> before = nodesOf(path);
    McHandle<SoCamera> removed = path.cameras[1];
    settle(path);
    path.removeKeyframe(1);
    EXPECT_EQ(timesOf(path), (std::vector<float>{1, 5, 8}));
    EXPECT_EQ(nodesOf(path), (std::vector<const SoCamera*>{before[0], before[2], before[3]}));
    EXPECT_EQ(removed->getRefCount(), 1);
    EXPECT_TRUE(noticed(path));
    EXPECT_EQ(path.getInfoText(), "Camera Path: 3 keyframes (not closed), total time 7.0");
    path.closed = 1;
    path.info();
    EXPECT_EQ(path.getInfoText(), "Camera Path: 3 keyframes (closed), total time 7.0");
    path.removeKeyframe(2);
    path.removeKeyframe(0);
    EXPECT_EQ(timesOf(path), std::vector<float>{5});
}

TEST(HxKeyframeCameraPath, setAimPointAndSetUpDirChangeExactlyTheirRangeQuietly) {
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
            HxKeyframeCameraPath before;
            before.copyData(path);
            settle(path);
            EXPECT_TRUE(aimPoint ? path.setAimPoint(aim, c.first, c.last) : path.setUpDir(up, c.first, c.last));
            for (int i = 0; i < 4; ++i) {
                const SoCamera* old = before.cameras[i];
                // The old up direction, or the new one, made perpendicular to the new line of sight.
                McHandle<SoCamera> wanted =
                    lookAt(old->position.getValue(), aimPoint ? aim : aimOf(old), aimPoint ? upOf(old) : up);
                EXPECT_TRUE(c.changed[i] ? sameView(path.cameras[i], wanted) : sameView(path.cameras[i], old, 0))
                    << "keyframe " << i;
            }
            EXPECT_FALSE(noticed(path));
        }
    }
}

TEST(HxKeyframeCameraPath, equalDistMovesEveryCameraToTheMeanDistanceAlongItsSight) {
    HxKeyframeCameraPath path;
    path.addKeyframe(0, lookAt(SbVec3f(0, 0, 10), SbVec3f(0, 0, 0)));
    path.addKeyframe(1, lookAt(SbVec3f(6, 2, 3), SbVec3f(1, 1, 0), SbVec3f(0, 0, 1)));
    path.addKeyframe(2, lookAt(SbVec3f(-4, 5, -2), SbVec3f(2, -1, 1), SbVec3f(1, 1, 0)));
    const SbVec3f ref(1, 1, 1);
    float mean = 0;  // the distances from ref, squared by hand
    for (double squared : {83.0, 30.0, 50.0}) mean += float(std::sqrt(squared) / 3);
    HxKeyframeCameraPath before;
    before.copyData(path);
    settle(path);
    path.equalDist(ref);
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(::testing::Message() << "keyframe " << i);
        const SoCamera *camera = path.cameras[i], *old = before.cameras[i];
        EXPECT_TRUE(near(camera->position.getValue(), aimOf(old) - sightOf(old) * mean, 1e-4f));
        EXPECT_TRUE(near(upOf(camera), upOf(old), 1e-5f));
        EXPECT_NEAR(camera->focalDistance.getValue(), mean, 1e-4f);
    }
    EXPECT_FALSE(noticed(path));
}

TEST(HxKeyframeCameraPath, updateSetsTheTimeRangeUnlessATimeSourceIsConnected) {
    HxTimeSource timeSource;
    HxKeyframeCameraPath path;
    addAtOwnPlaces(path, {2, 7});
    path.update();
    EXPECT_EQ(std::make_pair(path.portTime.getMinValue(), path.portTime.getMaxValue()), std::make_pair(0.0f, 5.0f));
    path.portTime.setMinMax(10, 30);
    ASSERT_TRUE(path.portTime.connect(&timeSource));
    path.update();
    EXPECT_EQ(std::make_pair(path.portTime.getMinValue(), path.portTime.getMaxValue()), std::make_pair(10.0f, 30.0f));
}

}  // namespace
