// The "viewer n ..." script command: camera round trips, window state, and
// refusals that leave everything as it was.
#include "ScriptTestSupport.h"

#include <viewer/HxController.h>
#include <viewer/HxViewer.h>

#include <Inventor/nodes/SoCamera.h>
#include <array>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::vector<double> numbers(const std::string& text) {
    std::istringstream in(text);
    std::vector<double> out;
    for (double v; in >> v;) out.push_back(v);
    return out;
}

using Vec3 = std::array<double, 3>;
Vec3 sub(const Vec3& a, const Vec3& b) { return {a[0] - b[0], a[1] - b[1], a[2] - b[2]}; }
double dot(const Vec3& a, const Vec3& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }
Vec3 scaled(const Vec3& a, double s) { return {a[0] * s, a[1] * s, a[2] * s}; }
Vec3 normalized(const Vec3& a) { return scaled(a, 1.0 / std::sqrt(dot(a, a))); }

// Everything a refused command must leave alone.
struct ViewerState {
    SbVec3f position;
    SbRotation orientation;
    float focalDistance;
    SbVec2s size;
    int navigationMode;
    bool visible;

    static ViewerState of(const HxViewer* viewer) {
        const SoCamera* camera = viewer->getCamera();
        return {camera->position.getValue(), camera->orientation.getValue(), camera->focalDistance.getValue(),
                viewer->getSize(),           viewer->getNavigationMode(),    viewer->isVisible()};
    }
    bool operator==(const ViewerState& o) const {
        return position == o.position && orientation == o.orientation && focalDistance == o.focalDistance &&
               size == o.size && navigationMode == o.navigationMode && visible == o.visible;
    }
};

class HxViewerCommandsTest : public ::testing::Test {
protected:
    void SetUp() override {
        theController->reset();
        viewer = theController->viewer(0);
        // A camera that is not the default one, so a refusal that resets it shows.
        SoCamera* camera = viewer->getCamera();
        camera->position.setValue(1, -2, 3);
        camera->orientation.setValue(SbRotation(SbVec3f(1, 1, 0), 0.5f));
        camera->focalDistance.setValue(7);
        viewer->setSize(320, 200);
        viewer->setNavigationMode(2);
    }
    void TearDown() override { theController->reset(); }

    HxViewer* viewer = nullptr;
};

TEST_F(HxViewerCommandsTest, getCameraGivesBackPositionAimAndPerpendicularUp) {
    const struct {
        Vec3 position, aim, up;
    } cases[] = {{{0, 0, 10}, {0, 0, 0}, {0, 1, 0}},
                 {{1, 2, 3}, {4, 5, 6}, {0, 0, 1}},
                 {{-5, 0, 0}, {5, 0, 0}, {0, 3, 4}},
                 {{10, 10, 10}, {0, 0, 0}, {0, 1, 0}},
                 {{0, 0, 0}, {0, -7, 0}, {1, 1, 0}},
                 {{0.5, 0.25, 4}, {0.5, 0.25, -4}, {-1, 0, 0}},
                 {{100, -200, 300}, {-100, 50, -25}, {0.1, 0.9, -0.2}}};
    for (const auto& c : cases) {
        std::ostringstream script;
        script << "viewer 0 setCamera";
        for (const Vec3* v : {&c.position, &c.aim, &c.up})
            for (double x : *v) script << ' ' << x;
        SCOPED_TRACE(script.str());
        evalOk(script.str());
        const auto got = numbers(evalOk("viewer 0 getCamera"));
        ASSERT_EQ(got.size(), 9u);
        const Vec3 f = normalized(sub(c.aim, c.position)), up = normalized(sub(c.up, scaled(f, dot(c.up, f))));
        // The position is kept in float; aim and up are derived from the orientation.
        for (int i = 0; i < 3; ++i) {
            EXPECT_NEAR(got[i], c.position[i], 1e-5 * std::max(1.0, std::fabs(c.position[i]))) << "position " << i;
            EXPECT_NEAR(got[3 + i], c.aim[i], 1e-4 * std::max(1.0, std::fabs(c.aim[i]))) << "aim " << i;
            EXPECT_NEAR(got[6 + i], up[i], 1e-4) << "up " << i;
        }
        EXPECT_NEAR(viewer->getCamera()->focalDistance.getValue(),
                    std::sqrt(dot(sub(c.aim, c.position), sub(c.aim, c.position))), 1e-4);
    }
}

TEST_F(HxViewerCommandsTest, setCameraReturnsNothingAndCreatesOnlyItsViewer) {
    EXPECT_EQ(theController->viewer(6, 0), nullptr);
    EXPECT_EQ(evalOk("viewer 6 setCamera 0 0 5 0 0 0 0 1 0"), "");
    ASSERT_NE(theController->viewer(6, 0), nullptr);
    EXPECT_EQ(theController->viewer(6, 0)->getCamera()->position.getValue(), SbVec3f(0, 0, 5));
    evalOk("viewer 2 setCamera 9 0 0 0 0 0 0 0 1");
    EXPECT_EQ(numbers(evalOk("viewer 6 getCameraPosition")), (std::vector<double>{0, 0, 5}));
    EXPECT_EQ(numbers(evalOk("viewer 2 getCameraPosition")), (std::vector<double>{9, 0, 0}));
    EXPECT_EQ(numbers(evalOk("viewer 0 getCameraPosition")), (std::vector<double>{1, -2, 3}));
}

TEST_F(HxViewerCommandsTest, cameraFieldsRoundTrip) {
    evalOk("viewer 0 setCameraPosition 4 -5.5 6");
    EXPECT_EQ(viewer->getCamera()->position.getValue(), SbVec3f(4, -5.5f, 6));
    EXPECT_EQ(numbers(evalOk("viewer 0 getCameraPosition")), (std::vector<double>{4, -5.5, 6}));

    evalOk("viewer 0 setCameraOrientation 0 2 0 1.5");
    const auto got = numbers(evalOk("viewer 0 getCameraOrientation"));
    const double want[] = {0, 1, 0, 1.5};  // the axis comes back normalised
    ASSERT_EQ(got.size(), 4u);
    for (int i = 0; i < 4; ++i) EXPECT_NEAR(got[i], want[i], 1e-5) << i;

    evalOk("viewer 0 setCameraFocalDistance 12.5");
    EXPECT_EQ(viewer->getCamera()->focalDistance.getValue(), 12.5f);
    EXPECT_EQ(evalOk("viewer 0 getCameraFocalDistance"), "12.5");
    evalOk("viewer 0 setCameraFocalDistance 0");
    EXPECT_EQ(evalOk("viewer 0 getCameraFocalDistance"), "0");

    // Numbers that need more than six digits come back exactly.
    evalOk("viewer 0 setCamera 1234.5678 0.1 -7.777777  0 0 0  0 1 0");
    const SbVec3f position = viewer->getCamera()->position.getValue();
    evalOk("viewer 0 setCamera " + evalOk("viewer 0 getCamera"));
    EXPECT_EQ(viewer->getCamera()->position.getValue(), position);
}

// Its line could not be sourced: the saved network refuses instead.
TEST_F(HxViewerCommandsTest, aCameraThatIsNotFiniteIsNotSavedInANetwork) {
    viewer->getCamera()->focalDistance = std::numeric_limits<float>::infinity();
    const std::string file = ::testing::TempDir() + "viewer-camera-net.tcl";
    std::remove(file.c_str());
    EXPECT_EQ(evalError("saveNetwork " + file), "saveNetwork: the camera of viewer 0 has numbers that are not finite");
    EXPECT_FALSE(std::ifstream(file).good());
}

TEST_F(HxViewerCommandsTest, windowStateRoundTrip) {
    evalOk("viewer 0 hide");
    EXPECT_FALSE(viewer->isVisible());
    EXPECT_EQ(evalOk("viewer 0 isVisible"), "0");
    evalOk("viewer 0 show");
    EXPECT_TRUE(viewer->isVisible());
    EXPECT_EQ(evalOk("viewer 0 isVisible"), "1");

    evalOk("viewer 0 setSize 1024 768");
    EXPECT_EQ(viewer->getSize(), SbVec2s(1024, 768));
    EXPECT_EQ(evalOk("viewer 0 getSize"), "1024 768");
    evalOk("viewer 0 setSize 1 16384");
    EXPECT_EQ(evalOk("viewer 0 getSize"), "1 16384");

    evalOk("viewer 0 setNavigationMode 1");
    EXPECT_EQ(viewer->getNavigationMode(), 1);
    EXPECT_EQ(evalOk("viewer 0 getNavigationMode"), "1");
}

TEST_F(HxViewerCommandsTest, refusalsGiveTheMessageAndChangeNothing) {
    const std::pair<const char*, std::vector<const char*>> refusals[] = {
        {"usage: viewer n setCamera px py pz ax ay az ux uy uz",
         {"viewer 0 setCamera 1 2 3", "viewer 0 setCamera", "viewer 0 setCamera 1 2 3 4 5 6 0 1 0 9",
          "viewer 0 setCamera 1 2 3 4 5 6 0 1 x", "viewer 0 setCamera x 2 3 4 5 6 0 1 0",
          "viewer 0 setCamera 1 2 3 4 5 6 0 1 nan", "viewer 0 setCamera inf 2 3 4 5 6 0 1 0",
          "viewer 0 setCamera 1 2 3 4 5 6 0 1 0.5x", "viewer 9 setCamera 1 2"}},
        {"usage: viewer n getCamera", {"viewer 0 getCamera 1"}},
        {"usage: viewer n setCameraPosition x y z",
         {"viewer 0 setCameraPosition 1 2", "viewer 0 setCameraPosition 1 2 z"}},
        {"viewer setCameraOrientation: the axis must not be zero", {"viewer 0 setCameraOrientation 0 0 0 1"}},
        {"usage: viewer n setCameraOrientation ax ay az angle", {"viewer 0 setCameraOrientation 0 1 0"}},
        {"viewer setCameraFocalDistance: the distance must not be negative", {"viewer 0 setCameraFocalDistance -1"}},
        {"usage: viewer n setCameraFocalDistance d", {"viewer 0 setCameraFocalDistance far"}},
        {"viewer setCamera: the camera would leave the float range (its aim point or focal distance); camera "
         "unchanged",
         {"viewer 0 setCamera 3e38 0 0 -3e38 0 0 0 1 0"}},
        {"viewer setSize: width and height must be whole numbers from 1 to 16384",
         {"viewer 0 setSize 0 10", "viewer 0 setSize 10 16385", "viewer 0 setSize 100.5 10"}},
        {"usage: viewer n setSize w h", {"viewer 0 setSize 10"}},
        {"usage: viewer n hide", {"viewer 0 hide now"}},
        {"usage: viewer n setNavigationMode m", {"viewer 0 setNavigationMode fly"}},
        {"viewer setNavigationMode: the mode must be a whole number within the int range",
         {"viewer 0 setNavigationMode 1e30", "viewer 0 setNavigationMode 1.5"}},
        {"usage: viewer n command ... (n from 0 to 15)",
         {"viewer", "viewer 0", "viewer 16 getCamera", "viewer -1 getCamera", "viewer main getCamera",
          "viewer 0.5 getCamera"}}};
    const ViewerState before = ViewerState::of(viewer);
    const auto expectNothingChanged = [&] {
        EXPECT_TRUE(ViewerState::of(viewer) == before) << "viewer 0 was changed";
        for (int id = 1; id < HxController::maxViewers; ++id)
            EXPECT_EQ(theController->viewer(id, 0), nullptr) << "a refused command created viewer " << id;
    };
    for (const auto& [message, scripts] : refusals)
        for (const char* script : scripts) {
            SCOPED_TRACE(script);
            EXPECT_EQ(evalError(script), message);
            expectNothingChanged();
        }

    // An unknown command names the known ones.
    const std::string message = evalError("viewer 0 spin 1 2");
    const std::string prefix = "viewer: unknown command \"spin\"; known:";
    ASSERT_EQ(message.rfind(prefix, 0), 0u) << message;
    const std::string known = message.substr(prefix.size()) + " ";
    for (const char* name : {"setCamera", "getCamera", "setCameraPosition", "setSize", "getNavigationMode", "show"})
        EXPECT_NE(known.find(std::string(" ") + name + " "), std::string::npos) << name;
    expectNothingChanged();
}

}  // namespace
