// The scene of a keyframe path: the flight line, the scene after edits, and
// keyframe picks reported through the selection node.
#include "HxDisplayCameraPath.h"
#include "PathTestSupport.h"

#include <Inventor/SoLists.h>
#include <Inventor/SoPath.h>
#include <Inventor/manips/SoTransformBoxManip.h>
#include <Inventor/nodes/SoSelection.h>

#include <functional>
#include <string>
#include <tuple>
#include <vector>

namespace {

struct Shown {
    McHandle<SoSeparator> root = new SoSeparator;
    McHandle<HxKeyframeCameraPath> path;
    McHandle<HxDisplayCameraPath> display;
    explicit Shown(HxKeyframeCameraPath* p, int selectable = 0, float sceneSize = 80)
        : path(p), display(new HxDisplayCameraPath(root, p, sceneSize, selectable)) {
        display->update();
    }
};

// Each segment starts on its keyframe; a closed path of two has no closing segment.
TEST(DisplayCameraPath, lineHasTenPointsPerSegmentFromTheInterpolation) {
    const struct {
        int keyframes, closed, points, lastKeyframe;
    } cases[] = {{3, 0, 21, 2}, {3, 1, 31, 0}, {2, 1, 11, 1}, {5, 1, 51, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.keyframes << " keyframes, closed " << c.closed);
        McHandle<HxKeyframeCameraPath> path = makePath(c.keyframes);
        path->closed = c.closed;
        Shown s(path);
        const SoMFVec3f& line = s.display->pathCoords->point;
        ASSERT_EQ(line.getNum(), c.points);
        McHandle<SoCamera> scratch = new SoPerspectiveCamera;
        for (int i = 0; i < c.points - 1; ++i) {
            path->interp(i / 10, float(i % 10) / 10, scratch);
            EXPECT_TRUE(near(line[i], scratch->position.getValue(), 1e-5f)) << "point " << i;
        }
        EXPECT_EQ(line[c.points - 1], path->cameras[c.lastKeyframe]->position.getValue());
    }
}

// Node types and field values alike, walked in step; a node of a type derived
// from the built one's (a manipulator: its fields pass through its dragger) passes.
::testing::AssertionResult sameScene(SoNode* actual, SoNode* built, const std::string& where = "root") {
    if (!actual->isOfType(built->getTypeId())) return ::testing::AssertionFailure() << where << " has another type";
    if (actual->getTypeId() != built->getTypeId()) return ::testing::AssertionSuccess();
    SoFieldList fields;
    for (int k = 0; k < built->getFields(fields); ++k) {
        SbName name;
        built->getFieldName(fields[k], name);
        if (!(*actual->getField(name) == *fields[k])) return ::testing::AssertionFailure() << where << ": " << name;
    }
    const SoChildList *mine = actual->getChildren(), *theirs = built->getChildren();
    if (theirs && mine->getLength() != theirs->getLength())
        return ::testing::AssertionFailure() << where << ": another number of children";
    for (int k = 0; theirs && k < theirs->getLength(); ++k) {
        auto r = sameScene((*mine)[k], (*theirs)[k], where + "/" + std::to_string(k));
        if (!r) return r;
    }
    return ::testing::AssertionSuccess();
}

// Brought up to date after each edit, the display shows what a new display
// builds; a manipulator put in stays at its glyph's index.
TEST(DisplayCameraPath, updatesAfterEditsShowTheSceneOfANewDisplay) {
    McHandle<HxKeyframeCameraPath> path = makePath(6);  // times 0, 1.5, 2, 4, 4.5, 7
    Shown s(path, 1);
    McHandle<SoTransform> manip = new SoTransformBoxManip;
    auto add = [&](float t) { path->addKeyframe(t, lookAt(SbVec3f(t, 2, 3), SbVec3f(0, 0, 0))); };
    const std::function<void()> edits[] = {
        [&] { add(0.5f); },
        [&] { add(-1); },
        [&] { add(9); },
        [&] { path->cameras[3]->position.setValue(0, 5, 0); },
        [&] { s.display->replaceTransformation(4, manip), add(1.7f); },
        [&] { path->removeKeyframe(0); },
        [&] { path->closed = 1, path->removeKeyframe(path->cameras.size() - 1); },
        [&] { s.display->replaceTransformation(3, new SoTransform), path->removeKeyframe(1); },
        [&] { path->setAimPoint(SbVec3f(1, 1, 1), 5, 6), s.display->scale = 3; },
    };
    for (const auto& edit : edits) {
        SCOPED_TRACE(::testing::Message() << "edit " << &edit - edits);
        edit();
        s.display->update();
        Shown built(path, 1, s.display->scale * 40);
        EXPECT_TRUE(sameScene(s.root, built.root));
    }
    EXPECT_EQ(static_cast<SoGroup*>(s.display->keyframeGroup->getChild(4))->getChild(0), manip.ptr());
    EXPECT_TRUE(near(manip->translation.getValue(), path->cameras[4]->position.getValue(), 1e-5f));
}

using Call = std::tuple<void*, int, int>;  // user data, index, selected
void recordCall(void* userData, int index, int selected) {
    static_cast<std::vector<Call>*>(userData)->emplace_back(userData, index, selected);
}

// Only paths through a glyph are reported, by keyframe index; none once the display
// is gone (the scene keeps the selection node: a callback left would reach freed memory).
TEST(DisplayCameraPath, selectionsAreReportedByKeyframeIndexOnlyWhileTheDisplayLives) {
    Shown s(makePath(3), 1);
    auto* selection = dynamic_cast<SoSelection*>(s.display->keyframeGroup.ptr());
    ASSERT_NE(selection, nullptr);
    std::vector<Call> calls;
    s.display->setSelectionCallback(&calls, recordCall);
    McHandle<SoPath> line = new SoPath(s.root), own = new SoPath(selection);
    line->append(s.display->pathGroup);
    own->append(2);
    for (SoPath* path : {line.ptr(), static_cast<SoPath*>(nullptr)}) s.display->selection(path);
    EXPECT_TRUE(calls.empty());
    selection->select(own);
    selection->deselectAll();
    EXPECT_EQ(calls, (std::vector<Call>{{&calls, 2, 1}, {&calls, 2, 0}}));
    s.display = nullptr;
    selection->select(own);
    selection->deselectAll();
    EXPECT_EQ(calls.size(), 2u);
}

}  // namespace
