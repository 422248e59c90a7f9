// The scene of a keyframe path: keyframe glyphs and the flight line kept in step
// with the path, and keyframe picks reported through the selection node.
#include "HxDisplayCameraPath.h"
#include "PathTestSupport.h"

#include <Inventor/SoPath.h>
#include <Inventor/nodes/SoSelection.h>
#include <Inventor/nodes/SoTransform.h>

#include <tuple>
#include <vector>

namespace {

// Keyframes 5 seconds apart on a curve, each looking somewhere else.
McHandle<HxKeyframeCameraPath> makePath(int n) {
    McHandle<HxKeyframeCameraPath> path = new HxKeyframeCameraPath;
    for (int k = 0; k < n; ++k) {
        const float f = float(k);
        const SbVec3f p(4 * f, 3.0f * float(k % 2), 10 - f * f);
        path->addKeyframe(5 * f, lookAt(p, p + SbVec3f(1, -0.5f * f, -6), SbVec3f(0.1f * f, 1, 0)));
    }
    return path;
}

SoTransform* transformOf(SoNode* glyph) { return static_cast<SoTransform*>(static_cast<SoGroup*>(glyph)->getChild(0)); }
bool sameTurn(const SbRotation& a, const SbRotation& b) {
    SbVec3f ax, bx, ay, by;
    a.multVec(SbVec3f(1, 0, 0), ax), b.multVec(SbVec3f(1, 0, 0), bx);
    a.multVec(SbVec3f(0, 1, 0), ay), b.multVec(SbVec3f(0, 1, 0), by);
    return near(ax, bx, 1e-5f) && near(ay, by, 1e-5f);
}

// A display of `p` below a root of its own, glyphs and line built; scene size 80 gives glyph scale 2.
struct Shown {
    McHandle<SoSeparator> root = new SoSeparator;
    McHandle<HxKeyframeCameraPath> path;
    McHandle<HxDisplayCameraPath> display;
    explicit Shown(HxKeyframeCameraPath* p, int selectable = 0)
        : path(p), display(new HxDisplayCameraPath(root, p, 80, selectable)) {
        display->update();
    }
    int glyphs() const { return display->keyframeGroup->getNumChildren(); }
    SoNode* glyph(int k) const { return display->keyframeGroup->getChild(k); }
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

// Glyphs are updated in place: a transform put in by replaceTransformation
// stays and follows its keyframe, unscaled; surplus glyphs go from the end; below
// two keyframes the line is emptied, its nodes kept for later.
TEST(DisplayCameraPath, glyphsAndLineFollowTheKeyframesInPlace) {
    Shown s(makePath(5));
    std::vector<McHandle<SoNode>> glyphs;
    for (int k = 0; k < 5; ++k) glyphs.push_back(s.glyph(k));
    McHandle<SoTransform> manip = new SoTransform;
    s.display->replaceTransformation(1, manip);
    manip->scaleFactor.setValue(7, 7, 7);  // as a drag of the box would
    for (int k = 4; k > 1; --k) s.path->removeKeyframe(k);
    VeVazaruPath::setCamera(s.path->cameras[1], SbVec3f(-3, 8, 1), SbVec3f(0, 0, 0), SbVec3f(0, 1, 0));
    s.display->update();
    ASSERT_EQ(s.glyphs(), 2);
    for (int k = 0; k < 2; ++k) EXPECT_EQ(s.glyph(k), glyphs[k].ptr()) << "glyph " << k;
    EXPECT_EQ(transformOf(glyphs[1]), manip.ptr());
    EXPECT_EQ(manip->scaleFactor.getValue(), SbVec3f(2, 2, 2));
    EXPECT_EQ(manip->translation.getValue(), SbVec3f(-3, 8, 1));
    EXPECT_TRUE(sameTurn(manip->rotation.getValue(), s.path->cameras[1]->orientation.getValue()));

    SoSeparator* pathGroup = s.display->pathGroup;
    s.path->removeKeyframe(1);
    s.display->update();
    EXPECT_EQ(s.display->pathLineSet->numVertices.getNum(), 0);
    EXPECT_EQ(s.display->pathGroup.ptr(), pathGroup);
    s.path->addKeyframe(50, lookAt(SbVec3f(0, 0, 0), SbVec3f(0, 0, -1)));
    s.display->update();
    EXPECT_EQ(s.display->pathCoords->point.getNum(), 11);
    ASSERT_EQ(s.display->pathLineSet->numVertices.getNum(), 1);
    EXPECT_EQ(s.root->getNumChildren(), 2) << "the keyframe group and the one line";
}

using Call = std::tuple<void*, int, int>;  // user data, index, selected
void recordCall(void* userData, int index, int selected) {
    static_cast<std::vector<Call>*>(userData)->emplace_back(userData, index, selected);
}

// Only paths through a glyph of this display are reported, by keyframe index,
// to the latest callback; none once the display is gone.
TEST(DisplayCameraPath, selectionsAreReportedByKeyframeIndexOnlyWhileTheDisplayLives) {
    Shown s(makePath(3), 1);
    auto* selection = dynamic_cast<SoSelection*>(s.display->keyframeGroup.ptr());
    ASSERT_NE(selection, nullptr);
    std::vector<Call> calls, earlier;
    s.display->setSelectionCallback(&earlier, recordCall);
    s.display->setSelectionCallback(&calls, recordCall);
    McHandle<SoPath> alone = new SoPath(selection), line = new SoPath(s.root), own = new SoPath(selection);
    line->append(s.display->pathGroup);
    Shown other(s.path, 1);
    McHandle<SoPath> foreign = new SoPath(other.display->keyframeGroup);
    foreign->append(2);
    own->append(2);
    for (SoPath* path : {alone.ptr(), line.ptr(), foreign.ptr(), static_cast<SoPath*>(nullptr)}) {
        s.display->selection(path);
        s.display->deselection(path);
    }
    EXPECT_TRUE(calls.empty());
    selection->select(own);
    selection->deselectAll();
    EXPECT_EQ(calls, (std::vector<Call>{{&calls, 2, 1}, {&calls, 2, 0}}));
    EXPECT_TRUE(earlier.empty());
    // The scene keeps the selection node alive; had the display left its
    // callbacks registered, this would call into freed memory.
    s.display = nullptr;
    selection->select(own);
    selection->deselectAll();
    EXPECT_EQ(calls.size(), 2u);
}

}  // namespace
