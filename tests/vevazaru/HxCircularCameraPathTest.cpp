// The circular camera path: its type and ports, the turn about the axis through
// the aim point, the start camera and axis taken from a viewer, which viewers
// compute() moves, copying, saved-network lines, script commands and its file.
#include "HxCircularCameraPath.h"

#include <vornamesh/VornaMesh.h>

#include <hxcore/HxInterpreter.h>
#include <hxcore/HxMessage.h>
#include <hxcore/HxObjectPool.h>
#include <mc/McHandle.h>
#include <mc/McTypeInfo.h>
#include <viewer/HxController.h>
#include <viewer/HxViewer.h>

#include <Inventor/nodes/SoPerspectiveCamera.h>
#include <QString>
#include <ReferenceVec.h>
#include <gtest/gtest.h>
#include <tcl.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>
#include <memory>
#include <ostream>
#include <string>
#include <utility>

namespace {

// Expected cameras come from Rodrigues' formula in double precision, and
// cameras are read back from their fields alone, so no check leans on the code
// under test or the host's camera helpers.
SbVec3f sb(Vec v) { return SbVec3f(float(v.x), float(v.y), float(v.z)); }

// v turned by `angle` (radians, right-handed) about the direction `axis`.
Vec rotated(Vec v, Vec axis, double angle) {
    const Vec k = unit(axis);
    return v * std::cos(angle) + cross(k, v) * std::sin(angle) + k * (dot(k, v) * (1 - std::cos(angle)));
}

::testing::AssertionResult near(Vec actual, Vec expected, double tolerance) {
    if (length(actual - expected) <= tolerance) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << actual << " is not within " << tolerance << " of " << expected;
}

Vec turned(const SoCamera& camera, const SbVec3f& v) {
    SbVec3f out;
    camera.orientation.getValue().multVec(v, out);
    return toVec(out);
}
Vec positionOf(const SoCamera& camera) { return toVec(camera.position.getValue()); }
Vec aimOf(const SoCamera& c) { return positionOf(c) + turned(c, SbVec3f(0, 0, -1)) * c.focalDistance.getValue(); }
Vec perpendicularUnit(Vec v, Vec f) { return unit(v - f * dot(v, f)); }

// Places a viewer's camera without the host's helpers.
HxViewer* viewerLookingFrom(int id, Vec position, Vec aim = {0, 0, 0}, Vec up = {0, 1, 0}) {
    HxViewer* viewer = theController->viewer(id, 1, nullptr, true);
    SoCamera* camera = viewer->getCamera();
    const Vec back = unit(position - aim), y = perpendicularUnit(up, back * -1.0), x = cross(y, back);
    const SbMatrix m(float(x.x), float(x.y), float(x.z), 0, float(y.x), float(y.y), float(y.z), 0, float(back.x),
                     float(back.y), float(back.z), 0, 0, 0, 0, 1);
    camera->position.setValue(sb(position));
    camera->orientation.setValue(SbRotation(m));
    camera->focalDistance.setValue(float(length(position - aim)));
    return viewer;
}

Vec viewerPosition(int id) { return positionOf(*theController->viewer(id)->getCamera()); }

const double pi = 3.14159265358979323846;

// The four vectors of the path with their script commands.
const std::pair<const char*, SbVec3f HxCircularCameraPath::*> vectors[4] = {
    {"setPosition", &HxCircularCameraPath::cameraPosition},
    {"setAimPoint", &HxCircularCameraPath::aimPoint},
    {"setUpDirection", &HxCircularCameraPath::upDirection},
    {"setAxis", &HxCircularCameraPath::rotationAxis}};
// Values for them in that order; -3.1415927 needs eight digits to read back.
const SbVec3f someVectors[4] = {SbVec3f(1, 2.5f, -3.1415927f), SbVec3f(0, 0.125f, 1e-7f), SbVec3f(0, 1, 0),
                                SbVec3f(-0.5f, 0, 2)};
void setVectors(HxCircularCameraPath& path) {
    for (int i = 0; i < 4; ++i) path.*vectors[i].second = someVectors[i];
}
void expectVectors(const HxCircularCameraPath& path) {
    for (int i = 0; i < 4; ++i) EXPECT_EQ(path.*vectors[i].second, someVectors[i]) << vectors[i].first;
}

// Every test starts without viewers and without objects and leaves none.
class CircularPathTest : public ::testing::Test {
protected:
    void SetUp() override {
        theController->reset();
        theObjectPool->clear();
        theMsg->clear();
    }
    void TearDown() override {
        theObjectPool->clear();
        theController->reset();
        theMsg->clear();
    }
    McHandle<HxCircularCameraPath> pooledPath(const char* name = "CircPath") {
        McHandle<HxCircularCameraPath> path = new HxCircularCameraPath;
        EXPECT_EQ(theObjectPool->add(path, name), name);
        return path;
    }
};

TEST_F(CircularPathTest, typePortsAndDefaults) {
    const McTypeInfo* type = HxCircularCameraPath::getClassTypeId();
    EXPECT_EQ(type->parent(), VeVazaruPath::getClassTypeId());
    EXPECT_EQ(McTypeInfo::fromName("HxCircularCameraPath"), type);
    std::unique_ptr<McTypedObject> object(type->createInstance());
    ASSERT_NE(dynamic_cast<HxCircularCameraPath*>(object.get()), nullptr);
    EXPECT_EQ(object->getTypeId(), type);
    object.reset();

    McHandle<HxCircularCameraPath> path = new HxCircularCameraPath;
    ASSERT_EQ(path->ports().size(), 2u);
    EXPECT_EQ(path->ports()[0], &path->portTime);
    EXPECT_EQ(path->ports()[1], &path->portAction);
    EXPECT_STREQ(path->portAction.getName(), "action");
    EXPECT_EQ(path->portTime.getMaxValue(), 360.0f);
    EXPECT_EQ(path->portTime.getIncrement(), 1.0f);
    EXPECT_FALSE(path->portTime.connectsToGlobalTime());
    const HxPortButtonMenu& action = path->portAction;
    EXPECT_EQ(action.getLabel(0), QString("recompute"));
    ASSERT_EQ(action.getNumOptions(), 5);
    const char* labels[] = {"most vertical", "x-axis", "y-axis", "z-axis", "up direction"};
    for (int i = 0; i < 5; ++i) EXPECT_EQ(action.getOptLabel(i), QString(labels[i])) << i;
    EXPECT_TRUE(action.getFireOnSaveNetwork());

    EXPECT_TRUE(path->isClosed());
    for (int k : {-1, 0, 7}) EXPECT_EQ(path->getTime(k), 0.0f) << k;
    path->portTime.setMinMax(10, 25);
    EXPECT_EQ(path->getDuration(), 15.0f);
    path->updateInfo(false);
    EXPECT_EQ(path->getInfoText(), "");
}

TEST_F(CircularPathTest, cameraTurnsAboutTheAxisThroughTheAimPoint) {
    const struct {
        Vec position, aim, up;
        int axisChoice;  // the menu's choice that gives `axis` from `up`
        Vec axis;
    } cases[] = {
        {{0, 0, 10}, {0, 0, 0}, {0, 1, 0}, HxCircularCameraPath::MostVertical, {0, 1, 0}},
        {{1, 2, 8}, {1, 2, 3}, {0, 1, 0}, HxCircularCameraPath::XAxis, {1, 0, 0}},
        {{3, 4, 5}, {1, 1, 1}, {0, 0, 1}, HxCircularCameraPath::ZAxis, {0, 0, 1}},
        {{0, 0, 10}, {0, 0, 0}, {0, -1, 0}, HxCircularCameraPath::MostVertical, {0, -1, 0}},
        // A non-unit axis turns exactly like its unit direction.
        {{4, -2, 6}, {0.5, 1, -1}, {0.3, 1.2, 0.4}, HxCircularCameraPath::UpDirection, {0.3, 1.2, 0.4}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << "axis " << c.axis);
        McHandle<HxCircularCameraPath> path = new HxCircularCameraPath;
        path->cameraPosition = sb(c.position);
        path->aimPoint = sb(c.aim);
        path->upDirection = sb(c.up);
        path->chooseAxis(c.axisChoice);
        ASSERT_EQ(path->rotationAxis, sb(c.axis));
        // {min, max, t, degrees}: times outside the range turn on.
        const double checks[][4] = {{0, 360, 0, 0},     {0, 360, 360, 0},   {0, 360, 90, 90},
                                    {0, 360, 180, 180}, {0, 360, 270, 270}, {0, 360, 450, 90},
                                    {0, 360, -90, -90}, {10, 20, 12.5, 90}, {10, 20, 20, 360}};
        for (const auto& k : checks) {
            path->portTime.setMinMax(float(k[0]), float(k[1]));
            McHandle<SoPerspectiveCamera> camera = new SoPerspectiveCamera;
            path->getCamera(float(k[2]), *camera);
            const double angle = k[3] * pi / 180, scale = length(c.position - c.aim);
            const Vec expected = c.aim + rotated(c.position - c.aim, c.axis, angle);
            EXPECT_TRUE(near(positionOf(*camera), expected, 2e-5 * scale)) << "t = " << k[2];
            EXPECT_TRUE(near(aimOf(*camera), c.aim, 2e-5 * scale)) << "still looking at the aim point, t = " << k[2];
            const Vec view = unit(c.aim - expected);
            EXPECT_TRUE(
                near(turned(*camera, SbVec3f(0, 1, 0)), perpendicularUnit(rotated(c.up, c.axis, angle), view), 1e-5))
                << "t = " << k[2];
        }
    }
}

TEST_F(CircularPathTest, rangeOfNoLengthAlwaysGivesTheStartCamera) {
    McHandle<HxCircularCameraPath> path = new HxCircularCameraPath;
    path->cameraPosition.setValue(2, 3, 9);
    path->aimPoint.setValue(1, 1, 1);
    path->upDirection = path->rotationAxis = SbVec3f(0, 1, 0);
    path->portTime.setMinMax(5, 5);
    EXPECT_EQ(path->getDuration(), 0.0f);
    for (float t : {5.0f, 0.0f, 90.0f, -40.0f}) {
        McHandle<SoPerspectiveCamera> camera = new SoPerspectiveCamera;
        path->getCamera(t, *camera);
        EXPECT_TRUE(near(positionOf(*camera), {2, 3, 9}, 1e-5)) << t;
        EXPECT_TRUE(near(aimOf(*camera), {1, 1, 1}, 1e-4)) << t;
    }
}

TEST_F(CircularPathTest, axisChoices) {
    const struct {
        Vec up, expected;
    } mostVertical[] = {{{0, 1, 0}, {0, 1, 0}},         {{0.1, -0.9, 0.2}, {0, -1, 0}}, {{0.5, 0.5, 0}, {0, 1, 0}},
                        {{0.6, 0.6, 0.6}, {0, 0, 1}},   {{0, 0, -1}, {0, 0, -1}},       {{-0.8, 0.3, 0.1}, {-1, 0, 0}},
                        {{0.1, -0.7, -0.7}, {0, 0, -1}}};
    McHandle<HxCircularCameraPath> path = new HxCircularCameraPath;
    for (const auto& c : mostVertical) {
        path->upDirection = sb(c.up);
        path->rotationAxis.setValue(7, 7, 7);
        path->chooseAxis(HxCircularCameraPath::MostVertical);
        EXPECT_EQ(path->rotationAxis, sb(c.expected)) << "up " << c.up;
    }
    path->upDirection.setValue(0.3f, 1.2f, 0.4f);
    path->chooseAxis(HxCircularCameraPath::XAxis);
    EXPECT_EQ(path->rotationAxis, SbVec3f(1, 0, 0));
    path->chooseAxis(HxCircularCameraPath::YAxis);
    EXPECT_EQ(path->rotationAxis, SbVec3f(0, 1, 0));
    path->chooseAxis(HxCircularCameraPath::UpDirection);
    EXPECT_EQ(path->rotationAxis, SbVec3f(0.3f, 1.2f, 0.4f)) << "not normalised";
    for (int choice : {-1, 5}) {
        path->chooseAxis(choice);
        EXPECT_EQ(path->rotationAxis, SbVec3f(0.3f, 1.2f, 0.4f)) << "outside the menu: " << choice;
    }
}

TEST_F(CircularPathTest, startCameraComesFromAViewer) {
    {
        McHandle<HxCircularCameraPath> path = new HxCircularCameraPath;
        ASSERT_NE(theController->viewer(0, 0), nullptr) << "without viewers the main viewer is created";
        EXPECT_TRUE(near(toVec(path->cameraPosition), {0, 0, 10}, 1e-6));
    }
    viewerLookingFrom(0, {3, 4, 12}, {1, 2, 3}, {0, -1, 0});
    McHandle<HxCircularCameraPath> path = new HxCircularCameraPath;
    EXPECT_TRUE(near(toVec(path->cameraPosition), {3, 4, 12}, 1e-5));
    EXPECT_TRUE(near(toVec(path->aimPoint), {1, 2, 3}, 1e-4));
    // The viewer shows (4, -85, 18) / 89 as its up direction, unit length.
    EXPECT_TRUE(near(toVec(path->upDirection), unit(Vec{4, -85, 18}), 1e-5));
    EXPECT_EQ(path->rotationAxis, SbVec3f(0, -1, 0)) << "the most vertical axis";

    // Recompute takes the first visible viewer in the mask in mode 3.
    viewerLookingFrom(0, {0, 0, 10});
    viewerLookingFrom(1, {1, 0, 10})->setNavigationMode(2);
    viewerLookingFrom(2, {2, 0, 10})->hide();
    viewerLookingFrom(3, {3, 0, 10});  // outside the mask below
    viewerLookingFrom(5, {5, 0, 10});  // the one
    viewerLookingFrom(6, {6, 0, 10});
    path->setViewerMask(static_cast<unsigned short>(0xffff & ~(1 << 0) & ~(1 << 3)));
    path->recompute(HxCircularCameraPath::YAxis);
    EXPECT_TRUE(near(toVec(path->cameraPosition), {5, 0, 10}, 1e-6));
    // With none of those, the main viewer whatever its mode.
    for (int id : {5, 6}) theController->viewer(id)->setNavigationMode(1);
    theController->viewer(0)->setNavigationMode(1);
    path->recompute(HxCircularCameraPath::MostVertical);
    EXPECT_TRUE(near(toVec(path->cameraPosition), {0, 0, 10}, 1e-6));
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
    EXPECT_TRUE(near(viewerPosition(1), start, 0)) << "mode 2";
    EXPECT_TRUE(near(viewerPosition(2), start, 0)) << "outside the mask";
    EXPECT_TRUE(near(viewerPosition(8), start, 0)) << "beyond viewer 7";
    for (int id : {4, 5, 6, 9}) EXPECT_EQ(theController->viewer(id, 0), nullptr) << "no viewer is created: " << id;
}

TEST_F(CircularPathTest, pressingRecomputeTakesTheViewerAgainAndMovesTheViewers) {
    viewerLookingFrom(0, {0, 0, 10});
    McHandle<HxCircularCameraPath> path = new HxCircularCameraPath;
    path->portTime.setValue(90);
    path->portTime.untouch();
    path->portAction.setOptValue(HxCircularCameraPath::ZAxis);
    path->portAction.untouch();
    viewerLookingFrom(0, {0, 10, 0}, {0, 0, 0}, {1, 0, 0});
    ASSERT_TRUE(path->portAction.hit(0));
    path->fire();
    EXPECT_TRUE(near(toVec(path->cameraPosition), {0, 10, 0}, 1e-6)) << "taken from the viewer";
    EXPECT_EQ(path->rotationAxis, SbVec3f(0, 0, 1)) << "by the menu's choice";
    // The viewer shows the new start camera at t = 90, a quarter turn about +z.
    EXPECT_TRUE(near(viewerPosition(0), {-10, 0, 0}, 1e-4));
    EXPECT_EQ(path->portAction.getValue(), -1);
}

TEST_F(CircularPathTest, duplicateCopiesTheVectorsButNotThePorts) {
    McHandle<HxCircularCameraPath> path = new HxCircularCameraPath;
    setVectors(*path);
    path->portTime.setMinMax(0, 100);
    path->portTime.setValue(40);
    McHandle<HxCircularCameraPath> copy = path->duplicate();
    ASSERT_NE(copy, nullptr);
    EXPECT_NE(copy.ptr(), path.ptr());
    expectVectors(*copy);
    EXPECT_EQ(copy->portTime.getMaxValue(), 360.0f);
    EXPECT_EQ(copy->portTime.getValue(), 0.0f);
}

std::string writtenBy(HxCircularCameraPath& path, bool creation) {
    std::unique_ptr<FILE, int (*)(FILE*)> file(std::tmpfile(), &std::fclose);
    if (creation) {
        EXPECT_EQ(path.saveCreation(file.get(), "/no/such/folder", 0), 0);
    }
    path.savePorts(file.get());
    std::rewind(file.get());
    std::string text;
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, file.get())) text += buffer;
    return text;
}

TEST_F(CircularPathTest, savedNetworkWritesThePortsThenTheFourVectorsAndBringsThemBack) {
    McHandle<HxCircularCameraPath> path = pooledPath();
    path->portTime.setValue(45);
    path->portAction.setOptValue(4);
    setVectors(*path);
    EXPECT_EQ(writtenBy(*path, false),
              "{CircPath} time setMinMax 0 360\n{CircPath} time setValue 45\n{CircPath} action setOptValue 4\n"
              "{CircPath} fire\n\"CircPath\" setPosition 1 2.5 -3.1415927\n\"CircPath\" setAimPoint 0 0.125 1e-07\n"
              "\"CircPath\" setUpDirection 0 1 0\n\"CircPath\" setAxis -0.5 0 2\n");

    const std::string script = writtenBy(*path, true);
    EXPECT_EQ(script.rfind("create HxCircularCameraPath {CircPath}\n", 0), 0u);
    EXPECT_EQ(theMsg->text(), "") << "no data file, so no message about one";
    theObjectPool->clear();
    path = nullptr;
    ASSERT_EQ(theInterpreter->eval(script.c_str()), TCL_OK) << theInterpreter->result() << "\n" << script;
    auto* loaded = dynamic_cast<HxCircularCameraPath*>(theObjectPool->find("CircPath"));
    ASSERT_NE(loaded, nullptr) << script;
    expectVectors(*loaded);
    EXPECT_EQ(loaded->portTime.getValue(), 45.0f);
}

TEST_F(CircularPathTest, vectorCommandsSetTheirVectorOnlyAndCheckTheirCount) {
    McHandle<HxCircularCameraPath> path = pooledPath();
    for (const auto& c : vectors) {
        SCOPED_TRACE(c.first);
        for (const auto& other : vectors) (*path).*other.second = SbVec3f(7, 8, 9);
        ASSERT_EQ(theInterpreter->eval((std::string("CircPath ") + c.first + " 1 2 3").c_str()), TCL_OK);
        EXPECT_EQ(theInterpreter->result(), "");
        for (const auto& other : vectors)
            EXPECT_EQ((*path).*other.second, other.second == c.second ? SbVec3f(1, 2, 3) : SbVec3f(7, 8, 9))
                << other.first;
        EXPECT_EQ(path->getTouchFlags(), 0u) << "the commands do not touch the object";
        for (const char* arguments : {" 1 2", " 1 2 3 4"}) {
            theMsg->clear();
            EXPECT_EQ(theInterpreter->eval((std::string("CircPath ") + c.first + arguments).c_str()), TCL_ERROR);
            const std::string expected = std::string("CircPath ") + c.first + ": wrong number of arguments";
            EXPECT_EQ(theInterpreter->result(), expected);
            EXPECT_EQ(theMsg->text(), expected + "\n");
            EXPECT_EQ((*path).*c.second, SbVec3f(1, 2, 3));
        }
    }
    ASSERT_EQ(theInterpreter->eval("CircPath setAxis -1.5e1 0x10 .25"), TCL_OK);
    EXPECT_EQ(path->rotationAxis, SbVec3f(-15, 16, 0.25f)) << "numbers are read like strtod";
    const struct {
        const char *arguments, *message;
    } refusals[] = {{"setAxis 1 x 0", "CircPath setAxis: expected three numbers"},
                    {"setPosition 0 0 nan", "CircPath setPosition: expected three numbers"},
                    {"setUpDirection 1e39 0 0", "CircPath setUpDirection: expected three numbers"},
                    {"setAxis 0 0 0", "CircPath setAxis: the axis must not be zero"}};
    for (const auto& c : refusals) {
        EXPECT_EQ(theInterpreter->eval((std::string("CircPath ") + c.arguments).c_str()), TCL_ERROR) << c.arguments;
        EXPECT_EQ(theInterpreter->result(), c.message);
    }
    EXPECT_EQ(path->rotationAxis, SbVec3f(-15, 16, 0.25f));
    EXPECT_EQ(path->cameraPosition, SbVec3f(7, 8, 9));
    EXPECT_EQ(path->upDirection, SbVec3f(7, 8, 9));
    ASSERT_EQ(theInterpreter->eval("CircPath time getMinMax"), TCL_OK) << "other words reach the generic commands";
    EXPECT_EQ(theInterpreter->result(), "0 360");
    EXPECT_EQ(theInterpreter->eval("CircPath setNothing 1 2 3"), TCL_ERROR);
}

class CircularPathBrio : public CircularPathTest {
protected:
    void SetUp() override {
        CircularPathTest::SetUp();
        char pattern[] = "/tmp/vevazaru-circ-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder = pattern;
        file = (folder / "circle.brio").string();
        path = pooledPath();
        setVectors(*path);
        path->portTime.setMinMax(10, 70);
        theMsg->clear();
    }
    void TearDown() override {
        path = nullptr;
        std::filesystem::remove_all(folder);
        CircularPathTest::TearDown();
    }
    std::filesystem::path folder;
    std::string file;
    McHandle<HxCircularCameraPath> path;
};

TEST_F(CircularPathBrio, savedFileLoadsBackAsTheSamePath) {
    ASSERT_EQ(path->saveAs("Pexil Brio", file.c_str()), 1);
    EXPECT_EQ(path->getLoadCmd(), file);
    std::string error, contentType;
    std::unique_ptr<VornaMesh> mesh = VornaMesh::read(file.c_str(), error);
    ASSERT_NE(mesh, nullptr) << error;
    ASSERT_TRUE(mesh->parameters.getText("ContentType", contentType));
    EXPECT_EQ(contentType, "CircularCameraPath");

    const size_t before = theObjectPool->objects().size();
    ASSERT_EQ(HxCircularCameraPath::readVornaMesh(mesh.get(), file.c_str()), 1);
    ASSERT_EQ(theObjectPool->objects().size(), before + 1);
    auto* loaded = dynamic_cast<HxCircularCameraPath*>(theObjectPool->objects().back().ptr());
    ASSERT_NE(loaded, nullptr);
    expectVectors(*loaded);
    EXPECT_EQ(loaded->portTime.getMinValue(), 10.0f);
    EXPECT_EQ(loaded->portTime.getMaxValue(), 70.0f);
}

TEST_F(CircularPathBrio, incompleteFilesAreRefusedWithAMessage) {
    VornaMesh mesh;
    mesh.parameters.set("ContentType", "CircularCameraPath", 0);
    HxParamBundle& state = mesh.parameters.bundle("CircularCameraPath");
    const double three[3] = {1, 2, 3}, range[2] = {0, 360};
    state.set("CameraPosition", 3, three, 0);
    state.set("AimPoint", 3, three, 0);
    state.set("UpDirection", 3, three, 0);
    state.set("TimeRange", 2, range, 0);  // RotationAxis is missing
    const size_t before = theObjectPool->objects().size();
    EXPECT_EQ(HxCircularCameraPath::readVornaMesh(&mesh, "partial.brio"), 0);
    EXPECT_EQ(theMsg->text(), "partial.brio holds no complete circular camera path\n");
    const double notFinite[3] = {1, std::nan(""), 3};
    state.set("RotationAxis", 3, notFinite, 0);
    EXPECT_EQ(HxCircularCameraPath::readVornaMesh(&mesh, "partial.brio"), 0);
    EXPECT_EQ(theObjectPool->objects().size(), before);
}

TEST_F(CircularPathBrio, failedSaveLeavesAnExistingFileAsItWas) {
    std::ofstream(file) << "older contents";
    const std::string blocked = (folder / "circle.brio" / "inside.brio").string();  // parent is a file
    EXPECT_EQ(path->writePexilBrio(blocked.c_str()), 0);
    EXPECT_NE(theMsg->text().find(blocked), std::string::npos) << theMsg->text();
    // A vector that is not finite would give a file the reader refuses.
    theMsg->clear();
    path->aimPoint[1] = std::numeric_limits<float>::infinity();
    EXPECT_EQ(path->writePexilBrio(file.c_str()), 0);
    EXPECT_EQ(theMsg->text(), file + ": the circular path has numbers that are not finite; not saved\n");
    std::ifstream in(file);
    std::string contents;
    std::getline(in, contents);
    EXPECT_EQ(contents, "older contents");
}

}  // namespace
