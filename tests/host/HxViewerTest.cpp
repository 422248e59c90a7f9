// The controller's viewers 0 to 15, created on demand, and the "viewer n ..."
// script command: camera round trips, window state, and refusals that leave
// everything as it was.
#include "ScriptTestSupport.h"

#include <ReferenceVec.h>
#include <TestFiles.h>
#include <viewer/HxViewer.h>
#include <viewer/QxViewer.h>

#include <Inventor/nodes/SoCamera.h>
#include <algorithm>
#include <limits>

namespace {

std::vector<double> numbers(const std::string& text) {
    std::istringstream in(text);
    std::vector<double> out;
    for (double v; in >> v;) out.push_back(v);
    return out;
}

// Everything a refused command must leave alone, as text.
std::string stateOf(const HxViewer* viewer) {
    std::ostringstream s;
    const SoCamera* camera = viewer->getCamera();
    const SbVec3f p = camera->position.getValue();
    const float* q = camera->orientation.getValue().getValue();
    s << p[0] << p[1] << p[2] << q[0] << q[1] << q[2] << q[3] << camera->focalDistance.getValue()
      << viewer->getSize()[0] << viewer->getSize()[1] << viewer->getNavigationMode() << viewer->isVisible();
    return s.str();
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

TEST_F(HxViewerCommandsTest, getCameraGivesBackPositionAimAndPerpendicularUp) {
    const Vec cases[][3] = {{{1, 2, 3}, {4, 5, 6}, {0, 0, 1}},
                            {{-5, 0, 0}, {5, 0, 0}, {0, 3, 4}},
                            {{0.5, 0.25, 4}, {0.5, 0.25, -4}, {-1, 0, 0}},
                            {{100, -200, 300}, {-100, 50, -25}, {0.1, 0.9, -0.2}}};
    for (const auto& [position, aim, up] : cases) {
        std::ostringstream script;
        script << "viewer 0 setCamera";
        for (const Vec& v : {position, aim, up}) script << ' ' << v.x << ' ' << v.y << ' ' << v.z;
        evalOk(script.str());
        const auto got = numbers(evalOk("viewer 0 getCamera"));
        ASSERT_EQ(got.size(), 9u);
        const Vec f = unit(aim - position), wantUp = unit(up - f * dot(up, f));
        const double scale = std::max(1.0, length(aim));
        EXPECT_LE(length(Vec{got[0], got[1], got[2]} - position), 1e-5 * scale) << script.str();
        EXPECT_LE(length(Vec{got[3], got[4], got[5]} - aim), 1e-4 * scale) << script.str();
        EXPECT_LE(length(Vec{got[6], got[7], got[8]} - wantUp), 1e-4) << script.str();
    }
    // Numbers that need more than six digits come back exactly.
    evalOk("viewer 0 setCamera 1234.5678 0.1 -7.777777  0 0 0  0 1 0");
    const SbVec3f position = viewer->getCamera()->position.getValue();
    evalOk("viewer 0 setCamera " + evalOk("viewer 0 getCamera"));
    EXPECT_EQ(viewer->getCamera()->position.getValue(), position);
}

TEST_F(HxViewerCommandsTest, cameraFieldsAndWindowStateRoundTrip) {
    EXPECT_EQ(evalOk("viewer 6 setCameraPosition 4 -5.5 6"), "");
    EXPECT_EQ(numbers(evalOk("viewer 6 getCameraPosition")), (std::vector<double>{4, -5.5, 6}));
    EXPECT_EQ(numbers(evalOk("viewer 0 getCameraPosition")), (std::vector<double>{1, -2, 3}));
    evalOk("viewer 0 setCameraOrientation 0 2 0 1.5");
    const auto got = numbers(evalOk("viewer 0 getCameraOrientation"));  // the axis comes back normalised
    EXPECT_LE(length(Vec{got.at(0), got.at(1), got.at(2)} - Vec{0, 1, 0}) + std::fabs(got.at(3) - 1.5), 1e-5);
    evalOk(
        "viewer 0 setCameraFocalDistance 12.5; viewer 0 hide; viewer 0 setSize 1 16384; viewer 0 setNavigationMode 1");
    std::string state;
    for (const char* get : {"getCameraFocalDistance", "isVisible", "getSize", "getNavigationMode"})
        state += evalOk(std::string("viewer 0 ") + get) + "|";
    EXPECT_EQ(state, "12.5|0|1 16384|1|");
}

// Its line could not be sourced: the saved network refuses instead.
TEST_F(HxViewerCommandsTest, aCameraThatIsNotFiniteIsNotSavedInANetwork) {
    viewer->getCamera()->focalDistance = std::numeric_limits<float>::infinity();
    TempFolder folder;
    EXPECT_EQ(evalError("saveNetwork " + folder.path("net.tcl")),
              "saveNetwork: the camera of viewer 0 has numbers that are not finite");
    EXPECT_FALSE(std::ifstream(folder.path("net.tcl")).good());
}

TEST_F(HxViewerCommandsTest, refusalsGiveTheMessageAndChangeNothing) {
    const std::pair<const char*, const char*> refusals[] = {
        {"setCamera 1 2 3 4 5 6 0 1 nan", "usage: viewer n setCamera px py pz ax ay az ux uy uz"},
        {"setCamera 1 2 3 4 5 6 0 1 0 9", "usage: viewer n setCamera px py pz ax ay az ux uy uz"},
        {"setCameraPosition 1 2 z", "usage: viewer n setCameraPosition x y z"},
        {"setCameraOrientation 0 0 0 1", "viewer setCameraOrientation: the axis must not be zero"},
        {"setCameraFocalDistance -1", "viewer setCameraFocalDistance: the distance must not be negative"},
        {"setCamera 3e38 0 0 -3e38 0 0 0 1 0",
         "viewer setCamera: the camera would leave the float range (its aim point or focal distance); camera "
         "unchanged"},
        {"setSize 10 16385", "viewer setSize: width and height must be whole numbers from 1 to 16384"},
        {"hide now", "usage: viewer n hide"},
        {"setNavigationMode 1e30", "viewer setNavigationMode: the mode must be a whole number within the int range"}};
    const std::string before = stateOf(viewer);
    for (const auto& [command, message] : refusals) EXPECT_EQ(evalError(std::string("viewer 0 ") + command), message);
    for (const char* script : {"viewer 16 getCamera", "viewer 0.5 getCamera", "viewer 0"})
        EXPECT_EQ(evalError(script), "usage: viewer n command ... (n from 0 to 15)");
    EXPECT_EQ(evalError("viewer 9 setCamera 1 2"), "usage: viewer n setCamera px py pz ax ay az ux uy uz");
    const std::string message = evalError("viewer 0 spin 1 2") + " ";
    EXPECT_EQ(message.rfind("viewer: unknown command \"spin\"; known:", 0), 0u) << message;
    EXPECT_NE(message.find(" setCameraPosition "), std::string::npos) << "names the known ones";
    EXPECT_EQ(stateOf(viewer), before);
    EXPECT_EQ(theController->viewer(9, 0), nullptr) << "a refused command creates no viewer";
}

}  // namespace
