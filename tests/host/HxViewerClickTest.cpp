// Clicks sent into a viewer's scene: an SoSelection reacts as to a real mouse
// click, with pixel (0, 0) at the top left of the image. Needs no GL.
#include "ScriptTestSupport.h"

#include <viewer/HxController.h>
#include <viewer/HxViewer.h>

#include <Inventor/SbViewVolume.h>
#include <Inventor/SoPath.h>
#include <Inventor/nodes/SoCamera.h>
#include <Inventor/nodes/SoCube.h>
#include <Inventor/nodes/SoSelection.h>
#include <Inventor/nodes/SoSeparator.h>
#include <Inventor/nodes/SoTranslation.h>
#include <gtest/gtest.h>
#include <string>

namespace {

class HxViewerClickTest : public ::testing::Test {
protected:
    void SetUp() override {
        theController->reset();
        viewer = theController->viewer(0);
        viewer->setSize(160, 100);
        viewer->getCamera()->position.setValue(0, 0, 10);
        viewer->getCamera()->orientation.setValue(SbRotation::identity());
        selection = new SoSelection;
        selection->policy = SoSelection::SINGLE;
        // One cube up and to the right, one down and to the left: a click whose
        // rows were counted from the wrong edge finds only background.
        upperRight = addCube(SbVec3f(2.5f, 1.5f, 0));
        lowerLeft = addCube(SbVec3f(-2.5f, -1.5f, 0));
        theController->setGeom(selection, nullptr, 1);
    }
    void TearDown() override {
        theController->setGeom(selection, nullptr, 0);
        theController->reset();
    }

    SoCube* addCube(const SbVec3f& where) {
        auto* group = new SoSeparator;
        auto* move = new SoTranslation;
        move->translation.setValue(where);
        auto* cube = new SoCube;
        group->addChild(move);
        group->addChild(cube);
        selection->addChild(group);
        return cube;
    }

    // The pixel (top-left origin) where `point` appears in the viewer.
    SbVec2s pixelOf(const SbVec3f& point) const {
        const SbVec2s size = viewer->getSize();
        SbVec3f screen;
        viewer->getCamera()->getViewVolume(float(size[0]) / size[1]).projectToScreen(point, screen);
        return SbVec2s(static_cast<short>(screen[0] * size[0]), static_cast<short>((1 - screen[1]) * size[1]));
    }

    // The cube on the one selected path; null when not exactly one path is
    // selected or it holds neither cube.
    SoNode* selectedCube() const {
        if (selection->getNumSelected() != 1) return nullptr;
        const SoPath* path = selection->getPath(0);
        for (SoCube* cube : {upperRight, lowerLeft})
            if (path->containsNode(cube)) return cube;
        return nullptr;
    }

    HxViewer* viewer = nullptr;
    SoSelection* selection = nullptr;
    SoCube* upperRight = nullptr;
    SoCube* lowerLeft = nullptr;
};

TEST_F(HxViewerClickTest, theCubesAppearWhereTheTestExpectsThem) {
    const SbVec2s right = pixelOf(SbVec3f(2.5f, 1.5f, 0)), left = pixelOf(SbVec3f(-2.5f, -1.5f, 0));
    EXPECT_GT(right[0], 80);
    EXPECT_LT(right[1], 50) << "up in the scene is up in the image";
    EXPECT_LT(left[0], 80);
    EXPECT_GT(left[1], 50);
}

TEST_F(HxViewerClickTest, clickOnACubeSelectsIt) {
    const SbVec2s at = pixelOf(SbVec3f(2.5f, 1.5f, 1));
    EXPECT_TRUE(viewer->click(at[0], at[1]));
    EXPECT_EQ(selectedCube(), upperRight);
    const SbVec2s other = pixelOf(SbVec3f(-2.5f, -1.5f, 1));
    EXPECT_TRUE(viewer->click(other[0], other[1]));
    EXPECT_EQ(selectedCube(), lowerLeft) << "a single-selection node swaps the selection";
}

TEST_F(HxViewerClickTest, clickOnTheBackgroundDeselects) {
    const SbVec2s at = pixelOf(SbVec3f(2.5f, 1.5f, 1));
    viewer->click(at[0], at[1]);
    ASSERT_EQ(selectedCube(), upperRight);
    EXPECT_TRUE(viewer->click(2, 2));
    EXPECT_EQ(selection->getNumSelected(), 0);
}

TEST_F(HxViewerClickTest, clickOutsideTheViewerIsRefusedAndSendsNothing) {
    const SbVec2s at = pixelOf(SbVec3f(2.5f, 1.5f, 1));
    viewer->click(at[0], at[1]);
    for (const SbVec2s& outside : {SbVec2s(-1, 10), SbVec2s(10, -1), SbVec2s(160, 10), SbVec2s(10, 100)})
        EXPECT_FALSE(viewer->click(outside[0], outside[1])) << outside[0] << " " << outside[1];
    EXPECT_EQ(selectedCube(), upperRight) << "a refused click must not deselect";
}

TEST_F(HxViewerClickTest, clickCommandSelectsAndDeselects) {
    const SbVec2s at = pixelOf(SbVec3f(2.5f, 1.5f, 1));
    EXPECT_EQ(evalOk("viewer 0 click " + std::to_string(at[0]) + " " + std::to_string(at[1])), "");
    EXPECT_EQ(selectedCube(), upperRight);
    evalOk("viewer 0 click 159 99");
    EXPECT_EQ(selection->getNumSelected(), 0);
}

TEST_F(HxViewerClickTest, clickCommandRefusesBadCoordinates) {
    const SbVec2s at = pixelOf(SbVec3f(2.5f, 1.5f, 1));
    evalOk("viewer 0 click " + std::to_string(at[0]) + " " + std::to_string(at[1]));
    const std::string range = "usage: viewer n click x y (x from 0 to 159, y from 0 to 99)";
    EXPECT_EQ(evalError("viewer 0 click 160 5"), range);
    EXPECT_EQ(evalError("viewer 0 click 5 -1"), range);
    EXPECT_EQ(evalError("viewer 0 click 5.5 3"), range);
    EXPECT_EQ(evalError("viewer 0 click 5"), "usage: viewer n click x y");
    EXPECT_EQ(evalError("viewer 0 click x y"), "usage: viewer n click x y");
    EXPECT_EQ(selectedCube(), upperRight) << "refused clicks change nothing";
}

}  // namespace
