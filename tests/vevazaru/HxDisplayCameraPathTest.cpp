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
#include <ostream>
#include <string>
#include <tuple>
#include <vector>

namespace {

McHandle<SoCamera> makeCamera(const SbVec3f& position, const SbVec3f& aim, const SbVec3f& up = SbVec3f(0, 1, 0)) {
    McHandle<SoCamera> camera = new SoPerspectiveCamera;
    VeVazaruPath::setCamera(camera, position, aim, up);
    return camera;
}

// Keyframes on a curve, each looking somewhere else, 5 seconds apart.
McHandle<HxKeyframeCameraPath> makeCurvedPath(int n) {
    McHandle<HxKeyframeCameraPath> path = new HxKeyframeCameraPath;
    for (int k = 0; k < n; ++k) {
        const SbVec3f position(4.0f * k, 3.0f * (k % 2), 10.0f - k * k);
        path->addKeyframe(5.0f * k, makeCamera(position, position + SbVec3f(1, -0.5f * k, -6), SbVec3f(0.1f * k, 1, 0)));
    }
    return path;
}

// Keyframes in a row along x, every 10 units, all looking down -z.
McHandle<HxKeyframeCameraPath> makeRowPath(int n) {
    McHandle<HxKeyframeCameraPath> path = new HxKeyframeCameraPath;
    for (int k = 0; k < n; ++k) {
        const SbVec3f position(10.0f * k, 0, 0);
        path->addKeyframe(5.0f * k, makeCamera(position, position + SbVec3f(0, 0, -10)));
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
    SoGroup* shape = static_cast<SoGroup*>(static_cast<SoGroup*>(glyph)->getChild(1));
    return shape->getChild(i);
}

struct Call {
    void* userData;
    int index;
    int selected;
    bool operator==(const Call& o) const {
        return std::tie(userData, index, selected) == std::tie(o.userData, o.index, o.selected);
    }
};

std::ostream& operator<<(std::ostream& os, const Call& c) {
    return os << "(" << c.userData << ", " << c.index << ", " << c.selected << ")";
}

void recordCall(void* userData, int index, int selected) {
    // The user data is the recorder itself.
    static_cast<std::vector<Call>*>(userData)->push_back(Call{userData, index, selected});
}

SoSelection* selectionOf(HxDisplayCameraPath& display) {
    EXPECT_TRUE(display.keyframeGroup->isOfType(SoSelection::getClassTypeId()))
        << display.keyframeGroup->getTypeId().getName().getString();
    return static_cast<SoSelection*>(display.keyframeGroup.ptr());
}

}  // namespace

// ---------------------------------------------------------------------------
// Construction and scale

struct ScaleCase {
    const char* name;
    float sceneSize;
    float scale;
};

class DisplayScale : public ::testing::TestWithParam<ScaleCase> {};

TEST_P(DisplayScale, glyphScaleIsAFortiethOfTheSceneSize) {
    const ScaleCase& c = GetParam();
    McHandle<SoSeparator> root = new SoSeparator;
    McHandle<HxKeyframeCameraPath> path = makeCurvedPath(2);
    McHandle<HxDisplayCameraPath> display = new HxDisplayCameraPath(root, path, c.sceneSize, 0);
    EXPECT_EQ(display->scale, c.scale);
    display->update();
    ASSERT_EQ(display->keyframeGroup->getNumChildren(), 2);
    for (int k = 0; k < 2; ++k)
        EXPECT_EQ(transformOf(display->keyframeGroup->getChild(k))->scaleFactor.getValue(),
                  SbVec3f(c.scale, c.scale, c.scale));
}

INSTANTIATE_TEST_SUITE_P(Sizes, DisplayScale,
                         ::testing::Values(ScaleCase{"zeroMeansOne", 0, 1}, ScaleCase{"forty", 40, 1},
                                           ScaleCase{"fourHundred", 400, 10}),
                         [](const ::testing::TestParamInfo<ScaleCase>& param) { return std::string(param.param.name); });

TEST(DisplayCameraPath, constructionAddsOnlyTheKeyframeGroup) {
    McHandle<SoSeparator> root = new SoSeparator;
    McHandle<HxKeyframeCameraPath> path = makeCurvedPath(3);
    McHandle<HxDisplayCameraPath> display = new HxDisplayCameraPath(root, path, 40, 0);
    ASSERT_EQ(root->getNumChildren(), 1);
    EXPECT_EQ(root->getChild(0), display->keyframeGroup.ptr());
    EXPECT_FALSE(display->keyframeGroup->isOfType(SoSelection::getClassTypeId()));
    EXPECT_EQ(display->keyframeGroup->getNumChildren(), 0);
    EXPECT_EQ(display->pathGroup.ptr(), nullptr);
    EXPECT_EQ(display->pathLineSet.ptr(), nullptr);
    EXPECT_EQ(display->pathCoords.ptr(), nullptr);
    EXPECT_EQ(display->animatedCamera.ptr(), nullptr);
    EXPECT_EQ(display->selectionCallback, nullptr);
    // The display holds a reference on the path and on the root.
    EXPECT_EQ(path->getRefCount(), 2);
    EXPECT_EQ(root->getRefCount(), 2);
}

TEST(DisplayCameraPath, selectableDisplayPicksOneKeyframeAtATime) {
    McHandle<SoSeparator> root = new SoSeparator;
    McHandle<HxDisplayCameraPath> display = new HxDisplayCameraPath(root, makeCurvedPath(2), 40, 1);
    EXPECT_EQ(selectionOf(*display)->policy.getValue(), int(SoSelection::SINGLE));
    EXPECT_EQ(root->getChild(0), display->keyframeGroup.ptr());
}

// ---------------------------------------------------------------------------
// Camera glyph

TEST(CameraGlyph, nodeStructureVerticesAndFaces) {
    McHandle<SoCamera> camera = makeCamera(SbVec3f(3, -2, 7), SbVec3f(0, 1, 0), SbVec3f(0, 0, 1));
    McHandle<SoSeparator> glyph = HxDisplayCameraPath::createCameraGeometry(camera, 0, 2.5f);
    ASSERT_EQ(glyph->getNumChildren(), 2);
    SoTransform* transform = transformOf(glyph);
    EXPECT_EQ(transform->translation.getValue(), SbVec3f(3, -2, 7));
    EXPECT_TRUE(transform->rotation.getValue() == camera->orientation.getValue());
    EXPECT_EQ(transform->scaleFactor.getValue(), SbVec3f(2.5f, 2.5f, 2.5f));

    SoNode* shape = glyph->getChild(1);
    ASSERT_TRUE(shape->isOfType(SoSeparator::getClassTypeId()));
    ASSERT_EQ(static_cast<SoSeparator*>(shape)->getNumChildren(), 4);
    ASSERT_TRUE(shapeNode(glyph, 0)->isOfType(SoMaterialBinding::getClassTypeId()));
    ASSERT_TRUE(shapeNode(glyph, 1)->isOfType(SoMaterial::getClassTypeId()));
    ASSERT_TRUE(shapeNode(glyph, 2)->isOfType(SoCoordinate3::getClassTypeId()));
    ASSERT_TRUE(shapeNode(glyph, 3)->isOfType(SoIndexedFaceSet::getClassTypeId()));
    EXPECT_EQ(static_cast<SoMaterialBinding*>(shapeNode(glyph, 0))->value.getValue(),
              int(SoMaterialBinding::PER_FACE));

    const SoMFVec3f& points = static_cast<SoCoordinate3*>(shapeNode(glyph, 2))->point;
    const SbVec3f vertices[5] = {SbVec3f(0, 0, 0), SbVec3f(1, -1, -2), SbVec3f(1, 1, -2), SbVec3f(-1, 1, -2),
                                 SbVec3f(-1, -1, -2)};
    ASSERT_EQ(points.getNum(), 5);
    for (int v = 0; v < 5; ++v) EXPECT_EQ(points[v], vertices[v]) << "vertex " << v;

    const SoMFInt32& index = static_cast<SoIndexedFaceSet*>(shapeNode(glyph, 3))->coordIndex;
    const int32_t faces[21] = {0, 1, 2, -1, 0, 2, 3, -1, 0, 3, 4, -1, 0, 4, 1, -1, 4, 3, 2, 1, -1};
    ASSERT_EQ(index.getNum(), 21);
    for (int i = 0; i < 21; ++i) EXPECT_EQ(index[i], faces[i]) << "index " << i;
    EXPECT_EQ(glyph->getRefCount(), 1);  // only the handle's: none taken for the caller
}

TEST(CameraGlyph, apexAtTheEyeBaseAheadAndBlueFaceUp) {
    // Placed in the world, the glyph points where the camera looks.
    const SbVec3f eye(3, -2, 7), aim(0, 1, 0), up(0, 0, 1);
    McHandle<SoCamera> camera = makeCamera(eye, aim, up);
    McHandle<SoSeparator> glyph = HxDisplayCameraPath::createCameraGeometry(camera, 0, 2.0f);
    SoTransform* transform = transformOf(glyph);
    SbMatrix toWorld;
    toWorld.setTransform(transform->translation.getValue(), transform->rotation.getValue(),
                         transform->scaleFactor.getValue());
    const SoMFVec3f& points = static_cast<SoCoordinate3*>(shapeNode(glyph, 2))->point;
    SbVec3f world[5];
    for (int v = 0; v < 5; ++v) toWorld.multVecMatrix(points[v], world[v]);
    expectNear(world[0], eye, 1e-5f, "apex");
    SbVec3f viewing = aim - eye, upDir;
    viewing.normalize();
    VeVazaruPath::UPDIR(camera, upDir);
    const SbVec3f baseCentre = (world[1] + world[2] + world[3] + world[4]) / 4;
    expectNear(baseCentre, eye + viewing * 4.0f, 1e-4f, "base centre");
    // Face 1 (vertices 0, 2, 3) lies on the camera's up side; its colour is blue.
    expectNear((world[2] + world[3]) / 2 - baseCentre, upDir * 2.0f, 1e-4f, "up face");
}

TEST(CameraGlyph, keyframeAndAnimatedColours) {
    McHandle<SoCamera> camera = makeCamera(SbVec3f(0, 0, 5), SbVec3f(0, 0, 0));
    const SbColor keyframe[5] = {SbColor(1, 1, 1), SbColor(0.3f, 0.3f, 1.0f), SbColor(1, 1, 1), SbColor(1, 1, 1),
                                 SbColor(0.3f, 0.3f, 0.3f)};
    const SbColor animated[5] = {SbColor(1, 1, 1), SbColor(1.0f, 0.3f, 0.3f), SbColor(1, 1, 1), SbColor(1, 1, 1),
                                 SbColor(1.0f, 0.3f, 0.3f)};
    for (int isAnimated : {0, 1}) {
        McHandle<SoSeparator> glyph = HxDisplayCameraPath::createCameraGeometry(camera, isAnimated, 1);
        const SoMFColor& colours = static_cast<SoMaterial*>(shapeNode(glyph, 1))->diffuseColor;
        ASSERT_EQ(colours.getNum(), 5);
        const SbColor* expected = isAnimated ? animated : keyframe;
        for (int f = 0; f < 5; ++f) EXPECT_EQ(colours[f], expected[f]) << "animated " << isAnimated << " face " << f;
    }
}

// ---------------------------------------------------------------------------
// Keyframe glyphs

TEST(DisplayKeyframes, oneKeyframeGivesOneGlyphAndNoLine) {
    McHandle<SoSeparator> root = new SoSeparator;
    McHandle<HxKeyframeCameraPath> path = makeCurvedPath(1);
    McHandle<HxDisplayCameraPath> display = new HxDisplayCameraPath(root, path, 40, 0);
    display->update();
    ASSERT_EQ(display->keyframeGroup->getNumChildren(), 1);
    EXPECT_EQ(transformOf(display->keyframeGroup->getChild(0))->translation.getValue(),
              path->cameras[0]->position.getValue());
    EXPECT_EQ(display->pathGroup.ptr(), nullptr);
    EXPECT_EQ(display->pathLineSet.ptr(), nullptr);
    EXPECT_EQ(root->getNumChildren(), 1);
}

TEST(DisplayKeyframes, goingDownToOneKeyframeEmptiesTheLineButKeepsItsGroup) {
    McHandle<SoSeparator> root = new SoSeparator;
    McHandle<HxKeyframeCameraPath> path = makeCurvedPath(3);
    McHandle<HxDisplayCameraPath> display = new HxDisplayCameraPath(root, path, 40, 0);
    display->update();
    ASSERT_NE(display->pathGroup.ptr(), nullptr);
    SoSeparator* pathGroup = display->pathGroup;
    path->removeKeyframe(2);
    path->removeKeyframe(1);
    display->update();
    EXPECT_EQ(display->keyframeGroup->getNumChildren(), 1);
    EXPECT_EQ(display->pathLineSet->numVertices.getNum(), 0);
    EXPECT_EQ(display->pathGroup.ptr(), pathGroup);
    ASSERT_EQ(root->getNumChildren(), 2);
    EXPECT_EQ(root->getChild(1), pathGroup);
    ASSERT_EQ(pathGroup->getNumChildren(), 2);
    EXPECT_EQ(pathGroup->getChild(0), display->pathCoords.ptr());
    EXPECT_EQ(pathGroup->getChild(1), display->pathLineSet.ptr());
    // The points stay as they were; only the line is gone.
    EXPECT_EQ(display->pathCoords->point.getNum(), 21);

    // With two keyframes again the same nodes draw the line.
    path->addKeyframe(50, makeCamera(SbVec3f(0, 0, 0), SbVec3f(0, 0, -1)));
    display->update();
    EXPECT_EQ(display->pathGroup.ptr(), pathGroup);
    EXPECT_EQ(display->pathCoords->point.getNum(), 11);
    ASSERT_EQ(display->pathLineSet->numVertices.getNum(), 1);
    EXPECT_EQ(display->pathLineSet->numVertices[0], -1);
}

TEST(DisplayKeyframes, fiveToThreeKeepsTheFirstGlyphsAndTheirTransforms) {
    McHandle<SoSeparator> root = new SoSeparator;
    McHandle<HxKeyframeCameraPath> path = makeCurvedPath(5);
    McHandle<HxDisplayCameraPath> display = new HxDisplayCameraPath(root, path, 80, 0);
    display->update();
    ASSERT_EQ(display->keyframeGroup->getNumChildren(), 5);
    std::vector<McHandle<SoNode>> glyphs;
    for (int k = 0; k < 5; ++k) glyphs.push_back(display->keyframeGroup->getChild(k));

    McHandle<SoTransform> manip = new SoTransform;
    display->replaceTransformation(1, manip);
    manip->scaleFactor.setValue(7, 7, 7);  // as a drag of the box would

    path->removeKeyframe(4);
    path->removeKeyframe(3);
    const SbVec3f moved(-3, 8, 1);
    VeVazaruPath::setCamera(path->cameras[1], moved, SbVec3f(0, 0, 0), SbVec3f(0, 1, 0));
    display->update();

    ASSERT_EQ(display->keyframeGroup->getNumChildren(), 3);
    for (int k = 0; k < 3; ++k) EXPECT_EQ(display->keyframeGroup->getChild(k), glyphs[k].ptr()) << "glyph " << k;
    for (int k = 3; k < 5; ++k) EXPECT_EQ(display->keyframeGroup->findChild(glyphs[k]), -1) << "glyph " << k;
    EXPECT_EQ(transformOf(glyphs[1]), manip.ptr());
    EXPECT_EQ(manip->translation.getValue(), moved);
    expectSameRotation(manip->rotation.getValue(), path->cameras[1]->orientation.getValue(), 1e-6f, "rotation");
    EXPECT_EQ(manip->scaleFactor.getValue(), SbVec3f(2, 2, 2));
}

TEST(DisplayKeyframes, glyphsFollowMovedKeyframes) {
    McHandle<SoSeparator> root = new SoSeparator;
    McHandle<HxKeyframeCameraPath> path = makeCurvedPath(3);
    McHandle<HxDisplayCameraPath> display = new HxDisplayCameraPath(root, path, 40, 0);
    display->update();
    VeVazaruPath::setCamera(path->cameras[2], SbVec3f(1, 2, 3), SbVec3f(1, 2, -3), SbVec3f(1, 0, 0));
    display->updateKeyframe(0);  // the index does not limit the update
    SoTransform* transform = transformOf(display->keyframeGroup->getChild(2));
    EXPECT_EQ(transform->translation.getValue(), SbVec3f(1, 2, 3));
    expectSameRotation(transform->rotation.getValue(), path->cameras[2]->orientation.getValue(), 1e-6f, "rotation");
}

// ---------------------------------------------------------------------------
// Flight line

struct LineCase {
    const char* name;
    int keyframes;
    int closed;
    int points;
    int lastKeyframe;  // the keyframe the line ends on
};

class DisplayLine : public ::testing::TestWithParam<LineCase> {};

TEST_P(DisplayLine, tenPointsPerSegmentFromTheInterpolation) {
    const LineCase& c = GetParam();
    McHandle<SoSeparator> root = new SoSeparator;
    McHandle<HxKeyframeCameraPath> path = makeCurvedPath(c.keyframes);
    path->closed = c.closed;
    McHandle<HxDisplayCameraPath> display = new HxDisplayCameraPath(root, path, 40, 0);
    display->update();
    ASSERT_NE(display->pathGroup.ptr(), nullptr);
    ASSERT_EQ(root->getNumChildren(), 2);
    EXPECT_EQ(root->getChild(1), display->pathGroup.ptr());
    ASSERT_EQ(display->pathLineSet->numVertices.getNum(), 1);
    EXPECT_EQ(display->pathLineSet->numVertices[0], -1);

    const SoMFVec3f& line = display->pathCoords->point;
    ASSERT_EQ(line.getNum(), c.points);
    McHandle<SoCamera> scratch = new SoPerspectiveCamera;
    const int segments = (c.points - 1) / 10;
    for (int i = 0; i < segments; ++i) {
        // Each segment starts on its keyframe.
        expectNear(line[10 * i], path->cameras[i]->position.getValue(), 1e-4f, "segment start");
        for (int j = 0; j < 10; ++j) {
            path->interp(i, j / 10.0f, scratch);
            SCOPED_TRACE(::testing::Message() << "segment " << i << " point " << j);
            expectNear(line[10 * i + j], scratch->position.getValue(), 1e-5f, "line point");
        }
    }
    EXPECT_EQ(line[c.points - 1], path->cameras[c.lastKeyframe]->position.getValue());
}

INSTANTIATE_TEST_SUITE_P(Paths, DisplayLine,
                         ::testing::Values(LineCase{"openThree", 3, 0, 21, 2}, LineCase{"closedThree", 3, 1, 31, 0},
                                           LineCase{"closedTwoAsOpen", 2, 1, 11, 1},
                                           LineCase{"openFive", 5, 0, 41, 4}, LineCase{"closedFive", 5, 1, 51, 0}),
                         [](const ::testing::TestParamInfo<LineCase>& param) { return std::string(param.param.name); });

TEST(DisplayLine, closingTheSameDisplayAddsTheClosingSegment) {
    McHandle<SoSeparator> root = new SoSeparator;
    McHandle<HxKeyframeCameraPath> path = makeCurvedPath(4);
    McHandle<HxDisplayCameraPath> display = new HxDisplayCameraPath(root, path, 40, 0);
    display->update();
    EXPECT_EQ(display->pathCoords->point.getNum(), 31);
    path->closed = 1;
    display->updatePath();
    EXPECT_EQ(display->pathCoords->point.getNum(), 41);
    EXPECT_EQ(display->pathCoords->point[40], path->cameras[0]->position.getValue());
    EXPECT_EQ(root->getNumChildren(), 2);
}

// ---------------------------------------------------------------------------
// Animated camera

TEST(DisplayAnimatedCamera, nothingIsShownBeforeTheLineExists) {
    McHandle<SoSeparator> root = new SoSeparator;
    McHandle<HxKeyframeCameraPath> path = makeCurvedPath(1);
    McHandle<HxDisplayCameraPath> display = new HxDisplayCameraPath(root, path, 40, 0);
    display->update();
    display->setAnimatedCamera(makeCamera(SbVec3f(1, 1, 1), SbVec3f(0, 0, 0)));
    EXPECT_EQ(display->animatedCamera.ptr(), nullptr);
    EXPECT_EQ(display->pathGroup.ptr(), nullptr);
    EXPECT_EQ(root->getNumChildren(), 1);
    display->hideAnimatedCamera();
    EXPECT_EQ(root->getNumChildren(), 1);
}

TEST(DisplayAnimatedCamera, redGlyphAtTheCameraIsTheLastChildOfThePathGroup) {
    McHandle<SoSeparator> root = new SoSeparator;
    McHandle<HxKeyframeCameraPath> path = makeCurvedPath(3);
    McHandle<HxDisplayCameraPath> display = new HxDisplayCameraPath(root, path, 120, 1);
    display->update();

    McHandle<SoCamera> camera = makeCamera(SbVec3f(2, 3, 4), SbVec3f(-1, 0, 2), SbVec3f(0, 0, 1));
    bool eventHandled = false;
    HxApplication::post([&eventHandled] { eventHandled = true; });
    display->setAnimatedCamera(camera);
    EXPECT_TRUE(eventHandled);  // the host had its pending events processed

    SoSeparator* glyph = display->animatedCamera;
    ASSERT_NE(glyph, nullptr);
    ASSERT_EQ(display->pathGroup->getNumChildren(), 3);
    EXPECT_EQ(display->pathGroup->getChild(2), glyph);
    EXPECT_EQ(display->keyframeGroup->getNumChildren(), 3);  // not a keyframe glyph
    EXPECT_EQ(transformOf(glyph)->translation.getValue(), SbVec3f(2, 3, 4));
    expectSameRotation(transformOf(glyph)->rotation.getValue(), camera->orientation.getValue(), 1e-6f, "rotation");
    EXPECT_EQ(transformOf(glyph)->scaleFactor.getValue(), SbVec3f(3, 3, 3));
    EXPECT_EQ(static_cast<SoMaterial*>(shapeNode(glyph, 1))->diffuseColor[1], SbColor(1.0f, 0.3f, 0.3f));

    // Later frames move the same glyph.
    VeVazaruPath::setCamera(camera, SbVec3f(-5, 0, 1), SbVec3f(0, 0, 0), SbVec3f(0, 1, 0));
    display->setAnimatedCamera(camera);
    EXPECT_EQ(display->animatedCamera.ptr(), glyph);
    EXPECT_EQ(display->pathGroup->getNumChildren(), 3);
    EXPECT_EQ(transformOf(glyph)->translation.getValue(), SbVec3f(-5, 0, 1));
    expectSameRotation(transformOf(glyph)->rotation.getValue(), camera->orientation.getValue(), 1e-6f, "rotation");

    // A null camera changes nothing.
    display->setAnimatedCamera(nullptr);
    EXPECT_EQ(transformOf(glyph)->translation.getValue(), SbVec3f(-5, 0, 1));

    display->hideAnimatedCamera();
    EXPECT_EQ(display->animatedCamera.ptr(), nullptr);
    ASSERT_EQ(display->pathGroup->getNumChildren(), 2);
    EXPECT_EQ(display->pathGroup->getChild(1), display->pathLineSet.ptr());
    display->hideAnimatedCamera();
    EXPECT_EQ(display->pathGroup->getNumChildren(), 2);

    // Shown again, it is a new glyph.
    display->setAnimatedCamera(camera);
    ASSERT_NE(display->animatedCamera.ptr(), nullptr);
    EXPECT_EQ(display->pathGroup->getChild(2), display->animatedCamera.ptr());
}

TEST(DisplayAnimatedCamera, nullCameraBuildsNoGlyph) {
    McHandle<SoSeparator> root = new SoSeparator;
    McHandle<HxDisplayCameraPath> display = new HxDisplayCameraPath(root, makeCurvedPath(2), 40, 0);
    display->update();
    display->setAnimatedCamera(nullptr);
    EXPECT_EQ(display->animatedCamera.ptr(), nullptr);
    EXPECT_EQ(display->pathGroup->getNumChildren(), 2);
}

// ---------------------------------------------------------------------------
// Replacing a glyph's transform

namespace {
// A display of three keyframes whose glyph 1 transform was dragged to known values.
struct ReplaceFixture {
    McHandle<SoSeparator> root = new SoSeparator;
    McHandle<HxKeyframeCameraPath> path = makeCurvedPath(3);
    McHandle<HxDisplayCameraPath> display = new HxDisplayCameraPath(root, path, 80, 1);
    McHandle<SoTransform> old;
    const SbVec3f translation{4, -5, 6};
    const SbRotation rotation{SbVec3f(1, 2, 3), 0.7f};
    const SbVec3f scale{2, 3, 4};

    ReplaceFixture() {
        display->update();
        old = transformOf(display->keyframeGroup->getChild(1));
        old->translation.setValue(translation);
        old->rotation.setValue(rotation);
        old->scaleFactor.setValue(scale);
    }
};
}  // namespace

TEST(DisplayReplaceTransformation, boxManipStartsWithTheOldTransform) {
    SoInteraction::init();
    ReplaceFixture f;
    McHandle<SoTransformBoxManip> manip = new SoTransformBoxManip;
    f.display->replaceTransformation(1, manip);
    EXPECT_EQ(transformOf(f.display->keyframeGroup->getChild(1)), manip.ptr());
    expectNear(manip->translation.getValue(), f.translation, 1e-6f, "translation");
    expectSameRotation(manip->rotation.getValue(), f.rotation, 1e-6f, "rotation");
    expectNear(manip->scaleFactor.getValue(), f.scale, 1e-6f, "scale");
    // The other glyphs keep their transforms.
    for (int k : {0, 2})
        EXPECT_FALSE(transformOf(f.display->keyframeGroup->getChild(k))->isOfType(SoTransformBoxManip::getClassTypeId()));

    // Deselected, the editor puts a plain transform back.
    McHandle<SoTransform> plain = new SoTransform;
    manip->translation.setValue(1, 1, 1);
    f.display->replaceTransformation(1, plain);
    EXPECT_EQ(transformOf(f.display->keyframeGroup->getChild(1)), plain.ptr());
    expectNear(plain->translation.getValue(), SbVec3f(1, 1, 1), 1e-6f, "translation");
    expectSameRotation(plain->rotation.getValue(), f.rotation, 1e-6f, "rotation");
    expectNear(plain->scaleFactor.getValue(), f.scale, 1e-6f, "scale");
}

TEST(DisplayReplaceTransformation, plainTransformTakesValuesAndConnections) {
    ReplaceFixture f;
    McHandle<SoTransform> source = new SoTransform;
    source->translation.setValue(9, 9, 9);
    f.old->translation.connectFrom(&source->translation);
    McHandle<SoTransform> replacement = new SoTransform;
    f.display->replaceTransformation(1, replacement);
    EXPECT_EQ(transformOf(f.display->keyframeGroup->getChild(1)), replacement.ptr());
    EXPECT_EQ(replacement->translation.getValue(), SbVec3f(9, 9, 9));
    expectSameRotation(replacement->rotation.getValue(), f.rotation, 1e-6f, "rotation");
    EXPECT_EQ(replacement->scaleFactor.getValue(), f.scale);
    SoField* master = nullptr;
    ASSERT_TRUE(replacement->translation.getConnectedField(master));
    EXPECT_EQ(master, &source->translation);
    source->translation.setValue(1, 2, 3);
    EXPECT_EQ(replacement->translation.getValue(), SbVec3f(1, 2, 3));
}

TEST(DisplayReplaceTransformation, indexWithoutAGlyphOrNullTransformChangesNothing) {
    ReplaceFixture f;
    McHandle<SoTransform> replacement = new SoTransform;
    for (int index : {-1, 3, 100}) f.display->replaceTransformation(index, replacement);
    f.display->replaceTransformation(1, nullptr);
    for (int k = 0; k < 3; ++k)
        EXPECT_NE(transformOf(f.display->keyframeGroup->getChild(k)), replacement.ptr()) << "glyph " << k;
    EXPECT_EQ(transformOf(f.display->keyframeGroup->getChild(1)), f.old.ptr());
    EXPECT_EQ(replacement->translation.getValue(), SbVec3f(0, 0, 0));
    EXPECT_EQ(replacement->getRefCount(), 1);
}

// ---------------------------------------------------------------------------
// Picking keyframes

namespace {
constexpr short viewportSize = 400;

// A camera looking down -z at a display of five keyframes in a row along x
// (glyph scale 2), so each glyph shows its apex and its sides to the viewer.
struct PickScene {
    McHandle<SoSeparator> scene = new SoSeparator;
    McHandle<SoPerspectiveCamera> viewer = new SoPerspectiveCamera;
    McHandle<SoSeparator> root = new SoSeparator;
    McHandle<HxKeyframeCameraPath> path = makeRowPath(5);
    McHandle<HxDisplayCameraPath> display = new HxDisplayCameraPath(root, path, 80, 1);
    std::vector<Call> calls;

    PickScene() {
        viewer->position.setValue(20, 0, 60);
        viewer->nearDistance = 1;
        viewer->farDistance = 200;
        scene->addChild(viewer);
        scene->addChild(root);
        display->update();
    }

    // The pixel of a point on glyph k's upper face, well away from the flight
    // line through the apexes.
    SbVec2s pixelOfGlyph(int k) const {
        const SoCamera* camera = path->cameras[k];
        SbVec3f offset;
        camera->orientation.getValue().multVec(SbVec3f(0, 0.9f, -1.8f) * display->scale, offset);
        return pixelOf(camera->position.getValue() + offset);
    }

    SbVec2s pixelOf(const SbVec3f& world) const {
        const SbViewVolume volume = viewer->getViewVolume(1.0f);
        SbVec3f screen;
        volume.projectToScreen(world, screen);
        return SbVec2s(short(screen[0] * viewportSize + 0.5f), short(screen[1] * viewportSize + 0.5f));
    }

    // Presses and releases the first mouse button at the pixel.
    void click(const SbVec2s& pixel) {
        const SbViewportRegion region(viewportSize, viewportSize);
        SoHandleEventAction action(region);
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
};
}  // namespace

TEST(DisplaySelection, pickedGlyphsAreReportedByKeyframeIndex) {
    PickScene s;
    s.display->setSelectionCallback(&s.calls, recordCall);
    s.click(s.pixelOfGlyph(2));
    EXPECT_EQ(s.calls, (std::vector<Call>{{&s.calls, 2, 1}}));
    EXPECT_EQ(s.selectedGlyph(), 2);

    s.calls.clear();
    s.click(s.pixelOfGlyph(0));
    EXPECT_EQ(s.calls, (std::vector<Call>{{&s.calls, 2, 0}, {&s.calls, 0, 1}}));

    s.calls.clear();
    s.click(s.pixelOfGlyph(4));
    EXPECT_EQ(s.calls, (std::vector<Call>{{&s.calls, 0, 0}, {&s.calls, 4, 1}}));
}

TEST(DisplaySelection, pickOutsideTheGlyphsDeselects) {
    PickScene s;
    s.display->setSelectionCallback(&s.calls, recordCall);
    s.click(s.pixelOfGlyph(3));
    ASSERT_EQ(s.calls, (std::vector<Call>{{&s.calls, 3, 1}}));
    s.calls.clear();
    // Above the row, between glyphs 1 and 2: nothing there.
    s.click(s.pixelOf(SbVec3f(15, 12, 0)));
    EXPECT_EQ(s.calls, (std::vector<Call>{{&s.calls, 3, 0}}));
    EXPECT_EQ(selectionOf(*s.display)->getNumSelected(), 0);
}

TEST(DisplaySelection, pickOnTheFlightLineIsNoKeyframe) {
    PickScene s;
    s.display->setSelectionCallback(&s.calls, recordCall);
    s.click(s.pixelOf(SbVec3f(15, 0, 0)));  // halfway between glyphs 1 and 2
    EXPECT_TRUE(s.calls.empty());
    EXPECT_EQ(selectionOf(*s.display)->getNumSelected(), 0);
}

TEST(DisplaySelection, withoutACallbackPicksReportNothing) {
    PickScene s;
    s.click(s.pixelOfGlyph(1));
    // The pick itself happened: the selection node holds glyph 1.
    EXPECT_EQ(s.selectedGlyph(), 1);

    // A callback that was taken away again is not called either.
    s.display->setSelectionCallback(&s.calls, nullptr);
    s.click(s.pixelOfGlyph(3));
    EXPECT_EQ(s.selectedGlyph(), 3);
    EXPECT_TRUE(s.calls.empty());
}

TEST(DisplaySelection, laterCallbackReplacesTheEarlierOne) {
    PickScene s;
    std::vector<Call> earlier;
    s.display->setSelectionCallback(&earlier, recordCall);
    s.display->setSelectionCallback(&s.calls, recordCall);
    s.click(s.pixelOfGlyph(2));
    EXPECT_TRUE(earlier.empty());
    EXPECT_EQ(s.calls, (std::vector<Call>{{&s.calls, 2, 1}}));
}

TEST(DisplaySelection, pathsThroughNoGlyphOfThisDisplayAreNotReported) {
    PickScene s;
    s.display->setSelectionCallback(&s.calls, recordCall);
    SoSelection* selection = selectionOf(*s.display);

    // The selection node alone, the flight line, and a glyph of another display.
    McHandle<SoPath> alone = new SoPath(selection);
    McHandle<SoPath> line = new SoPath(s.root);
    line->append(s.display->pathGroup);
    line->append(s.display->pathLineSet);
    McHandle<SoSeparator> otherRoot = new SoSeparator;
    McHandle<HxDisplayCameraPath> other = new HxDisplayCameraPath(otherRoot, s.path, 80, 1);
    other->update();
    McHandle<SoPath> foreign = new SoPath(other->keyframeGroup);
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
