// The circular camera path: the turn, the start camera and axis taken from a
// viewer, the viewers compute() moves, script commands and its data file.
#include "HxCircularCameraPath.h"
#include "PathTestSupport.h"

#include <hxcore/HxInterpreter.h>
#include <hxcore/HxMessage.h>
#include <hxcore/HxObjectPool.h>
#include <viewer/HxController.h>
#include <viewer/HxViewer.h>
#include <vornamesh/VornaMesh.h>

#include <ReferenceVec.h>
#include <tcl.h>

#include <cmath>
#include <memory>
#include <utility>

namespace {

SbVec3f sb(Vec v) { return SbVec3f(float(v.x), float(v.y), float(v.z)); }

// v turned by `degrees` (right-handed) about the direction `axis`: Rodrigues' formula in double.
Vec rotated(Vec v, Vec axis, double degrees) {
    const Vec k = unit(axis);
    const double a = degrees * 3.14159265358979323846 / 180;
    return v * std::cos(a) + cross(k, v) * std::sin(a) + k * (dot(k, v) * (1 - std::cos(a)));
}
Vec perpendicularUnit(Vec v, Vec f) { return unit(v - f * dot(v, f)); }

// Places a viewer's camera without the host's helpers.
HxViewer* viewerLookingFrom(int id, Vec position, Vec aim = {0, 0, 0}, Vec up = {0, 1, 0}) {
    HxViewer* viewer = theController->viewer(id, 1, nullptr, true);
    SoCamera* camera = viewer->getCamera();
    const Vec back = unit(position - aim), y = perpendicularUnit(up, back), x = cross(y, back);
    camera->position.setValue(sb(position));
    camera->orientation.setValue(
        SbRotation(SbMatrix(float(x.x), float(x.y), float(x.z), 0, float(y.x), float(y.y), float(y.z), 0, float(back.x),
                            float(back.y), float(back.z), 0, 0, 0, 0, 1)));
    camera->focalDistance.setValue(float(length(position - aim)));
    return viewer;
}
Vec viewerPosition(int id) { return toVec(theController->viewer(id)->getCamera()->position.getValue()); }
bool near(Vec actual, Vec expected, double tolerance) { return length(actual - expected) <= tolerance; }

// The four vectors with their script commands, and values for them; -3.1415927
// needs eight digits to read back.
const std::pair<const char*, SbVec3f HxCircularCameraPath::*> vectors[4] = {
    {"setPosition", &HxCircularCameraPath::cameraPosition},
    {"setAimPoint", &HxCircularCameraPath::aimPoint},
    {"setUpDirection", &HxCircularCameraPath::upDirection},
    {"setAxis", &HxCircularCameraPath::rotationAxis}};
const SbVec3f someVectors[4] = {SbVec3f(1, 2.5f, -3.1415927f), SbVec3f(0, 0.125f, 1e-7f), SbVec3f(0, 1, 0),
                                SbVec3f(-0.5f, 0, 2)};

class CircularPathTest : public ::testing::Test {
protected:
    void SetUp() override { theController->reset(); }
    void TearDown() override {
        theObjectPool->clear();
        theController->reset();
        theMsg->clear();
    }
    McHandle<HxCircularCameraPath> pooledPath() {
        McHandle<HxCircularCameraPath> path = new HxCircularCameraPath;
        EXPECT_EQ(theObjectPool->add(path, "CircPath"), "CircPath");
        return path;
    }
    int eval(const std::string& command) { return theInterpreter->eval(("CircPath " + command).c_str()); }
};

TEST_F(CircularPathTest, cameraTurnsAboutTheAxisThroughTheAimPointOnceOverTheTimeRange) {
    const struct {
        Vec position, aim, up, axis;
    } cases[] = {{{0, 0, 10}, {0, 0, 0}, {0, 1, 0}, {0, 1, 0}},
                 {{1, 2, 8}, {1, 2, 3}, {0, 1, 0}, {1, 0, 0}},  // up turns with the camera
                 {{0, 0, 10}, {0, 0, 0}, {0, -1, 0}, {0, -1, 0}},
                 // A non-unit axis turns exactly like its unit direction.
                 {{4, -2, 6}, {0.5, 1, -1}, {0.3, 1.2, 0.4}, {0.3, 1.2, 0.4}}};
    // {min, max, t, degrees}: times outside the range turn on; a range of no length stays.
    const double checks[][4] = {{0, 360, 0, 0},    {0, 360, 360, 0},   {0, 360, 90, 90},   {0, 360, 270, 270},
                                {0, 360, 450, 90}, {0, 360, -90, -90}, {10, 20, 12.5, 90}, {5, 5, 90, 0}};
    for (const auto& c : cases) {
        McHandle<HxCircularCameraPath> path = new HxCircularCameraPath;
        path->cameraPosition = sb(c.position);
        path->aimPoint = sb(c.aim);
        path->upDirection = sb(c.up);
        path->rotationAxis = sb(c.axis);
        for (const auto& k : checks) {
            SCOPED_TRACE(::testing::Message()
                         << "axis " << c.axis << ", range " << k[0] << ".." << k[1] << ", t " << k[2]);
            path->portTime.setMinMax(float(k[0]), float(k[1]));
            McHandle<SoPerspectiveCamera> camera = new SoPerspectiveCamera;
            path->getCamera(float(k[2]), *camera);
            const double scale = length(c.position - c.aim);
            const Vec expected = c.aim + rotated(c.position - c.aim, c.axis, k[3]);
            EXPECT_TRUE(near(toVec(camera->position.getValue()), expected, 2e-5 * scale));
            EXPECT_TRUE(near(toVec(aimOf(camera)), c.aim, 2e-5 * scale));
            EXPECT_TRUE(near(toVec(upOf(camera)),
                             perpendicularUnit(rotated(c.up, c.axis, k[3]), unit(c.aim - expected)), 1e-5));
        }
    }
}

TEST_F(CircularPathTest, axisChoicesTakeTheMostVerticalAxisACoordinateAxisOrTheUpDirection) {
    const struct {
        Vec up;
        int choice;
        Vec expected;
    } cases[] = {{{0.1, -0.9, 0.2}, HxCircularCameraPath::MostVertical, {0, -1, 0}},
                 {{0.5, 0.5, 0}, HxCircularCameraPath::MostVertical, {0, 1, 0}},
                 {{0.6, 0.6, 0.6}, HxCircularCameraPath::MostVertical, {0, 0, 1}},
                 {{-0.8, 0.3, 0.1}, HxCircularCameraPath::MostVertical, {-1, 0, 0}},
                 {{0.1, -0.7, -0.7}, HxCircularCameraPath::MostVertical, {0, 0, -1}},
                 {{0.3, 1.2, 0.4}, HxCircularCameraPath::XAxis, {1, 0, 0}},
                 {{0.3, 1.2, 0.4}, HxCircularCameraPath::UpDirection, {0.3, 1.2, 0.4}},
                 {{0.3, 1.2, 0.4}, 5, {7, 7, 7}}};
    McHandle<HxCircularCameraPath> path = new HxCircularCameraPath;
    for (const auto& c : cases) {
        path->upDirection = sb(c.up);
        path->rotationAxis.setValue(7, 7, 7);
        path->chooseAxis(c.choice);
        EXPECT_EQ(path->rotationAxis, sb(c.expected)) << "up " << c.up << ", choice " << c.choice;
    }
}

TEST_F(CircularPathTest, startCameraComesFromTheFirstVisibleViewerOfTheMaskInModeThree) {
    viewerLookingFrom(0, {3, 4, 12}, {1, 2, 3}, {0, -1, 0});
    McHandle<HxCircularCameraPath> path = new HxCircularCameraPath;
    EXPECT_TRUE(near(toVec(path->cameraPosition), {3, 4, 12}, 1e-5));
    EXPECT_TRUE(near(toVec(path->aimPoint), {1, 2, 3}, 1e-4));
    // The viewer shows (4, -85, 18) / 89 as its up direction.
    EXPECT_TRUE(near(toVec(path->upDirection), unit(Vec{4, -85, 18}), 1e-5));
    EXPECT_EQ(path->rotationAxis, SbVec3f(0, -1, 0)) << "the most vertical axis";

    viewerLookingFrom(0, {0, 0, 10});
    viewerLookingFrom(1, {1, 0, 10})->setNavigationMode(2);
    viewerLookingFrom(2, {2, 0, 10})->hide();
    viewerLookingFrom(3, {3, 0, 10});  // outside the mask below
    viewerLookingFrom(5, {5, 0, 10});  // the one
    path->setViewerMask(static_cast<unsigned short>(0xffff & ~(1 << 0) & ~(1 << 3)));
    path->recompute(HxCircularCameraPath::YAxis);
    EXPECT_TRUE(near(toVec(path->cameraPosition), {5, 0, 10}, 1e-6));
    theController->viewer(5)->setNavigationMode(1);
    path->recompute(HxCircularCameraPath::MostVertical);
    EXPECT_TRUE(near(toVec(path->cameraPosition), {0, 0, 10}, 1e-6)) << "else the main viewer, whatever its mode";
}

TEST_F(CircularPathTest, computeMovesOnlyViewersInTheMaskInModeThreeAmongTheFirstEight) {
    const Vec start{0, 0, 10}, turnedStart{10, 0, 0};
    for (int id : {0, 1, 2, 3, 7, 8}) viewerLookingFrom(id, start);
    theController->viewer(1)->setNavigationMode(2);
    McHandle<HxCircularCameraPath> path = new HxCircularCameraPath;
    path->rotationAxis.setValue(0, 1, 0);
    path->setViewerMask(static_cast<unsigned short>(0xffff & ~(1 << 2)));
    path->portTime.setValue(90);
    path->portTime.untouch();
    path->compute();
    EXPECT_TRUE(near(viewerPosition(0), start, 0)) << "nothing unless a port is new";
    path->portTime.setValue(90);
    path->fire();
    for (int id : {0, 3, 7}) EXPECT_TRUE(near(viewerPosition(id), turnedStart, 1e-4)) << id;
    for (int id : {1, 2, 8}) EXPECT_TRUE(near(viewerPosition(id), start, 0)) << "mode 2, outside the mask, beyond 7";
    for (int id : {4, 5, 6, 9}) EXPECT_EQ(theController->viewer(id, 0), nullptr) << "no viewer is created: " << id;

    // Pressing recompute takes the viewer's camera again, the axis by the menu.
    path->portAction.setOptValue(HxCircularCameraPath::ZAxis);
    path->portAction.untouch();
    viewerLookingFrom(0, {0, 10, 0}, {0, 0, 0}, {1, 0, 0});
    ASSERT_TRUE(path->portAction.hit(0));
    path->fire();
    EXPECT_TRUE(near(viewerPosition(0), {-10, 0, 0}, 1e-4)) << "a quarter turn about +z at t = 90";
}

TEST_F(CircularPathTest, vectorCommandsSetTheirVectorOnlyAndRefuseBadArguments) {
    McHandle<HxCircularCameraPath> path = pooledPath();
    for (const auto& c : vectors) {
        SCOPED_TRACE(c.first);
        for (const auto& other : vectors) (*path).*other.second = SbVec3f(7, 8, 9);
        ASSERT_EQ(eval(std::string(c.first) + " 1 2 3"), TCL_OK);
        for (const auto& other : vectors)
            EXPECT_EQ((*path).*other.second, other.second == c.second ? SbVec3f(1, 2, 3) : SbVec3f(7, 8, 9));
        EXPECT_EQ(path->getTouchFlags(), 0u) << "the commands do not touch the object";
    }
    EXPECT_EQ(eval("setAimPoint 1 2"), TCL_ERROR);
    EXPECT_EQ(theMsg->text(), "CircPath setAimPoint: wrong number of arguments\n");
    const std::pair<const char*, const char*> refusals[] = {
        {"setAimPoint 1 2", "CircPath setAimPoint: wrong number of arguments"},
        {"setPosition 0 0 nan", "CircPath setPosition: expected three numbers"},
        {"setAxis 0 0 0", "CircPath setAxis: the axis must not be zero"}};
    for (const auto& [arguments, message] : refusals) {
        EXPECT_EQ(eval(arguments), TCL_ERROR) << arguments;
        EXPECT_EQ(theInterpreter->result(), message);
    }
    EXPECT_EQ(path->rotationAxis, SbVec3f(1, 2, 3));
    ASSERT_EQ(eval("time getMinMax"), TCL_OK) << "other words reach the generic commands";
    EXPECT_EQ(theInterpreter->result(), "0 360");
}

TEST_F(CircularPathTest, dataFileLoadsBackAsTheSamePathAndIncompleteOnesAreRefused) {
    ScratchDir dir;
    const std::string file = dir / "circle.brio";
    McHandle<HxCircularCameraPath> path = pooledPath();
    for (int i = 0; i < 4; ++i) (*path).*vectors[i].second = someVectors[i];
    path->portTime.setMinMax(10, 70);
    ASSERT_EQ(path->saveAs("Pexil Brio", file.c_str()), 1);
    EXPECT_EQ(path->getLoadCmd(), file);
    std::string error;
    std::unique_ptr<VornaMesh> mesh = VornaMesh::read(file.c_str(), error);
    ASSERT_NE(mesh, nullptr) << error;
    ASSERT_EQ(HxCircularCameraPath::readVornaMesh(mesh.get(), file.c_str()), 1);
    auto* loaded = dynamic_cast<HxCircularCameraPath*>(theObjectPool->objects().back().ptr());
    ASSERT_NE(loaded, nullptr);
    for (int i = 0; i < 4; ++i) EXPECT_EQ((*loaded).*vectors[i].second, someVectors[i]) << vectors[i].first;
    EXPECT_EQ(loaded->portTime.getMinValue(), 10.0f);
    EXPECT_EQ(loaded->portTime.getMaxValue(), 70.0f);

    const size_t before = theObjectPool->objects().size();
    for (const double axisX : {0.0, std::nan("")}) {
        VornaMesh partial;
        partial.parameters.set("ContentType", "CircularCameraPath", 0);
        HxParamBundle& state = partial.parameters.bundle("CircularCameraPath");
        const double three[3] = {1, 2, 3}, range[2] = {0, 360}, axis[3] = {axisX, 1, 0};
        for (const char* name : {"CameraPosition", "AimPoint", "UpDirection"}) state.set(name, 3, three, 0);
        state.set("TimeRange", 2, range, 0);
        if (!(axisX == 0)) state.set("RotationAxis", 3, axis, 0);  // else missing
        theMsg->clear();
        EXPECT_EQ(HxCircularCameraPath::readVornaMesh(&partial, "partial.brio"), 0);
        EXPECT_EQ(theMsg->text(), "partial.brio holds no complete circular camera path\n");
    }
    EXPECT_EQ(theObjectPool->objects().size(), before);
}

}  // namespace
