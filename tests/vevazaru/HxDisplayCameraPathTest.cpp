// The scene of a keyframe path: glyph scale and geometry, keyframe glyphs kept
// in step with the path, the flight line, the animated camera, transforms
// replaced by manipulators, and keyframe picks through the selection node.
#include "HxDisplayCameraPath.h"

#include <hxcore/HxApplication.h>

#include <Inventor/SbLinear.h>
#include <Inventor/SbViewVolume.h>
#include <Inventor/SbViewportRegion.h>
#include <Inventor/SoInteraction.h>
#include <Inventor/SoPath.h>
#include <Inventor/actions/SoHandleEventAction.h>
#include <Inventor/events/SoMouseButtonEvent.h>
#include <Inventor/manips/SoTransformBoxManip.h>
#include <Inventor/nodes/SoIndexedFaceSet.h>
#include <Inventor/nodes/SoMaterial.h>
#include <Inventor/nodes/SoMaterialBinding.h>
#include <Inventor/nodes/SoPerspectiveCamera.h>
#include <Inventor/nodes/SoSelection.h>
#include <Inventor/nodes/SoTransform.h>
#include <gtest/gtest.h>
#include <tuple>
#include <utility>
#include <vector>

namespace {

McHandle<SoCamera> makeCamera(const SbVec3f& position, const SbVec3f& aim, const SbVec3f& up = SbVec3f(0, 1, 0)) {
    McHandle<SoCamera> camera = new SoPerspectiveCamera;
    VeVazaruPath::setCamera(camera, position, aim, up);
    return camera;
}

// Keyframes 5 seconds apart: on a curve, each looking somewhere else, or (row)
// along x every 10 units, all looking down -z.
McHandle<HxKeyframeCameraPath> makePath(int n, bool row = false) {
    McHandle<HxKeyframeCameraPath> path = new HxKeyframeCameraPath;
    for (int k = 0; k < n; ++k) {
        const SbVec3f p = row ? SbVec3f(10.0f * k, 0, 0) : SbVec3f(4.0f * k, 3.0f * (k % 2), 10.0f - k * k);
        path->addKeyframe(5.0f * k, row ? makeCamera(p, p + SbVec3f(0, 0, -10))
                                        : makeCamera(p, p + SbVec3f(1, -0.5f * k, -6), SbVec3f(0.1f * k, 1, 0)));
    }
    return path;
}

void expectNear(const SbVec3f& actual, const SbVec3f& expected, float tolerance, const char* what) {
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(actual[i], expected[i], tolerance) << what << " component " << i;
}

void expectSameRotation(const SbRotation& actual, const SbRotation& expected, float tolerance, const char* what) {
    // q and -q are the same rotation: compare what they do to two axes.
    for (const SbVec3f& axis : {SbVec3f(1, 0, 0), SbVec3f(0, 1, 0)}) {
        SbVec3f a, e;
        actual.multVec(axis, a);
        expected.multVec(axis, e);
        expectNear(a, e, tolerance, what);
    }
}

SoTransform* transformOf(SoNode* glyph) {
    SoNode* child = static_cast<SoGroup*>(glyph)->getChild(0);
    EXPECT_TRUE(child->isOfType(SoTransform::getClassTypeId()));
    return static_cast<SoTransform*>(child);
}

// The glyph's node i of its inner separator.
SoNode* shapeNode(SoNode* glyph, int i) {
    return static_cast<SoGroup*>(static_cast<SoGroup*>(glyph)->getChild(1))->getChild(i);
}

using Call = std::tuple<void*, int, int>;  // user data, index, selected

void recordCall(void* userData, int index, int selected) {
    // The user data is the recorder itself.
    static_cast<std::vector<Call>*>(userData)->emplace_back(userData, index, selected);
}

SoSelection* selectionOf(HxDisplayCameraPath& display) {
    EXPECT_TRUE(display.keyframeGroup->isOfType(SoSelection::getClassTypeId()))
        << display.keyframeGroup->getTypeId().getName().getString();
    return static_cast<SoSelection*>(display.keyframeGroup.ptr());
}

// A display of `p` below a root of its own; its glyphs and line built unless asked not to.
struct Shown {
    McHandle<SoSeparator> root = new SoSeparator;
    McHandle<HxKeyframeCameraPath> path;
    McHandle<HxDisplayCameraPath> display;

    explicit Shown(HxKeyframeCameraPath* p, float sceneSize = 40, int selectable = 0, bool build = true)
        : path(p), display(new HxDisplayCameraPath(root, p, sceneSize, selectable)) {
        if (build) display->update();
    }
    int glyphs() const { return display->keyframeGroup->getNumChildren(); }
    SoNode* glyph(int k) const { return display->keyframeGroup->getChild(k); }
};

}  // namespace

// ---------------------------------------------------------------------------
// Construction, scale and the camera glyph

TEST(DisplayCameraPath, constructionAddsOnlyAnEmptyKeyframeGroup) {
    for (int selectable : {0, 1}) {
        SCOPED_TRACE(::testing::Message() << "selectable " << selectable);
        Shown s(makePath(3), selectable ? 0.0f : 40.0f, selectable, false);
        EXPECT_EQ(s.display->scale, 1.0f) << "a fortieth of the scene size, 1 for a size of 0";
        ASSERT_EQ(s.root->getNumChildren(), 1);
        EXPECT_EQ(s.root->getChild(0), s.display->keyframeGroup.ptr());
        EXPECT_EQ(s.glyphs(), 0);
        const bool isSelection = s.display->keyframeGroup->isOfType(SoSelection::getClassTypeId());
        EXPECT_EQ(isSelection, selectable != 0);
        if (isSelection) {
            EXPECT_EQ(selectionOf(*s.display)->policy.getValue(), int(SoSelection::SINGLE));
        }
        EXPECT_TRUE(!s.display->pathGroup && !s.display->pathLineSet && !s.display->pathCoords) << "no line yet";
        EXPECT_TRUE(!s.display->animatedCamera && !s.display->selectionCallback);
        // The display holds a reference on the path and on the root.
        EXPECT_EQ(s.path->getRefCount(), 2);
        EXPECT_EQ(s.root->getRefCount(), 2);
    }
}

// A pyramid with its apex at the eye and its base ahead (local -z); face 1
// (vertices 0, 2, 3) lies on the camera's up side and is the coloured one.
TEST(CameraGlyph, pyramidAtTheCameraInKeyframeOrAnimatedColours) {
    McHandle<SoCamera> camera = makeCamera(SbVec3f(3, -2, 7), SbVec3f(0, 1, 0), SbVec3f(0, 0, 1));
    const SbVec3f vertices[5] = {SbVec3f(0, 0, 0), SbVec3f(1, -1, -2), SbVec3f(1, 1, -2), SbVec3f(-1, 1, -2),
                                 SbVec3f(-1, -1, -2)};
    const int32_t faces[21] = {0, 1, 2, -1, 0, 2, 3, -1, 0, 3, 4, -1, 0, 4, 1, -1, 4, 3, 2, 1, -1};
    const SbColor white(1, 1, 1), blue(0.3f, 0.3f, 1), grey(0.3f, 0.3f, 0.3f), red(1, 0.3f, 0.3f);
    const SbColor colours[2][5] = {{white, blue, white, white, grey}, {white, red, white, white, red}};
    const SoType shapeTypes[4] = {SoMaterialBinding::getClassTypeId(), SoMaterial::getClassTypeId(),
                                  SoCoordinate3::getClassTypeId(), SoIndexedFaceSet::getClassTypeId()};
    for (int animated : {0, 1}) {
        SCOPED_TRACE(::testing::Message() << "animated " << animated);
        McHandle<SoSeparator> glyph = HxDisplayCameraPath::createCameraGeometry(camera, animated, 2.5f);
        EXPECT_EQ(glyph->getRefCount(), 1);  // only the handle's: none taken for the caller
        ASSERT_EQ(glyph->getNumChildren(), 2);
        SoTransform* transform = transformOf(glyph);
        EXPECT_EQ(transform->translation.getValue(), SbVec3f(3, -2, 7));
        EXPECT_TRUE(transform->rotation.getValue() == camera->orientation.getValue());
        EXPECT_EQ(transform->scaleFactor.getValue(), SbVec3f(2.5f, 2.5f, 2.5f));

        SoNode* shape = glyph->getChild(1);
        ASSERT_TRUE(shape->isOfType(SoSeparator::getClassTypeId()));
        ASSERT_EQ(static_cast<SoSeparator*>(shape)->getNumChildren(), 4);
        for (int i = 0; i < 4; ++i) ASSERT_TRUE(shapeNode(glyph, i)->isOfType(shapeTypes[i])) << "node " << i;
        EXPECT_EQ(static_cast<SoMaterialBinding*>(shapeNode(glyph, 0))->value.getValue(),
                  int(SoMaterialBinding::PER_FACE));
        const SoMFColor& colour = static_cast<SoMaterial*>(shapeNode(glyph, 1))->diffuseColor;
        ASSERT_EQ(colour.getNum(), 5);
        for (int f = 0; f < 5; ++f) EXPECT_EQ(colour[f], colours[animated][f]) << "face " << f;
        const SoMFVec3f& points = static_cast<SoCoordinate3*>(shapeNode(glyph, 2))->point;
        ASSERT_EQ(points.getNum(), 5);
        for (int v = 0; v < 5; ++v) EXPECT_EQ(points[v], vertices[v]) << "vertex " << v;
        const SoMFInt32& index = static_cast<SoIndexedFaceSet*>(shapeNode(glyph, 3))->coordIndex;
        ASSERT_EQ(index.getNum(), 21);
        for (int i = 0; i < 21; ++i) EXPECT_EQ(index[i], faces[i]) << "index " << i;
    }
}

// ---------------------------------------------------------------------------
// Keyframe glyphs and the flight line

TEST(DisplayKeyframes, lineExistsFromTwoKeyframesOnAndIsEmptiedNotRemovedBelow) {
    Shown s(makePath(1), 400);
    ASSERT_EQ(s.glyphs(), 1);
    EXPECT_EQ(transformOf(s.glyph(0))->translation.getValue(), s.path->cameras[0]->position.getValue());
    EXPECT_EQ(transformOf(s.glyph(0))->scaleFactor.getValue(), SbVec3f(10, 10, 10));
    // Before the line exists the animated camera has nowhere to go.
    s.display->setAnimatedCamera(makeCamera(SbVec3f(1, 1, 1), SbVec3f(0, 0, 0)));
    EXPECT_EQ(s.display->animatedCamera.ptr(), nullptr);
    s.display->hideAnimatedCamera();
    EXPECT_EQ(s.display->pathGroup.ptr(), nullptr);
    EXPECT_EQ(s.display->pathLineSet.ptr(), nullptr);
    EXPECT_EQ(s.root->getNumChildren(), 1);

    McHandle<HxKeyframeCameraPath> four = makePath(4);
    for (int k = 1; k < 4; ++k) s.path->addKeyframe(four->times[k], four->cameras[k]);
    s.display->update();
    SoSeparator* pathGroup = s.display->pathGroup;
    ASSERT_NE(pathGroup, nullptr);
    EXPECT_EQ(s.display->pathCoords->point.getNum(), 31);
    // Closing the path of the same display adds the closing segment, not a second line.
    s.path->closed = 1;
    s.display->updatePath();
    EXPECT_EQ(s.display->pathCoords->point.getNum(), 41);
    EXPECT_EQ(s.display->pathCoords->point[40], s.path->cameras[0]->position.getValue());
    EXPECT_EQ(s.root->getNumChildren(), 2);

    for (int k = 3; k > 0; --k) s.path->removeKeyframe(k);
    s.display->update();
    EXPECT_EQ(s.glyphs(), 1);
    EXPECT_EQ(s.display->pathLineSet->numVertices.getNum(), 0);
    EXPECT_EQ(s.display->pathGroup.ptr(), pathGroup);
    ASSERT_EQ(s.root->getNumChildren(), 2);
    EXPECT_EQ(s.root->getChild(1), pathGroup);
    ASSERT_EQ(pathGroup->getNumChildren(), 2);
    EXPECT_EQ(pathGroup->getChild(0), s.display->pathCoords.ptr());
    EXPECT_EQ(pathGroup->getChild(1), s.display->pathLineSet.ptr());
    EXPECT_EQ(s.display->pathCoords->point.getNum(), 41);  // the points stay; only the line is gone

    // With two keyframes again the same nodes draw the line.
    s.path->addKeyframe(50, makeCamera(SbVec3f(0, 0, 0), SbVec3f(0, 0, -1)));
    s.display->update();
    EXPECT_EQ(s.display->pathGroup.ptr(), pathGroup);
    EXPECT_EQ(s.display->pathCoords->point.getNum(), 11);
    ASSERT_EQ(s.display->pathLineSet->numVertices.getNum(), 1);
    EXPECT_EQ(s.display->pathLineSet->numVertices[0], -1);
}

// Glyphs are updated in place whatever the index: a transform put in by
// replaceTransformation stays and follows its keyframe; surplus glyphs go from the end.
TEST(DisplayKeyframes, glyphsFollowTheKeyframesInPlace) {
    Shown s(makePath(5), 80);
    ASSERT_EQ(s.glyphs(), 5);
    std::vector<McHandle<SoNode>> glyphs;
    for (int k = 0; k < 5; ++k) glyphs.push_back(s.glyph(k));
    McHandle<SoTransform> manip = new SoTransform;
    s.display->replaceTransformation(1, manip);
    manip->scaleFactor.setValue(7, 7, 7);  // as a drag of the box would

    s.path->removeKeyframe(4);
    s.path->removeKeyframe(3);
    VeVazaruPath::setCamera(s.path->cameras[1], SbVec3f(-3, 8, 1), SbVec3f(0, 0, 0), SbVec3f(0, 1, 0));
    VeVazaruPath::setCamera(s.path->cameras[2], SbVec3f(1, 2, 3), SbVec3f(1, 2, -3), SbVec3f(1, 0, 0));
    s.display->updateKeyframe(0);
    ASSERT_EQ(s.glyphs(), 3);
    for (int k = 0; k < 3; ++k) EXPECT_EQ(s.glyph(k), glyphs[k].ptr()) << "glyph " << k;
    EXPECT_EQ(transformOf(glyphs[1]), manip.ptr());
    EXPECT_EQ(manip->scaleFactor.getValue(), SbVec3f(2, 2, 2));
    for (int k : {1, 2}) {
        SoTransform* transform = transformOf(s.glyph(k));
        EXPECT_EQ(transform->translation.getValue(), s.path->cameras[k]->position.getValue()) << "glyph " << k;
        expectSameRotation(transform->rotation.getValue(), s.path->cameras[k]->orientation.getValue(), 1e-6f, "turn");
    }
}

// Each segment starts on its keyframe; a closed path of two has no closing segment.
TEST(DisplayLine, tenPointsPerSegmentFromTheInterpolation) {
    const struct {
        int keyframes, closed, points, lastKeyframe;
    } cases[] = {{3, 0, 21, 2}, {3, 1, 31, 0}, {2, 1, 11, 1}, {5, 0, 41, 4}, {5, 1, 51, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.keyframes << " keyframes, closed " << c.closed);
        McHandle<HxKeyframeCameraPath> path = makePath(c.keyframes);
        path->closed = c.closed;
        Shown s(path);
        ASSERT_EQ(s.root->getNumChildren(), 2);
        ASSERT_EQ(s.root->getChild(1), s.display->pathGroup.ptr());
        ASSERT_EQ(s.display->pathLineSet->numVertices.getNum(), 1);
        EXPECT_EQ(s.display->pathLineSet->numVertices[0], -1);

        const SoMFVec3f& line = s.display->pathCoords->point;
        ASSERT_EQ(line.getNum(), c.points);
        McHandle<SoCamera> scratch = new SoPerspectiveCamera;
        for (int i = 0; i < (c.points - 1) / 10; ++i) {
            expectNear(line[10 * i], path->cameras[i]->position.getValue(), 1e-4f, "segment start");
            for (int j = 0; j < 10; ++j) {
                SCOPED_TRACE(::testing::Message() << "segment " << i << " point " << j);
                path->interp(i, j / 10.0f, scratch);
                expectNear(line[10 * i + j], scratch->position.getValue(), 1e-5f, "line point");
            }
        }
        EXPECT_EQ(line[c.points - 1], path->cameras[c.lastKeyframe]->position.getValue());
    }
}

// ---------------------------------------------------------------------------
// Animated camera

TEST(DisplayAnimatedCamera, redGlyphAtTheCameraIsTheLastChildOfThePathGroup) {
    Shown s(makePath(3), 120, 1);
    s.display->setAnimatedCamera(nullptr);
    EXPECT_EQ(s.display->animatedCamera.ptr(), nullptr);
    EXPECT_EQ(s.display->pathGroup->getNumChildren(), 2) << "a null camera builds no glyph";

    McHandle<SoCamera> camera = makeCamera(SbVec3f(2, 3, 4), SbVec3f(-1, 0, 2), SbVec3f(0, 0, 1));
    bool eventHandled = false;
    HxApplication::post([&eventHandled] { eventHandled = true; });
    s.display->setAnimatedCamera(camera);
    EXPECT_TRUE(eventHandled);  // the host had its pending events processed

    SoSeparator* glyph = s.display->animatedCamera;
    ASSERT_NE(glyph, nullptr);
    auto expectGlyphAt = [&](const SbVec3f& position) {
        EXPECT_EQ(transformOf(glyph)->translation.getValue(), position);
        expectSameRotation(transformOf(glyph)->rotation.getValue(), camera->orientation.getValue(), 1e-6f, "rotation");
    };
    ASSERT_EQ(s.display->pathGroup->getNumChildren(), 3);
    EXPECT_EQ(s.display->pathGroup->getChild(2), glyph);
    EXPECT_EQ(s.glyphs(), 3);  // not a keyframe glyph
    expectGlyphAt(SbVec3f(2, 3, 4));
    EXPECT_EQ(transformOf(glyph)->scaleFactor.getValue(), SbVec3f(3, 3, 3));
    EXPECT_EQ(static_cast<SoMaterial*>(shapeNode(glyph, 1))->diffuseColor[1], SbColor(1.0f, 0.3f, 0.3f));

    // Later frames move the same glyph; a null camera changes nothing.
    VeVazaruPath::setCamera(camera, SbVec3f(-5, 0, 1), SbVec3f(0, 0, 0), SbVec3f(0, 1, 0));
    s.display->setAnimatedCamera(camera);
    EXPECT_EQ(s.display->animatedCamera.ptr(), glyph);
    EXPECT_EQ(s.display->pathGroup->getNumChildren(), 3);
    expectGlyphAt(SbVec3f(-5, 0, 1));
    s.display->setAnimatedCamera(nullptr);
    expectGlyphAt(SbVec3f(-5, 0, 1));

    for (int twice = 0; twice < 2; ++twice) {
        s.display->hideAnimatedCamera();
        EXPECT_EQ(s.display->animatedCamera.ptr(), nullptr);
        ASSERT_EQ(s.display->pathGroup->getNumChildren(), 2);
        EXPECT_EQ(s.display->pathGroup->getChild(1), s.display->pathLineSet.ptr());
    }

    // Shown again, it is a new glyph.
    s.display->setAnimatedCamera(camera);
    ASSERT_NE(s.display->animatedCamera.ptr(), nullptr);
    EXPECT_EQ(s.display->pathGroup->getChild(2), s.display->animatedCamera.ptr());
}

// ---------------------------------------------------------------------------
// Replacing a glyph's transform

namespace {
// A selectable display of three keyframes whose glyph 1 transform was dragged to known values.
struct Dragged : Shown {
    McHandle<SoTransform> old;
    const SbVec3f translation{4, -5, 6}, scale{2, 3, 4};
    const SbRotation rotation{SbVec3f(1, 2, 3), 0.7f};

    Dragged() : Shown(makePath(3), 80, 1) {
        old = transformOf(glyph(1));
        old->translation.setValue(translation);
        old->rotation.setValue(rotation);
        old->scaleFactor.setValue(scale);
    }
    // The transform is glyph 1's now and holds the translation given and the dragged rotation and scale.
    void expectInPlace(SoTransform* transform, const SbVec3f& expectedTranslation) {
        EXPECT_EQ(transformOf(glyph(1)), transform);
        expectNear(transform->translation.getValue(), expectedTranslation, 1e-6f, "translation");
        expectSameRotation(transform->rotation.getValue(), rotation, 1e-6f, "rotation");
        expectNear(transform->scaleFactor.getValue(), scale, 1e-6f, "scale");
    }
};
}  // namespace

TEST(DisplayReplaceTransformation, boxManipStartsWithTheOldTransformAndHandsOnToAPlainOne) {
    SoInteraction::init();
    Dragged d;
    McHandle<SoTransformBoxManip> manip = new SoTransformBoxManip;
    d.display->replaceTransformation(1, manip);
    d.expectInPlace(manip, d.translation);
    for (int k : {0, 2}) EXPECT_FALSE(transformOf(d.glyph(k))->isOfType(SoTransformBoxManip::getClassTypeId()));

    // Deselected, the editor puts a plain transform back.
    McHandle<SoTransform> plain = new SoTransform;
    manip->translation.setValue(1, 1, 1);
    d.display->replaceTransformation(1, plain);
    d.expectInPlace(plain, SbVec3f(1, 1, 1));
}

TEST(DisplayReplaceTransformation, plainTransformTakesValuesAndConnectionsButOnlyInPlaceOfAGlyphs) {
    Dragged d;
    McHandle<SoTransform> replacement = new SoTransform;
    for (int index : {-1, 3, 100}) d.display->replaceTransformation(index, replacement);
    d.display->replaceTransformation(1, nullptr);
    for (int k = 0; k < 3; ++k) EXPECT_NE(transformOf(d.glyph(k)), replacement.ptr()) << "glyph " << k;
    EXPECT_EQ(transformOf(d.glyph(1)), d.old.ptr());
    EXPECT_EQ(replacement->translation.getValue(), SbVec3f(0, 0, 0)) << "untouched without a glyph";
    EXPECT_EQ(replacement->getRefCount(), 1);

    McHandle<SoTransform> source = new SoTransform;
    source->translation.setValue(9, 9, 9);
    d.old->translation.connectFrom(&source->translation);
    d.display->replaceTransformation(1, replacement);
    d.expectInPlace(replacement, SbVec3f(9, 9, 9));
    SoField* master = nullptr;
    ASSERT_TRUE(replacement->translation.getConnectedField(master));
    EXPECT_EQ(master, &source->translation);
    source->translation.setValue(1, 2, 3);
    EXPECT_EQ(replacement->translation.getValue(), SbVec3f(1, 2, 3));
}

// ---------------------------------------------------------------------------
// Picking keyframes

namespace {
constexpr short viewportSize = 400;

// A camera looking down -z at a display of five keyframes in a row along x
// (glyph scale 2), so each glyph shows its apex and its sides to the viewer.
struct PickScene : Shown {
    McHandle<SoSeparator> scene = new SoSeparator;
    McHandle<SoPerspectiveCamera> viewer = new SoPerspectiveCamera;
    std::vector<Call> calls;

    PickScene() : Shown(makePath(5, true), 80, 1) {
        viewer->position.setValue(20, 0, 60);
        viewer->nearDistance = 1;
        viewer->farDistance = 200;
        scene->addChild(viewer);
        scene->addChild(root);
    }
    // The selection keeps the last pick's path, which holds the scene above it.
    ~PickScene() { static_cast<SoSelection*>(root->getChild(0))->deselectAll(); }

    // The pixel of a point on glyph k's upper face, well away from the flight
    // line through the apexes.
    SbVec2s pixelOfGlyph(int k) const {
        const SoCamera* camera = path->cameras[k];
        SbVec3f offset;
        camera->orientation.getValue().multVec(SbVec3f(0, 0.9f, -1.8f) * display->scale, offset);
        return pixelOf(camera->position.getValue() + offset);
    }

    SbVec2s pixelOf(const SbVec3f& world) const {
        SbVec3f screen;
        viewer->getViewVolume(1.0f).projectToScreen(world, screen);
        return SbVec2s(short(screen[0] * viewportSize + 0.5f), short(screen[1] * viewportSize + 0.5f));
    }

    // Presses and releases the first mouse button at the pixel.
    void click(const SbVec2s& pixel) {
        SoHandleEventAction action(SbViewportRegion(viewportSize, viewportSize));
        SoMouseButtonEvent event;
        event.setButton(SoMouseButtonEvent::BUTTON1);
        event.setPosition(pixel);
        for (SoButtonEvent::State state : {SoButtonEvent::DOWN, SoButtonEvent::UP}) {
            event.setState(state);
            action.setEvent(&event);
            action.apply(scene);
        }
    }

    // The glyph the single selected path runs through, or -1.
    int selectedGlyph() {
        SoSelection* selection = selectionOf(*display);
        if (selection->getNumSelected() != 1) return -1;
        const SoPath* picked = selection->getPath(0);
        const int at = picked->findNode(selection);
        return at >= 0 && at + 1 < picked->getLength() ? picked->getIndex(at + 1) : -1;
    }

    // The calls since the last look.
    std::vector<Call> takeCalls() { return std::exchange(calls, {}); }
};
}  // namespace

TEST(DisplaySelection, picksAreReportedByKeyframeIndexToTheLatestCallbackOnly) {
    PickScene s;
    s.click(s.pixelOfGlyph(1));
    EXPECT_EQ(s.selectedGlyph(), 1);  // picks happen without a callback
    // Neither a replaced callback nor one taken away again is called.
    std::vector<Call> earlier;
    s.display->setSelectionCallback(&earlier, recordCall);
    s.display->setSelectionCallback(&s.calls, nullptr);
    s.click(s.pixelOfGlyph(3));
    EXPECT_EQ(s.selectedGlyph(), 3);
    EXPECT_TRUE(s.calls.empty());

    s.display->setSelectionCallback(&s.calls, recordCall);
    void* const me = &s.calls;
    s.click(s.pixelOf(SbVec3f(15, 12, 0)));  // above the row: nothing there
    EXPECT_EQ(s.takeCalls(), (std::vector<Call>{{me, 3, 0}}));
    EXPECT_EQ(selectionOf(*s.display)->getNumSelected(), 0);
    s.click(s.pixelOf(SbVec3f(15, 0, 0)));  // the flight line, halfway between glyphs 1 and 2
    EXPECT_TRUE(s.calls.empty());
    EXPECT_EQ(selectionOf(*s.display)->getNumSelected(), 0);

    s.click(s.pixelOfGlyph(2));
    EXPECT_EQ(s.takeCalls(), (std::vector<Call>{{me, 2, 1}}));
    EXPECT_EQ(s.selectedGlyph(), 2);
    s.click(s.pixelOfGlyph(0));
    EXPECT_EQ(s.takeCalls(), (std::vector<Call>{{me, 2, 0}, {me, 0, 1}}));
    s.click(s.pixelOfGlyph(4));
    EXPECT_EQ(s.takeCalls(), (std::vector<Call>{{me, 0, 0}, {me, 4, 1}}));
    EXPECT_TRUE(earlier.empty());
}

TEST(DisplaySelection, pathsThroughNoGlyphOfThisDisplayAreNotReported) {
    PickScene s;
    s.display->setSelectionCallback(&s.calls, recordCall);
    SoSelection* selection = selectionOf(*s.display);

    // The selection node alone, the flight line, and a glyph of another display.
    McHandle<SoPath> alone = new SoPath(selection), line = new SoPath(s.root);
    line->append(s.display->pathGroup);
    line->append(s.display->pathLineSet);
    Shown other(s.path, 80, 1);
    McHandle<SoPath> foreign = new SoPath(other.display->keyframeGroup);
    foreign->append(2);
    for (SoPath* path : {alone.ptr(), line.ptr(), foreign.ptr(), static_cast<SoPath*>(nullptr)}) {
        s.display->selection(path);
        s.display->deselection(path);
    }
    EXPECT_TRUE(s.calls.empty());

    // The same path built through this display's glyph is reported.
    McHandle<SoPath> own = new SoPath(selection);
    own->append(2);
    s.display->selection(own);
    s.display->deselection(own);
    EXPECT_EQ(s.calls, (std::vector<Call>{{&s.calls, 2, 1}, {&s.calls, 2, 0}}));
}

TEST(DisplaySelection, picksAfterTheDisplayIsGoneReachNoCallback) {
    PickScene s;
    s.display->setSelectionCallback(&s.calls, recordCall);
    const SbVec2s glyph2 = s.pixelOfGlyph(2);
    // The scene keeps the keyframe group alive. Had the display left its
    // callbacks registered, this pick would call into freed memory, which the
    // sanitizer build reports.
    s.display = nullptr;
    McHandle<SoNode> keyframeGroup = s.root->getChild(0);
    ASSERT_TRUE(keyframeGroup->isOfType(SoSelection::getClassTypeId()));
    s.click(glyph2);
    EXPECT_EQ(static_cast<SoSelection*>(keyframeGroup.ptr())->getNumSelected(), 1);
    EXPECT_TRUE(s.calls.empty());
}
