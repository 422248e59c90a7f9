// Clicks and drags sent into a viewer's scene: an SoSelection and a dragger
// react as to a real mouse, with pixel (0, 0) at the top left of the image.
// Needs no GL.
#include "ScriptTestSupport.h"

#include <viewer/HxController.h>
#include <viewer/HxViewer.h>

#include <Inventor/SbViewVolume.h>
#include <Inventor/SoPath.h>
#include <Inventor/draggers/SoTranslate1Dragger.h>
#include <Inventor/events/SoLocation2Event.h>
#include <Inventor/events/SoMouseButtonEvent.h>
#include <Inventor/nodes/SoEventCallback.h>
#include <Inventor/nodes/SoCamera.h>
#include <Inventor/nodes/SoCube.h>
#include <Inventor/nodes/SoSelection.h>
#include <Inventor/nodes/SoSeparator.h>
#include <Inventor/nodes/SoTranslation.h>
#include <gtest/gtest.h>
#include <string>
#include <vector>

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
        // A pick's path holds the viewer's root, which holds the selection.
        selection->deselectAll();
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
    McHandle<SoSelection> selection;
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

// A dragger moving along x, its handle a 2 x 1 x 1 box around the origin.
class HxViewerDragTest : public HxViewerClickTest {
protected:
    void SetUp() override {
        HxViewerClickTest::SetUp();
        // A selection node in front of the dragger would take the press itself.
        theController->setGeom(selection, nullptr, 0);
        dragger = new SoTranslate1Dragger;
        auto* handle = new SoSeparator;
        auto* box = new SoCube;
        box->height = box->depth = 1;
        handle->addChild(box);
        ASSERT_TRUE(dragger->setPart("translator", handle));
        viewer->addGeometry(dragger);
        // Events nothing has grabbed, as (button state or "move", x, y) in
        // Inventor's bottom-up pixels.
        auto* watcher = new SoEventCallback;
        watcher->addEventCallback(SoEvent::getClassTypeId(), record, &seen);
        viewer->addGeometry(watcher);
    }
    static void record(void* log, SoEventCallback* node) {
        const SoEvent* event = node->getEvent();
        int kind = -1;
        if (event->isOfType(SoMouseButtonEvent::getClassTypeId()))
            kind = static_cast<const SoMouseButtonEvent*>(event)->getState();
        const SbVec2s at = event->getPosition();
        static_cast<std::vector<std::vector<int>>*>(log)->push_back({kind, at[0], at[1]});
    }
    SbVec3f moved() const { return dragger->translation.getValue(); }

    SoTranslate1Dragger* dragger = nullptr;
    std::vector<std::vector<int>> seen;
};

TEST_F(HxViewerDragTest, draggingTheHandleMovesItWithTheMouse) {
    // From the front face's centre two units to the right, then back four.
    const SbVec2s start = pixelOf(SbVec3f(0, 0, 0.5f)), right = pixelOf(SbVec3f(2, 0, 0.5f));
    EXPECT_TRUE(viewer->drag(start[0], start[1], right[0], right[1]));
    EXPECT_NEAR(moved()[0], 2, 0.15f);
    EXPECT_EQ(moved()[1], 0);
    EXPECT_TRUE(seen.empty()) << "the dragger grabbed the drag";
    const SbVec2s now = pixelOf(SbVec3f(2, 0, 0.5f)), left = pixelOf(SbVec3f(-2, 0, 0.5f));
    EXPECT_TRUE(viewer->drag(now[0], now[1], left[0], left[1], 0)) << "one step at least";
    EXPECT_NEAR(moved()[0], -2, 0.15f);
}

TEST_F(HxViewerDragTest, dragSendsPressStepsAlongTheLineAndRelease) {
    EXPECT_TRUE(viewer->drag(2, 90, 152, 10, 5));
    const int down = SoButtonEvent::DOWN, up = SoButtonEvent::UP, move = -1;
    EXPECT_EQ(seen, (std::vector<std::vector<int>>{{down, 2, 9},
                                                   {move, 32, 25},
                                                   {move, 62, 41},
                                                   {move, 92, 57},
                                                   {move, 122, 73},
                                                   {move, 152, 89},
                                                   {up, 152, 89}}));
    seen.clear();
    evalOk("viewer 0 click 7 0");
    EXPECT_EQ(seen, (std::vector<std::vector<int>>{{down, 7, 99}, {up, 7, 99}})) << "a click does not move";
}

TEST_F(HxViewerDragTest, dragCommandMovesTheHandleAndDragsLeavingTheViewerAreRefused) {
    const SbVec2s start = pixelOf(SbVec3f(0, 0, 0.5f)), handle = pixelOf(SbVec3f(1, 0, 0.5f));
    evalOk("viewer 0 drag " + std::to_string(start[0]) + " " + std::to_string(start[1]) + " " +
           std::to_string(handle[0]) + " " + std::to_string(handle[1]));
    EXPECT_NEAR(moved()[0], 1, 0.15f);
    for (const SbVec2s& outside : {SbVec2s(-1, 10), SbVec2s(10, -1), SbVec2s(160, 10), SbVec2s(10, 100)}) {
        EXPECT_FALSE(viewer->drag(handle[0], handle[1], outside[0], outside[1])) << outside[0] << " " << outside[1];
        EXPECT_FALSE(viewer->drag(outside[0], outside[1], handle[0], handle[1])) << outside[0] << " " << outside[1];
    }
    const std::string range = "usage: viewer n drag x0 y0 x1 y1 (x from 0 to 159, y from 0 to 99)";
    for (const char* bad : {"80 50 160 50", "-1 50 80 50", "80 50 80 1.5", "80 50 80 1e30"})
        EXPECT_EQ(evalError(std::string("viewer 0 drag ") + bad), range) << bad;
    EXPECT_EQ(evalError("viewer 0 drag 1 2 3"), "usage: viewer n drag x0 y0 x1 y1");
    EXPECT_NEAR(moved()[0], 1, 0.15f) << "refused drags change nothing";
    EXPECT_TRUE(seen.empty()) << "nor send anything";
}

}  // namespace
