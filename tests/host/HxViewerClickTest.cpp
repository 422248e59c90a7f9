// Clicks and drags sent into a viewer's scene, pixel (0, 0) at the top left. Needs no GL.
#include "ScriptTestSupport.h"

#include <viewer/HxViewer.h>

#include <Inventor/SbViewVolume.h>
#include <Inventor/draggers/SoTranslate1Dragger.h>
#include <Inventor/events/SoMouseButtonEvent.h>
#include <Inventor/nodes/SoCamera.h>
#include <Inventor/nodes/SoCube.h>
#include <Inventor/nodes/SoEventCallback.h>
#include <Inventor/nodes/SoSeparator.h>

namespace {

// A dragger moving along x, its handle a 2 x 1 x 1 box around the origin, and a log of the events
// nothing grabbed, as (button state or -1 for a move, x, y) in Inventor's bottom-up pixels.
class HxViewerDragTest : public SessionTest {
protected:
    void SetUp() override {
        viewer = theController->viewer(0);
        evalOk("viewer 0 setSize 160 100; viewer 0 setCamera 0 0 10  0 0 0  0 1 0");
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
    // The pixel (top-left origin) where `point` appears.
    SbVec2s pixelOf(const SbVec3f& point) const {
        SbVec3f screen;
        viewer->getCamera()->getViewVolume(1.6f).projectToScreen(point, screen);
        return SbVec2s(short(screen[0] * 160), short((1 - screen[1]) * 100));
    }
    float moved() const { return dragger->translation.getValue()[0]; }
    HxViewer* viewer = nullptr;
    McHandle<SoTranslate1Dragger> dragger = new SoTranslate1Dragger;
    std::vector<std::vector<int>> seen;
};

TEST_F(HxViewerDragTest, draggingTheHandleMovesItWithTheMouseAndDragsLeavingTheViewerAreRefused) {
    const SbVec2s from = pixelOf(SbVec3f(0, 0, 0.5f)), to = pixelOf(SbVec3f(2, 0, 0.5f)),
                  back = pixelOf(SbVec3f(-2, 0, 0.5f));
    evalOk("viewer 0 drag " + std::to_string(from[0]) + " " + std::to_string(from[1]) + " " + std::to_string(to[0]) +
           " " + std::to_string(to[1]));
    EXPECT_NEAR(moved(), 2, 0.15f);
    EXPECT_EQ(dragger->translation.getValue()[1], 0);
    EXPECT_TRUE(seen.empty()) << "the dragger grabbed the drag";
    EXPECT_EQ(evalError("viewer 0 drag 80 50 160 50"),
              "usage: viewer n drag x0 y0 x1 y1 (x from 0 to 159, y from 0 to 99)");
    EXPECT_EQ(evalError("viewer 0 click 10 100"), "usage: viewer n click x y (x from 0 to 159, y from 0 to 99)");
    EXPECT_FALSE(viewer->drag(80, 50, 80, 100) || viewer->click(160, 10));
    EXPECT_TRUE(seen.empty()) << "refused drags and clicks send nothing";
    EXPECT_TRUE(viewer->drag(to[0], to[1], back[0], back[1], 0)) << "one step at least";
    EXPECT_NEAR(moved(), -2, 0.15f);
}

TEST_F(HxViewerDragTest, aDragSendsPressStepsAlongTheLineAndReleaseAndAClickDoesNotMove) {
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
    EXPECT_EQ(seen, (std::vector<std::vector<int>>{{down, 7, 99}, {up, 7, 99}}));
}

}  // namespace
