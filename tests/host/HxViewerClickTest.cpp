// Clicks and drags sent into a viewer's scene: an SoSelection and a dragger
// react as to a real mouse, with pixel (0, 0) at the top left of the image.
// Needs no GL.
#include "ScriptTestSupport.h"

#include <viewer/HxViewer.h>

#include <Inventor/SbViewVolume.h>
#include <Inventor/SoPath.h>
#include <Inventor/draggers/SoTranslate1Dragger.h>
#include <Inventor/events/SoMouseButtonEvent.h>
#include <Inventor/nodes/SoCamera.h>
#include <Inventor/nodes/SoCube.h>
#include <Inventor/nodes/SoEventCallback.h>
#include <Inventor/nodes/SoSelection.h>
#include <Inventor/nodes/SoSeparator.h>
#include <Inventor/nodes/SoTranslation.h>

namespace {

class HxViewerClickTest : public SessionTest {
protected:
    void SetUp() override {
        viewer = theController->viewer(0);
        evalOk("viewer 0 setSize 160 100; viewer 0 setCamera 0 0 10  0 0 0  0 1 0");
        selection->policy = SoSelection::SINGLE;
        // One cube up and to the right, one down and to the left: a click whose
        // rows were counted from the wrong edge finds only background.
        const auto move = [this](const SbVec3f& by) {
            auto* translation = new SoTranslation;
            translation->translation.setValue(by);
            selection->addChild(translation);
        };
        for (const SbVec3f& where : {SbVec3f(2.5f, 1.5f, 0), SbVec3f(-2.5f, -1.5f, 0)}) {
            move(where);
            selection->addChild(new SoCube);
            move(-where);
        }
    }
    void TearDown() override {
        selection->deselectAll();  // a pick's path holds the viewer's root, which holds the selection
        theController->setGeom(selection, nullptr, 0);
        SessionTest::TearDown();
    }
    // The pixel (top-left origin) where `point` appears, and as "x y".
    SbVec2s pixelOf(const SbVec3f& point) const {
        SbVec3f screen;
        viewer->getCamera()->getViewVolume(1.6f).projectToScreen(point, screen);
        return SbVec2s(short(screen[0] * 160), short((1 - screen[1]) * 100));
    }
    std::string at(const SbVec3f& point) const {
        const SbVec2s pixel = pixelOf(point);
        return std::to_string(pixel[0]) + " " + std::to_string(pixel[1]);
    }
    // The index of the cube on the one selected path, -1 when none.
    int selected() const {
        if (selection->getNumSelected() != 1) return -1;
        return selection->findChild(selection->getPath(0)->getTail()) / 3;
    }
    HxViewer* viewer = nullptr;
    McHandle<SoSelection> selection = new SoSelection;
};

TEST_F(HxViewerClickTest, clicksSelectWhatIsUnderThemAndClicksOutsideAreRefused) {
    theController->setGeom(selection, nullptr, 1);
    EXPECT_EQ(evalOk("viewer 0 click " + at(SbVec3f(2.5f, 1.5f, 1))), "");
    EXPECT_EQ(selected(), 0);
    evalOk("viewer 0 click " + at(SbVec3f(-2.5f, -1.5f, 1)));
    EXPECT_EQ(selected(), 1) << "a single-selection node swaps the selection";
    for (const char* outside : {"-1 10", "10 100", "5.5 3"})
        EXPECT_EQ(evalError(std::string("viewer 0 click ") + outside),
                  "usage: viewer n click x y (x from 0 to 159, y from 0 to 99)");
    EXPECT_FALSE(viewer->click(160, 10));
    EXPECT_EQ(evalError("viewer 0 click x y"), "usage: viewer n click x y");
    EXPECT_EQ(selected(), 1) << "refused clicks change nothing";
    EXPECT_TRUE(viewer->click(2, 2));
    EXPECT_EQ(selection->getNumSelected(), 0) << "the background deselects";
}

// A dragger moving along x, its handle a 2 x 1 x 1 box around the origin, and a
// log of the events nothing grabbed, as (button state or -1 for a move, x, y) in
// Inventor's bottom-up pixels.
class HxViewerDragTest : public HxViewerClickTest {
protected:
    void SetUp() override {
        HxViewerClickTest::SetUp();
        auto* handle = new SoSeparator;
        auto* box = new SoCube;
        box->height = box->depth = 1;
        handle->addChild(box);
        ASSERT_TRUE(dragger->setPart("translator", handle));
        viewer->addGeometry(dragger);
        auto* watcher = new SoEventCallback;
        watcher->addEventCallback(SoEvent::getClassTypeId(), record, &seen);
        viewer->addGeometry(watcher);
    }
    static void record(void* log, SoEventCallback* node) {
        const SoEvent* event = node->getEvent();
        const auto* button = dynamic_cast<const SoMouseButtonEvent*>(event);
        static_cast<std::vector<std::vector<int>>*>(log)->push_back(
            {button ? int(button->getState()) : -1, event->getPosition()[0], event->getPosition()[1]});
    }
    float moved() const { return dragger->translation.getValue()[0]; }
    McHandle<SoTranslate1Dragger> dragger = new SoTranslate1Dragger;
    std::vector<std::vector<int>> seen;
};

TEST_F(HxViewerDragTest, draggingTheHandleMovesItWithTheMouseAndDragsLeavingTheViewerAreRefused) {
    evalOk("viewer 0 drag " + at(SbVec3f(0, 0, 0.5f)) + " " + at(SbVec3f(2, 0, 0.5f)));
    EXPECT_NEAR(moved(), 2, 0.15f);
    EXPECT_EQ(dragger->translation.getValue()[1], 0);
    EXPECT_TRUE(seen.empty()) << "the dragger grabbed the drag";
    for (const char* bad : {"80 50 160 50", "80 50 80 1e30"})
        EXPECT_EQ(evalError(std::string("viewer 0 drag ") + bad),
                  "usage: viewer n drag x0 y0 x1 y1 (x from 0 to 159, y from 0 to 99)");
    EXPECT_FALSE(viewer->drag(80, 50, 80, 100));
    EXPECT_EQ(evalError("viewer 0 drag 1 2 3"), "usage: viewer n drag x0 y0 x1 y1");
    EXPECT_TRUE(seen.empty()) << "refused drags send nothing";
    const SbVec2s from = pixelOf(SbVec3f(2, 0, 0.5f)), to = pixelOf(SbVec3f(-2, 0, 0.5f));
    EXPECT_TRUE(viewer->drag(from[0], from[1], to[0], to[1], 0)) << "one step at least";
    EXPECT_NEAR(moved(), -2, 0.15f);
}

TEST_F(HxViewerDragTest, aDragSendsPressStepsAlongTheLineAndRelease) {
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

}  // namespace
