// The scene of a keyframe path: the flight line, and keyframe picks reported
// through the selection node. (Glyphs kept in step: the editor's tests.)
#include "HxDisplayCameraPath.h"
#include "PathTestSupport.h"

#include <Inventor/SoPath.h>
#include <Inventor/nodes/SoSelection.h>

#include <tuple>
#include <vector>

namespace {

struct Shown {
    McHandle<SoSeparator> root = new SoSeparator;
    McHandle<HxKeyframeCameraPath> path;
    McHandle<HxDisplayCameraPath> display;
    explicit Shown(HxKeyframeCameraPath* p, int selectable = 0)
        : path(p), display(new HxDisplayCameraPath(root, p, 80, selectable)) {
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
