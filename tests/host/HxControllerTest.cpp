// HxController: viewers 0 to 15, created on demand, the list of visible ones,
// each viewer's interaction state, window events and logo.
#include "ScriptTestSupport.h"

#include <viewer/HxController.h>
#include <viewer/HxViewer.h>
#include <viewer/QxViewer.h>

#include <Inventor/nodes/SoCamera.h>
#include <Inventor/nodes/SoCube.h>
#include <Inventor/nodes/SoSeparator.h>
#include <QCoreApplication>
#include <QEvent>
#include <gtest/gtest.h>

#include <vector>

namespace {

class HxControllerTest : public ::testing::Test {
protected:
    void SetUp() override { theController->reset(); }
    void TearDown() override { theController->reset(); }
};

TEST_F(HxControllerTest, viewerIsCreatedOnDemand) {
    EXPECT_EQ(theController->viewer(3, 0), nullptr);
    HxViewer* viewer = theController->viewer(3);
    ASSERT_NE(viewer, nullptr);
    EXPECT_EQ(viewer->getId(), 3);
    EXPECT_EQ(theController->viewer(3), viewer) << "the same viewer on the next call";
    EXPECT_EQ(theController->viewer(3, 0), viewer);
}

TEST_F(HxControllerTest, createZeroNeverCreates) {
    for (int id = 0; id < HxController::maxViewers; ++id) EXPECT_EQ(theController->viewer(id, 0), nullptr) << id;
    EXPECT_FALSE(theController->isViewerVisible(0));
}

TEST_F(HxControllerTest, eachIdHasItsOwnViewer) {
    HxViewer* first = theController->viewer(0);
    HxViewer* last = theController->viewer(15);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(last, nullptr);
    EXPECT_NE(first, last);
    EXPECT_EQ(first->getId(), 0);
    EXPECT_EQ(last->getId(), 15);
    EXPECT_EQ(theController->viewer(7, 0), nullptr) << "others are not created along";
}

class HxControllerBadId : public HxControllerTest, public ::testing::WithParamInterface<int> {};

TEST_P(HxControllerBadId, givesNullEvenWhenAskedToCreate) {
    EXPECT_EQ(theController->viewer(GetParam(), 1), nullptr);
    EXPECT_EQ(theController->viewer(GetParam(), 0), nullptr);
    EXPECT_FALSE(theController->isViewerVisible(GetParam()));
    for (int id = 0; id < HxController::maxViewers; ++id) EXPECT_EQ(theController->viewer(id, 0), nullptr) << id;
}

INSTANTIATE_TEST_SUITE_P(OutsideTheRange, HxControllerBadId, ::testing::Values(-1, -100, 16, 17, 1000));

TEST_F(HxControllerTest, showFlagDecidesVisibility) {
    HxViewer* hidden = theController->viewer(2, 1, nullptr, false);
    ASSERT_NE(hidden, nullptr);
    EXPECT_FALSE(hidden->isVisible());
    EXPECT_FALSE(theController->isViewerVisible(2));
    HxViewer* shown = theController->viewer(4, 1, nullptr, true);
    ASSERT_NE(shown, nullptr);
    EXPECT_TRUE(theController->isViewerVisible(4));
    shown->hide();
    EXPECT_FALSE(theController->isViewerVisible(4));
}

TEST_F(HxControllerTest, resetDropsEveryViewer) {
    HxViewer* viewer = theController->viewer(5);
    viewer->setNavigationMode(1);
    theController->reset();
    EXPECT_EQ(theController->viewer(5, 0), nullptr);
    HxViewer* fresh = theController->viewer(5);
    ASSERT_NE(fresh, nullptr);
    EXPECT_EQ(fresh->getNavigationMode(), 3) << "a fresh viewer, not the old one";
}

TEST_F(HxControllerTest, newViewerHasItsCameraInTheScene) {
    HxViewer* viewer = theController->viewer(0);
    ASSERT_NE(viewer->getCamera(), nullptr);
    EXPECT_GE(viewer->getSceneRoot()->findChild(viewer->getCamera()), 0);
    EXPECT_EQ(viewer->getCamera()->position.getValue(), SbVec3f(0, 0, 10));
}

TEST_F(HxControllerTest, geometryIsAddedOnceAndRemoved) {
    HxViewer* viewer = theController->viewer(1);
    auto* cube = new SoCube;
    cube->ref();
    viewer->addGeometry(cube);
    viewer->addGeometry(cube);
    EXPECT_EQ(cube->getRefCount(), 2) << "held once by the viewer";
    viewer->removeGeometry(cube);
    EXPECT_EQ(cube->getRefCount(), 1);
    viewer->removeGeometry(cube);  // not there any more: nothing happens
    viewer->addGeometry(nullptr);
    cube->unref();
}

TEST_F(HxControllerTest, sizeIsKeptInItsRange) {
    HxViewer* viewer = theController->viewer(0);
    viewer->setSize(800, 600);
    EXPECT_EQ(viewer->getSize(), SbVec2s(800, 600));
    viewer->setSize(0, 20000);
    EXPECT_EQ(viewer->getSize(), SbVec2s(1, 16384));
}

}  // namespace

// ---------------------------------------------------------------------------
// Visible viewers and the viewers' interaction state

namespace {

std::vector<int> idsOf(const McDArray<int>& ids) { return std::vector<int>(ids.begin(), ids.end()); }

TEST_F(HxControllerTest, noViewerNoVisibleIds) { EXPECT_TRUE(theController->getAllVisibleViewerIDs().isEmpty()); }

TEST_F(HxControllerTest, visibleIdsAscendAndLeaveOutHiddenViewers) {
    theController->viewer(5);
    theController->viewer(2);
    theController->viewer(7, 1, nullptr, false);
    theController->viewer(15);
    theController->viewer(0);
    EXPECT_EQ(idsOf(theController->getAllVisibleViewerIDs()), (std::vector<int>{0, 2, 5, 15}));

    theController->viewer(2)->hide();
    theController->viewer(7)->show();
    EXPECT_EQ(idsOf(theController->getAllVisibleViewerIDs()), (std::vector<int>{0, 5, 7, 15}));
}

TEST_F(HxControllerTest, askingForVisibleIdsCreatesNoViewer) {
    theController->viewer(3);
    theController->getAllVisibleViewerIDs();
    for (int id = 0; id < HxController::maxViewers; ++id) {
        if (id != 3) {
            EXPECT_EQ(theController->viewer(id, 0), nullptr) << id;
        }
    }
}

TEST_F(HxControllerTest, eachViewerHasItsOwnInteractionStateInModeThree) {
    HxViewer* first = theController->viewer(0);
    HxViewer* second = theController->viewer(1);
    ASSERT_NE(first->qxViewer(), nullptr);
    ASSERT_NE(second->qxViewer(), nullptr);
    EXPECT_NE(first->qxViewer(), second->qxViewer());
    EXPECT_EQ(first->qxViewer()->getNavigationMode(), 3);
    EXPECT_EQ(QxViewer::defaultNavigationMode, 3);
}

TEST_F(HxControllerTest, viewerNavigationModeIsTheInteractionStates) {
    HxViewer* viewer = theController->viewer(4);
    viewer->setNavigationMode(1);
    EXPECT_EQ(viewer->qxViewer()->getNavigationMode(), 1);
    viewer->qxViewer()->setNavigationMode(2);
    EXPECT_EQ(viewer->getNavigationMode(), 2);
    EXPECT_EQ(theController->viewer(5)->getNavigationMode(), 3) << "other viewers keep theirs";
}

// Counts the Show and Hide events reaching the objects it filters.
struct WindowEvents : QObject {
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Show) ++shown;
        if (event->type() == QEvent::Hide) ++hidden;
        return false;
    }
    int shown = 0, hidden = 0;
};

TEST_F(HxControllerTest, windowGetsShowAndHideOnlyOnChangesAndTheLogoCanGo) {
    static int argc = 1;
    static char programName[] = "host_HxController";
    static char* argv[] = {programName, nullptr};
    static QCoreApplication app(argc, argv);  // Qt delivers events only with one
    HxViewer* viewer = theController->viewer(0);
    WindowEvents events;
    viewer->widget()->installEventFilter(&events);
    viewer->show();
    EXPECT_EQ(events.shown, 0) << "already visible";
    viewer->hide();
    evalOk("viewer 0 hide");
    EXPECT_EQ(events.hidden, 1);
    evalOk("viewer 0 show");
    viewer->show();
    EXPECT_EQ(events.shown, 1);
    EXPECT_EQ(events.hidden, 1);
    EXPECT_NE(theController->viewer(1)->widget(), viewer->widget()) << "one window each";

    EXPECT_EQ(viewer->getLogo(), HxViewer::defaultLogo);
    viewer->setLogo(nullptr);
    EXPECT_FALSE(viewer->hasLogo());
    EXPECT_TRUE(theController->viewer(2)->hasLogo()) << "a new viewer has one";
}

}  // namespace
