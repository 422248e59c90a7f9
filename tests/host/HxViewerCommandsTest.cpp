// The "viewer n ..." script command: camera round trips, window state, and
// refusals that leave everything as it was.
#include "ScriptTestSupport.h"

#include <viewer/HxController.h>
#include <viewer/HxViewer.h>

#include <Inventor/nodes/SoCamera.h>
#include <array>
#include <cmath>
#include <gtest/gtest.h>
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

// The unit part of `up` perpendicular to the direction from `position` to `aim`.
Vec3 expectedUp(const Vec3& position, const Vec3& aim, const Vec3& up) {
    const Vec3 f = normalized(sub(aim, position));
    return normalized(sub(up, scaled(f, dot(up, f))));
}

std::string joined(const Vec3& a, const Vec3& b, const Vec3& c) {
    std::ostringstream out;
    for (const Vec3* v : {&a, &b, &c})
        for (double x : *v) out << ' ' << x;
    return out.str();
}

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

// ---------------------------------------------------------------------------
// setCamera / getCamera

struct CameraCase {
    const char* name;
    Vec3 position, aim, up;
};

class HxViewerCameraRoundTrip : public HxViewerCommandsTest, public ::testing::WithParamInterface<CameraCase> {};

TEST_P(HxViewerCameraRoundTrip, getCameraGivesBackPositionAimAndPerpendicularUp) {
    const CameraCase& c = GetParam();
    evalOk("viewer 0 setCamera" + joined(c.position, c.aim, c.up));
    const auto got = numbers(evalOk("viewer 0 getCamera"));
    ASSERT_EQ(got.size(), 9u);
    const Vec3 up = expectedUp(c.position, c.aim, c.up);
    // getCamera prints six significant digits.
    for (int i = 0; i < 3; ++i) {
        EXPECT_NEAR(got[i], c.position[i], 1e-5 * std::max(1.0, std::fabs(c.position[i]))) << "position " << i;
        EXPECT_NEAR(got[3 + i], c.aim[i], 1e-4 * std::max(1.0, std::fabs(c.aim[i]))) << "aim " << i;
        EXPECT_NEAR(got[6 + i], up[i], 1e-4) << "up " << i;
    }
    EXPECT_NEAR(viewer->getCamera()->focalDistance.getValue(),
                std::sqrt(dot(sub(c.aim, c.position), sub(c.aim, c.position))), 1e-4);
}

INSTANTIATE_TEST_SUITE_P(Cameras, HxViewerCameraRoundTrip,
                         ::testing::Values(CameraCase{"default", {0, 0, 10}, {0, 0, 0}, {0, 1, 0}},
                                           CameraCase{"diagonal", {1, 2, 3}, {4, 5, 6}, {0, 0, 1}},
                                           CameraCase{"longUp", {-5, 0, 0}, {5, 0, 0}, {0, 3, 4}},
                                           CameraCase{"fromCorner", {10, 10, 10}, {0, 0, 0}, {0, 1, 0}},
                                           CameraCase{"lookingDown", {0, 0, 0}, {0, -7, 0}, {1, 1, 0}},
                                           CameraCase{
                                               "lookingAlongMinusZ", {0.5, 0.25, 4}, {0.5, 0.25, -4}, {-1, 0, 0}},
                                           CameraCase{"far", {100, -200, 300}, {-100, 50, -25}, {0.1, 0.9, -0.2}}),
                         [](const auto& param) { return std::string(param.param.name); });

TEST_F(HxViewerCommandsTest, setCameraReturnsNothingAndCreatesTheViewer) {
    EXPECT_EQ(theController->viewer(6, 0), nullptr);
    EXPECT_EQ(evalOk("viewer 6 setCamera 0 0 5 0 0 0 0 1 0"), "");
    ASSERT_NE(theController->viewer(6, 0), nullptr);
    EXPECT_EQ(theController->viewer(6, 0)->getCamera()->position.getValue(), SbVec3f(0, 0, 5));
}

TEST_F(HxViewerCommandsTest, viewersAreIndependent) {
    evalOk("viewer 1 setCamera 0 0 5 0 0 0 0 1 0");
    evalOk("viewer 2 setCamera 9 0 0 0 0 0 0 0 1");
    EXPECT_EQ(numbers(evalOk("viewer 1 getCameraPosition")), (std::vector<double>{0, 0, 5}));
    EXPECT_EQ(numbers(evalOk("viewer 2 getCameraPosition")), (std::vector<double>{9, 0, 0}));
    EXPECT_EQ(numbers(evalOk("viewer 0 getCameraPosition")), (std::vector<double>{1, -2, 3}));
}

// ---------------------------------------------------------------------------
// The camera's fields one by one

TEST_F(HxViewerCommandsTest, cameraPositionRoundTrip) {
    evalOk("viewer 0 setCameraPosition 4 -5.5 6");
    EXPECT_EQ(viewer->getCamera()->position.getValue(), SbVec3f(4, -5.5f, 6));
    EXPECT_EQ(numbers(evalOk("viewer 0 getCameraPosition")), (std::vector<double>{4, -5.5, 6}));
}

TEST_F(HxViewerCommandsTest, cameraOrientationRoundTrip) {
    evalOk("viewer 0 setCameraOrientation 0 2 0 1.5");
    const auto got = numbers(evalOk("viewer 0 getCameraOrientation"));
    ASSERT_EQ(got.size(), 4u);
    EXPECT_NEAR(got[0], 0, 1e-5);
    EXPECT_NEAR(got[1], 1, 1e-5) << "the axis comes back normalised";
    EXPECT_NEAR(got[2], 0, 1e-5);
    EXPECT_NEAR(got[3], 1.5, 1e-5);
}

TEST_F(HxViewerCommandsTest, focalDistanceRoundTrip) {
    evalOk("viewer 0 setCameraFocalDistance 12.5");
    EXPECT_EQ(viewer->getCamera()->focalDistance.getValue(), 12.5f);
    EXPECT_EQ(evalOk("viewer 0 getCameraFocalDistance"), "12.5");
    evalOk("viewer 0 setCameraFocalDistance 0");
    EXPECT_EQ(evalOk("viewer 0 getCameraFocalDistance"), "0");
}

// ---------------------------------------------------------------------------
// Window state

TEST_F(HxViewerCommandsTest, showHideAndIsVisible) {
    evalOk("viewer 0 hide");
    EXPECT_FALSE(viewer->isVisible());
    EXPECT_EQ(evalOk("viewer 0 isVisible"), "0");
    evalOk("viewer 0 show");
    EXPECT_TRUE(viewer->isVisible());
    EXPECT_EQ(evalOk("viewer 0 isVisible"), "1");
}

TEST_F(HxViewerCommandsTest, sizeRoundTrip) {
    evalOk("viewer 0 setSize 1024 768");
    EXPECT_EQ(viewer->getSize(), SbVec2s(1024, 768));
    EXPECT_EQ(evalOk("viewer 0 getSize"), "1024 768");
    evalOk("viewer 0 setSize 1 16384");
    EXPECT_EQ(evalOk("viewer 0 getSize"), "1 16384");
}

TEST_F(HxViewerCommandsTest, navigationModeRoundTrip) {
    evalOk("viewer 0 setNavigationMode 1");
    EXPECT_EQ(viewer->getNavigationMode(), 1);
    EXPECT_EQ(evalOk("viewer 0 getNavigationMode"), "1");
}

// ---------------------------------------------------------------------------
// Refusals

struct Refusal {
    const char* name;
    const char* script;
    const char* message;
};

class HxViewerRefusal : public HxViewerCommandsTest, public ::testing::WithParamInterface<Refusal> {};

TEST_P(HxViewerRefusal, givesTheMessageAndChangesNothing) {
    const ViewerState before = ViewerState::of(viewer);
    EXPECT_EQ(evalError(GetParam().script), GetParam().message);
    EXPECT_TRUE(ViewerState::of(viewer) == before) << "viewer 0 was changed";
    for (int id = 1; id < HxController::maxViewers; ++id)
        EXPECT_EQ(theController->viewer(id, 0), nullptr) << "a refused command created viewer " << id;
}

const char* const setCameraUsage = "usage: viewer n setCamera px py pz ax ay az ux uy uz";
const char* const viewerUsage = "usage: viewer n command ... (n from 0 to 15)";

INSTANTIATE_TEST_SUITE_P(
    Commands, HxViewerRefusal,
    ::testing::Values(
        Refusal{"setCameraTooFew", "viewer 0 setCamera 1 2 3", setCameraUsage},
        Refusal{"setCameraNoNumbers", "viewer 0 setCamera", setCameraUsage},
        Refusal{"setCameraTooMany", "viewer 0 setCamera 1 2 3 4 5 6 0 1 0 9", setCameraUsage},
        Refusal{"setCameraWord", "viewer 0 setCamera 1 2 3 4 5 6 0 1 x", setCameraUsage},
        Refusal{"setCameraFirstWord", "viewer 0 setCamera x 2 3 4 5 6 0 1 0", setCameraUsage},
        Refusal{"setCameraNaN", "viewer 0 setCamera 1 2 3 4 5 6 0 1 nan", setCameraUsage},
        Refusal{"setCameraInf", "viewer 0 setCamera inf 2 3 4 5 6 0 1 0", setCameraUsage},
        Refusal{"setCameraHalfNumber", "viewer 0 setCamera 1 2 3 4 5 6 0 1 0.5x", setCameraUsage},
        Refusal{"setCameraOnOtherViewer", "viewer 9 setCamera 1 2", setCameraUsage},
        Refusal{"getCameraExtra", "viewer 0 getCamera 1", "usage: viewer n getCamera"},
        Refusal{"positionTooFew", "viewer 0 setCameraPosition 1 2", "usage: viewer n setCameraPosition x y z"},
        Refusal{"positionWord", "viewer 0 setCameraPosition 1 2 z", "usage: viewer n setCameraPosition x y z"},
        Refusal{"orientationZeroAxis", "viewer 0 setCameraOrientation 0 0 0 1",
                "viewer setCameraOrientation: the axis must not be zero"},
        Refusal{"orientationTooFew", "viewer 0 setCameraOrientation 0 1 0",
                "usage: viewer n setCameraOrientation ax ay az angle"},
        Refusal{"focalNegative", "viewer 0 setCameraFocalDistance -1",
                "viewer setCameraFocalDistance: the distance must not be negative"},
        Refusal{"focalWord", "viewer 0 setCameraFocalDistance far", "usage: viewer n setCameraFocalDistance d"},
        Refusal{"sizeZero", "viewer 0 setSize 0 10", "viewer setSize: width and height must be from 1 to 16384"},
        Refusal{"sizeHuge", "viewer 0 setSize 10 16385", "viewer setSize: width and height must be from 1 to 16384"},
        Refusal{"sizeTooFew", "viewer 0 setSize 10", "usage: viewer n setSize w h"},
        Refusal{"hideExtra", "viewer 0 hide now", "usage: viewer n hide"},
        Refusal{"navigationWord", "viewer 0 setNavigationMode fly", "usage: viewer n setNavigationMode m"},
        Refusal{"noId", "viewer", viewerUsage}, Refusal{"noCommand", "viewer 0", viewerUsage},
        Refusal{"idTooLarge", "viewer 16 getCamera", viewerUsage},
        Refusal{"idNegative", "viewer -1 getCamera", viewerUsage},
        Refusal{"idWord", "viewer main getCamera", viewerUsage},
        Refusal{"idFraction", "viewer 0.5 getCamera", viewerUsage}),
    [](const auto& param) { return std::string(param.param.name); });

TEST_F(HxViewerCommandsTest, unknownCommandNamesTheKnownOnes) {
    const ViewerState before = ViewerState::of(viewer);
    const std::string message = evalError("viewer 0 spin 1 2");
    const std::string prefix = "viewer: unknown command \"spin\"; known:";
    ASSERT_EQ(message.rfind(prefix, 0), 0u) << message;
    const std::string known = message.substr(prefix.size()) + " ";
    for (const char* name : {"setCamera", "getCamera", "setCameraPosition", "setSize", "getNavigationMode", "show"})
        EXPECT_NE(known.find(std::string(" ") + name + " "), std::string::npos) << name;
    EXPECT_TRUE(ViewerState::of(viewer) == before);
}

}  // namespace
