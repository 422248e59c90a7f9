// The controller's viewers 0 to 15, created on demand, and the "viewer n ..." script command.
#include "ScriptTestSupport.h"

#include <ReferenceVec.h>
#include <sstream>
#include <viewer/HxViewer.h>
#include <viewer/QxViewer.h>

#include <Inventor/nodes/SoCamera.h>

namespace {

std::vector<double> numbers(const std::string& text) {
    std::istringstream in(text);
    std::vector<double> out;
    for (double v; in >> v;) out.push_back(v);
    return out;
}

// Everything a refused command must leave alone, as text.
std::string viewerState() {
    return evalOk("list [viewer 0 getCamera] [viewer 0 getSize] [viewer 0 getNavigationMode] [viewer 0 isVisible]");
}

using HxControllerTest = SessionTest;

TEST_F(HxControllerTest, viewersAreCreatedOnDemandEachWithItsOwnStateAndListedWhenVisible) {
    HxViewer* last = theController->viewer(15);
    EXPECT_EQ(theController->viewer(15, 0), last);
    for (int bad : {-1, 16}) EXPECT_EQ(theController->viewer(bad, 1), nullptr) << bad;
    theController->viewer(2, 1, nullptr, false);
    theController->viewer(7, 1, nullptr, false)->show();
    theController->viewer(0)->setNavigationMode(1);
    EXPECT_EQ(theController->viewer(2)->getNavigationMode(), QxViewer::defaultNavigationMode);
    const McDArray<int> ids = theController->getAllVisibleViewerIDs();
    EXPECT_EQ(std::vector<int>(ids.begin(), ids.end()), (std::vector<int>{0, 7, 15}));
    EXPECT_EQ(theController->viewer(5, 0), nullptr) << "others are not created along";
    theController->reset();
    EXPECT_EQ(theController->viewer(0)->getNavigationMode(), QxViewer::defaultNavigationMode) << "a fresh viewer";
}

class HxViewerCommandsTest : public SessionTest {
protected:
    void SetUp() override {
        viewer = theController->viewer(0);
        // A camera that is not the default one, so a refusal that resets it shows.
        evalOk("viewer 0 setCamera 1 -2 3  4 0 -1  0 0 1; viewer 0 setSize 320 200; viewer 0 setNavigationMode 2");
    }
    HxViewer* viewer = nullptr;
};

// The camera maths are checked with VeVazaruPath; here the command's own part.
TEST_F(HxViewerCommandsTest, getCameraGivesBackPositionAimAndPerpendicularUp) {
    evalOk("viewer 0 setCamera 100 -200 300  -100 50 -25  0.1 0.9 -0.2");
    const auto got = numbers(evalOk("viewer 0 getCamera"));
    ASSERT_EQ(got.size(), 9u);
    const Vec position{100, -200, 300}, aim{-100, 50, -25}, up{0.1, 0.9, -0.2}, f = unit(aim - position);
    EXPECT_LE(length(Vec{got[0], got[1], got[2]} - position), 1e-3);
    EXPECT_LE(length(Vec{got[3], got[4], got[5]} - aim), 1e-2);
    EXPECT_LE(length(Vec{got[6], got[7], got[8]} - unit(up - f * dot(up, f))), 1e-4);
    // Numbers that need more than six digits come back exactly.
    evalOk("viewer 0 setCamera 1234.5678 0.1 -7.777777  0 0 0  0 1 0");
    const SbVec3f exact = viewer->getCamera()->position.getValue();
    evalOk("viewer 0 setCamera " + evalOk("viewer 0 getCamera"));
    EXPECT_EQ(viewer->getCamera()->position.getValue(), exact);
}

TEST_F(HxViewerCommandsTest, refusalsGiveTheMessageAndChangeNothing) {
    const std::pair<const char*, const char*> refusals[] = {
        {"setCamera 1 2 3 4 5 6 0 1 nan", "usage: viewer n setCamera px py pz ax ay az ux uy uz"},
        {"setCameraOrientation 0 0 0 1", "viewer setCameraOrientation: the axis must not be zero"},
        {"setCameraFocalDistance -1", "viewer setCameraFocalDistance: the distance must not be negative"},
        {"setCamera 3e38 0 0 -3e38 0 0 0 1 0",
         "viewer setCamera: the camera would leave the float range (its aim point or focal distance); camera "
         "unchanged"},
        {"setSize 10 16385", "viewer setSize: width and height must be whole numbers from 1 to 16384"},
        {"setNavigationMode 1e30", "viewer setNavigationMode: the mode must be a whole number within the int range"}};
    const std::string before = viewerState();
    for (const auto& [command, message] : refusals) EXPECT_EQ(evalError(std::string("viewer 0 ") + command), message);
    for (const char* script : {"viewer 16 getCamera", "viewer 0"})
        EXPECT_EQ(evalError(script), "usage: viewer n command ... (n from 0 to 15)");
    EXPECT_EQ(evalError("viewer 9 setCamera 1 2"), "usage: viewer n setCamera px py pz ax ay az ux uy uz");
    const std::string message = evalError("viewer 0 spin 1 2") + " ";
    EXPECT_EQ(message.rfind("viewer: unknown command \"spin\"; known:", 0), 0u) << message;
    EXPECT_EQ(viewerState(), before);
    EXPECT_EQ(theController->viewer(9, 0), nullptr) << "a refused command creates no viewer";
}

}  // namespace
