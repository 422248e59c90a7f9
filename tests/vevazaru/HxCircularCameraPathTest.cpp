// The circular camera path: its type and ports, the turn about the axis
// through the aim point, the start camera and axis taken from a viewer, which
// viewers compute() moves, copying, saved-network lines, script commands, and
// the save format that refuses to write.
#include "HxCircularCameraPath.h"

#include <vornamesh/VornaMesh.h>

#include <hxcore/HxInterpreter.h>
#include <hxcore/HxMessage.h>
#include <hxcore/HxObjectPool.h>
#include <mc/McHandle.h>
#include <mc/McTypeInfo.h>
#include <viewer/HxController.h>
#include <viewer/HxViewer.h>
#include <viewer/QxViewer.h>

#include <Inventor/nodes/SoPerspectiveCamera.h>
#include <QString>
#include <gtest/gtest.h>
#include <tcl.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <ostream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

// ---------------------------------------------------------------------------
// Helpers. Expected cameras come from Rodrigues' rotation formula in double
// precision, and cameras are read back from their fields with the orientation
// alone, so no check leans on the code under test or the host's camera helpers.

struct Vec {
    double x, y, z;
};
Vec operator+(Vec a, Vec b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
Vec operator-(Vec a, Vec b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
Vec operator*(Vec a, double s) { return {a.x * s, a.y * s, a.z * s}; }
double dot(Vec a, Vec b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
Vec cross(Vec a, Vec b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
double length(Vec a) { return std::sqrt(dot(a, a)); }
Vec unit(Vec a) { return a * (1.0 / length(a)); }
Vec vec(const SbVec3f& v) { return {v[0], v[1], v[2]}; }

std::ostream& operator<<(std::ostream& out, Vec v) { return out << "(" << v.x << ", " << v.y << ", " << v.z << ")"; }

// v turned by `angle` (radians, right-handed) about the direction `axis`.
Vec rotated(Vec v, Vec axis, double angle) {
    const Vec k = unit(axis);
    return v * std::cos(angle) + cross(k, v) * std::sin(angle) + k * (dot(k, v) * (1 - std::cos(angle)));
}

::testing::AssertionResult near(Vec actual, Vec expected, double tolerance) {
    if (length(actual - expected) <= tolerance) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << actual << " is not within " << tolerance << " of " << expected;
}

Vec viewDirOf(const SoCamera& camera) {
    SbVec3f dir;
    camera.orientation.getValue().multVec(SbVec3f(0, 0, -1), dir);
    return vec(dir);
}

Vec upOf(const SoCamera& camera) {
    SbVec3f up;
    camera.orientation.getValue().multVec(SbVec3f(0, 1, 0), up);
    return vec(up);
}

Vec positionOf(const SoCamera& camera) { return vec(camera.position.getValue()); }

Vec aimOf(const SoCamera& camera) {
    return positionOf(camera) + viewDirOf(camera) * camera.focalDistance.getValue();
}

// The unit part of v perpendicular to the unit vector f: the up direction a
// camera shows when asked for up direction v while looking along f.
Vec perpendicularUnit(Vec v, Vec f) { return unit(v - f * dot(v, f)); }

// Places a viewer's camera without the host's helpers: orientation from the
// viewing direction and up direction, focal distance to the aim point.
void placeCamera(SoCamera* camera, Vec position, Vec aim, Vec up) {
    const Vec back = unit(position - aim);
    const Vec y = perpendicularUnit(up, back * -1.0);
    const Vec x = cross(y, back);
    const SbMatrix m(float(x.x), float(x.y), float(x.z), 0, float(y.x), float(y.y), float(y.z), 0,
                     float(back.x), float(back.y), float(back.z), 0, 0, 0, 0, 1);
    camera->position.setValue(float(position.x), float(position.y), float(position.z));
    camera->orientation.setValue(SbRotation(m));
    camera->focalDistance.setValue(float(length(position - aim)));
}

SbVec3f sb(Vec v) { return SbVec3f(float(v.x), float(v.y), float(v.z)); }

const double pi = 3.14159265358979323846;

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
    }
};

// ---------------------------------------------------------------------------
// Type, ports, defaults

TEST_F(CircularPathTest, typeRecordHangsBelowTheCameraPathBase) {
    const McTypeInfo* type = HxCircularCameraPath::getClassTypeId();
    EXPECT_STREQ(type->getName(), "HxCircularCameraPath");
    EXPECT_EQ(type->parent(), VeVazaruPath::getClassTypeId());
    EXPECT_EQ(McTypeInfo::fromName("HxCircularCameraPath"), type);
    EXPECT_EQ(HxCircularCameraPath::initClass(), type);

    std::unique_ptr<McTypedObject> object(type->createInstance());
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(object->getTypeId(), type);
    EXPECT_NE(dynamic_cast<HxCircularCameraPath*>(object.get()), nullptr);
    HxCircularCameraPath::deleteInstance(nullptr);  // does nothing
}

TEST_F(CircularPathTest, portsAreTimeThenAction) {
    McHandle<HxCircularCameraPath> path = new HxCircularCameraPath;
    ASSERT_EQ(path->ports().size(), 2u);
    EXPECT_EQ(path->ports()[0], &path->portTime);
    EXPECT_EQ(path->ports()[1], &path->portAction);
    EXPECT_STREQ(path->portTime.getName(), "time");
    EXPECT_EQ(path->portTime.getLabel(), QString("Time"));
    EXPECT_STREQ(path->portAction.getName(), "action");
    EXPECT_EQ(path->portAction.getLabel(), QString("Action"));
}

TEST_F(CircularPathTest, timeRunsOverOneTurnOfDegrees) {
    McHandle<HxCircularCameraPath> path = new HxCircularCameraPath;
    EXPECT_EQ(path->portTime.getMinValue(), 0.0f);
    EXPECT_EQ(path->portTime.getMaxValue(), 360.0f);
    EXPECT_EQ(path->portTime.getIncrement(), 1.0f);
    EXPECT_FALSE(path->portTime.isDiscrete());
    EXPECT_FALSE(path->portTime.connectsToGlobalTime());
    EXPECT_EQ(path->getDuration(), 360.0f);
}

TEST_F(CircularPathTest, actionHasRecomputeAndFiveAxisChoices) {
    McHandle<HxCircularCameraPath> path = new HxCircularCameraPath;
    const HxPortButtonMenu& action = path->portAction;
    ASSERT_EQ(action.getNumButtons(), 1);
    EXPECT_EQ(action.getLabel(0), QString("recompute"));
    ASSERT_EQ(action.getNumOptions(), 5);
    const char* labels[] = {"most vertical", "x-axis", "y-axis", "z-axis", "up direction"};
    for (int i = 0; i < 5; ++i) EXPECT_EQ(action.getOptLabel(i), QString(labels[i])) << i;
    EXPECT_EQ(action.getOptValue(), 0);
    EXPECT_EQ(action.getToolTip(),
              QString("Camera will be recomputed according to the camera in the main viewer when you press the "
                      "<i>recompute</i> button or specify the camera orientation."));
    EXPECT_TRUE(action.getFireOnSaveNetwork());
}

TEST_F(CircularPathTest, closedWithoutKeyframeTimes) {
    McHandle<HxCircularCameraPath> path = new HxCircularCameraPath;
    EXPECT_TRUE(path->isClosed());
    for (int k : {-1, 0, 1, 7, 1000}) EXPECT_EQ(path->getTime(k), 0.0f) << k;
    path->portTime.setMinMax(10, 25);
    EXPECT_EQ(path->getDuration(), 15.0f);
    EXPECT_TRUE(path->isClosed());
}

TEST_F(CircularPathTest, offersOneSaveFormatForNetworks) {
    McHandle<HxCircularCameraPath> path = new HxCircularCameraPath;
    const HxSaveFormatInfo* formats = path->saveFormats();
    ASSERT_NE(formats, nullptr);
    EXPECT_STREQ(formats[0].name, "Pexil Brio");
    EXPECT_STREQ(formats[0].extension, "brio");
    EXPECT_NE(formats[0].writer, nullptr);
    EXPECT_EQ(formats[0].second, nullptr);
    EXPECT_EQ(formats[0].flag, 1);
    EXPECT_EQ(formats[1].name, nullptr);
    EXPECT_EQ(formats[1].extension, nullptr);
    EXPECT_EQ(formats[1].writer, nullptr);
    EXPECT_EQ(formats[1].flag, 0);
}

TEST_F(CircularPathTest, showsNoInfoText) {
    McHandle<HxCircularCameraPath> path = new HxCircularCameraPath;
    path->updateInfo(false);
    EXPECT_EQ(path->getInfoText(), "");
}

// ---------------------------------------------------------------------------
// The turn

struct TurnCase {
    const char* name;
    Vec position, aim, up;
    int axisChoice;  // the menu's choice that gives `axis` from `up`
    Vec axis;
};

std::ostream& operator<<(std::ostream& out, const TurnCase& c) { return out << c.name; }

const TurnCase turnCases[] = {
    {"aboutYThroughTheOrigin", {0, 0, 10}, {0, 0, 0}, {0, 1, 0}, HxCircularCameraPath::MostVertical, {0, 1, 0}},
    {"aboutXThroughAnOffsetAim", {1, 2, 8}, {1, 2, 3}, {0, 1, 0}, HxCircularCameraPath::XAxis, {1, 0, 0}},
    {"aboutZWithTheCameraAboveTheAimAlongTheAxis", {3, 4, 5}, {1, 1, 1}, {0, 0, 1}, HxCircularCameraPath::ZAxis,
     {0, 0, 1}},
    {"aboutMinusY", {0, 0, 10}, {0, 0, 0}, {0, -1, 0}, HxCircularCameraPath::MostVertical, {0, -1, 0}},
    // A non-unit axis turns exactly like its unit direction.
    {"aboutANonUnitUpDirection", {4, -2, 6}, {0.5, 1, -1}, {0.3, 1.2, 0.4}, HxCircularCameraPath::UpDirection,
     {0.3, 1.2, 0.4}},
};

class CircularPathTurn : public CircularPathTest, public ::testing::WithParamInterface<TurnCase> {
protected:
    void SetUp() override {
        CircularPathTest::SetUp();
        path = new HxCircularCameraPath;
        const TurnCase& c = GetParam();
        path->cameraPosition = sb(c.position);
        path->aimPoint = sb(c.aim);
        path->upDirection = sb(c.up);
        path->chooseAxis(c.axisChoice);
        ASSERT_EQ(path->rotationAxis, sb(c.axis));
    }
    void TearDown() override {
        path = nullptr;
        CircularPathTest::TearDown();
    }

    // Checks the camera of time t (degrees with the default range) against the
    // start camera turned by that angle.
    void expectTurnedBy(float t, double degrees) {
        const TurnCase& c = GetParam();
        McHandle<SoPerspectiveCamera> camera = new SoPerspectiveCamera;
        path->getCamera(t, *camera);
        const double angle = degrees * pi / 180;
        const Vec expectedPosition = c.aim + rotated(c.position - c.aim, c.axis, angle);
        const double scale = length(c.position - c.aim);
        EXPECT_TRUE(near(positionOf(*camera), expectedPosition, 2e-5 * scale)) << "t = " << t;
        EXPECT_TRUE(near(aimOf(*camera), c.aim, 2e-5 * scale)) << "still looking at the aim point, t = " << t;
        const Vec view = unit(expectedPosition - c.aim) * -1.0;
        EXPECT_TRUE(near(upOf(*camera), perpendicularUnit(rotated(c.up, c.axis, angle), view), 1e-5)) << "t = " << t;
    }

    McHandle<HxCircularCameraPath> path;
};

TEST_P(CircularPathTurn, startAndEndOfTheRangeGiveTheStartCamera) {
    expectTurnedBy(0, 0);
    expectTurnedBy(360, 0);
}

TEST_P(CircularPathTurn, aQuarterOfTheRangeIsAQuarterTurn) {
    expectTurnedBy(90, 90);
    expectTurnedBy(270, 270);
}

TEST_P(CircularPathTurn, halfTheRangeIsTheOppositeSideAtTheSameHeightAndDistance) {
    expectTurnedBy(180, 180);

    const TurnCase& c = GetParam();
    McHandle<SoPerspectiveCamera> camera = new SoPerspectiveCamera;
    path->getCamera(180, *camera);
    const Vec k = unit(c.axis);
    const Vec before = c.position - c.aim, after = positionOf(*camera) - c.aim;
    const double scale = length(before);
    EXPECT_NEAR(dot(after, k), dot(before, k), 2e-5 * scale) << "same height along the axis";
    EXPECT_NEAR(length(after), length(before), 2e-5 * scale) << "same distance from the aim point";
    // The part perpendicular to the axis points the other way.
    const Vec radialBefore = before - k * dot(before, k), radialAfter = after - k * dot(after, k);
    EXPECT_TRUE(near(radialAfter, radialBefore * -1.0, 2e-5 * scale));
}

TEST_P(CircularPathTurn, timesOutsideTheRangeTurnOn) {
    expectTurnedBy(450, 90);
    expectTurnedBy(-90, -90);
}

TEST_P(CircularPathTurn, anotherRangeStillMakesOneTurn) {
    path->portTime.setMinMax(10, 20);
    expectTurnedBy(10, 0);
    expectTurnedBy(12.5f, 90);
    expectTurnedBy(20, 360);
}

TEST_P(CircularPathTurn, newCameraIsTheCallersAndMatchesTheFilledOne) {
    SoCamera* made = path->getCamera(90.0f);
    ASSERT_NE(made, nullptr);
    EXPECT_TRUE(made->isOfType(SoPerspectiveCamera::getClassTypeId()));
    EXPECT_EQ(made->getRefCount(), 0) << "the caller takes the first reference";
    made->ref();
    McHandle<SoPerspectiveCamera> filled = new SoPerspectiveCamera;
    path->getCamera(90.0f, *filled);
    EXPECT_EQ(made->position.getValue(), filled->position.getValue());
    EXPECT_EQ(made->orientation.getValue(), filled->orientation.getValue());
    made->unref();
}

INSTANTIATE_TEST_SUITE_P(Axes, CircularPathTurn, ::testing::ValuesIn(turnCases),
                         [](const ::testing::TestParamInfo<TurnCase>& p) { return std::string(p.param.name); });

TEST_F(CircularPathTest, quarterTurnAboutYTakesPlusZToPlusX) {
    // The right-handed sense, spelled out for one case.
    McHandle<HxCircularCameraPath> path = new HxCircularCameraPath;
    path->cameraPosition.setValue(0, 0, 10);
    path->aimPoint.setValue(0, 0, 0);
    path->upDirection.setValue(0, 1, 0);
    path->rotationAxis.setValue(0, 1, 0);
    McHandle<SoPerspectiveCamera> camera = new SoPerspectiveCamera;
    path->getCamera(90, *camera);
    EXPECT_TRUE(near(positionOf(*camera), {10, 0, 0}, 1e-4));
    EXPECT_TRUE(near(viewDirOf(*camera), {-1, 0, 0}, 1e-5));
}

TEST_F(CircularPathTest, rangeOfNoLengthAlwaysGivesTheStartCamera) {
    McHandle<HxCircularCameraPath> path = new HxCircularCameraPath;
    path->cameraPosition.setValue(2, 3, 9);
    path->aimPoint.setValue(1, 1, 1);
    path->upDirection.setValue(0, 1, 0);
    path->rotationAxis.setValue(0, 1, 0);
    path->portTime.setMinMax(5, 5);
    EXPECT_EQ(path->getDuration(), 0.0f);
    for (float t : {5.0f, 0.0f, 90.0f, -40.0f, 1e6f}) {
        McHandle<SoPerspectiveCamera> camera = new SoPerspectiveCamera;
        path->getCamera(t, *camera);
        EXPECT_TRUE(near(positionOf(*camera), {2, 3, 9}, 1e-5)) << t;
        EXPECT_TRUE(near(aimOf(*camera), {1, 1, 1}, 1e-4)) << t;
    }
}

// ---------------------------------------------------------------------------
// Axis choices

struct AxisCase {
    const char* name;
    Vec up, expected;
};

std::ostream& operator<<(std::ostream& out, const AxisCase& c) { return out << c.name; }

class CircularPathMostVertical : public CircularPathTest, public ::testing::WithParamInterface<AxisCase> {};

TEST_P(CircularPathMostVertical, picksTheSignedWorldAxisNearestTheUpDirection) {
    McHandle<HxCircularCameraPath> path = new HxCircularCameraPath;
    path->upDirection = sb(GetParam().up);
    path->rotationAxis.setValue(7, 7, 7);
    path->chooseAxis(HxCircularCameraPath::MostVertical);
    EXPECT_EQ(vec(path->rotationAxis).x, GetParam().expected.x);
    EXPECT_EQ(vec(path->rotationAxis).y, GetParam().expected.y);
    EXPECT_EQ(vec(path->rotationAxis).z, GetParam().expected.z);
}

const AxisCase mostVerticalCases[] = {
    {"up", {0, 1, 0}, {0, 1, 0}},
    {"mostlyDown", {0.1, -0.9, 0.2}, {0, -1, 0}},
    {"tieOfXAndYGoesToY", {0.5, 0.5, 0}, {0, 1, 0}},
    {"tieOfAllGoesToZ", {0.6, 0.6, 0.6}, {0, 0, 1}},
    {"minusZ", {0, 0, -1}, {0, 0, -1}},
    {"mostlyX", {-0.8, 0.3, 0.1}, {-1, 0, 0}},
    {"tieOfYAndZGoesToZ", {0.1, -0.7, -0.7}, {0, 0, -1}},
    {"zeroComponentCountsAsNegative", {0, 0, 0}, {0, 0, -1}},
};

INSTANTIATE_TEST_SUITE_P(Table, CircularPathMostVertical, ::testing::ValuesIn(mostVerticalCases),
                         [](const ::testing::TestParamInfo<AxisCase>& p) { return std::string(p.param.name); });

TEST_F(CircularPathTest, fixedAxisChoicesIgnoreTheUpDirection) {
    McHandle<HxCircularCameraPath> path = new HxCircularCameraPath;
    path->upDirection.setValue(0.2f, -0.3f, 0.9f);
    path->chooseAxis(HxCircularCameraPath::XAxis);
    EXPECT_EQ(path->rotationAxis, SbVec3f(1, 0, 0));
    path->chooseAxis(HxCircularCameraPath::YAxis);
    EXPECT_EQ(path->rotationAxis, SbVec3f(0, 1, 0));
    path->chooseAxis(HxCircularCameraPath::ZAxis);
    EXPECT_EQ(path->rotationAxis, SbVec3f(0, 0, 1));
}

TEST_F(CircularPathTest, upDirectionChoiceCopiesTheUpVectorUnchanged) {
    McHandle<HxCircularCameraPath> path = new HxCircularCameraPath;
    path->upDirection.setValue(0.3f, 1.2f, 0.4f);
    path->chooseAxis(HxCircularCameraPath::UpDirection);
    EXPECT_EQ(path->rotationAxis, SbVec3f(0.3f, 1.2f, 0.4f)) << "not normalised";
}

TEST_F(CircularPathTest, choiceOutsideTheMenuLeavesTheAxis) {
    McHandle<HxCircularCameraPath> path = new HxCircularCameraPath;
    path->rotationAxis.setValue(2, 3, 4);
    for (int choice : {-1, 5, 99}) {
        path->chooseAxis(choice);
        EXPECT_EQ(path->rotationAxis, SbVec3f(2, 3, 4)) << choice;
    }
}

// ---------------------------------------------------------------------------
// Start camera from a viewer

HxViewer* viewerLookingFrom(int id, Vec position, Vec aim = {0, 0, 0}, Vec up = {0, 1, 0}) {
    HxViewer* viewer = theController->viewer(id, 1, nullptr, true);
    placeCamera(viewer->getCamera(), position, aim, up);
    return viewer;
}

TEST_F(CircularPathTest, startCameraComesFromTheMainViewerOnCreation) {
    viewerLookingFrom(0, {3, 4, 12}, {1, 2, 3}, {0, -1, 0});
    McHandle<HxCircularCameraPath> path = new HxCircularCameraPath;
    EXPECT_TRUE(near(vec(path->cameraPosition), {3, 4, 12}, 1e-5));
    EXPECT_TRUE(near(vec(path->aimPoint), {1, 2, 3}, 1e-4));
    // The viewer shows (4, -85, 18) / 89 as its up direction, unit length.
    EXPECT_TRUE(near(vec(path->upDirection), unit(Vec{4, -85, 18}), 1e-5));
    EXPECT_EQ(path->rotationAxis, SbVec3f(0, -1, 0)) << "the most vertical axis";
}

TEST_F(CircularPathTest, withoutViewersTheMainViewerIsCreatedAndUsed) {
    McHandle<HxCircularCameraPath> path = new HxCircularCameraPath;
    ASSERT_NE(theController->viewer(0, 0), nullptr);
    // A new viewer stands at (0, 0, 10) and looks at the origin, up along y.
    EXPECT_TRUE(near(vec(path->cameraPosition), {0, 0, 10}, 1e-6));
    EXPECT_TRUE(near(vec(path->aimPoint), {0, 0, 0}, 1e-5));
    EXPECT_EQ(path->rotationAxis, SbVec3f(0, 1, 0));
}

TEST_F(CircularPathTest, recomputeTakesTheFirstVisibleViewerInTheMaskInModeThree) {
    viewerLookingFrom(0, {0, 0, 10});
    viewerLookingFrom(1, {1, 0, 10})->setNavigationMode(2);  // not mode 3
    viewerLookingFrom(2, {2, 0, 10})->hide();                 // not visible
    viewerLookingFrom(3, {3, 0, 10});                         // outside the mask below
    viewerLookingFrom(5, {5, 0, 10});                         // the one
    viewerLookingFrom(6, {6, 0, 10});                         // later in order
    McHandle<HxCircularCameraPath> path = new HxCircularCameraPath;
    path->setViewerMask(static_cast<unsigned short>(0xffff & ~(1 << 0) & ~(1 << 3)));
    path->recompute(HxCircularCameraPath::YAxis);
    EXPECT_TRUE(near(vec(path->cameraPosition), {5, 0, 10}, 1e-6));
    EXPECT_EQ(path->rotationAxis, SbVec3f(0, 1, 0));
}

TEST_F(CircularPathTest, recomputeFallsBackToTheMainViewerWhateverItsMode) {
    viewerLookingFrom(0, {0, 0, 10})->setNavigationMode(1);
    viewerLookingFrom(1, {1, 0, 10})->setNavigationMode(2);
    viewerLookingFrom(4, {4, 0, 10}, {0, 0, 0}, {1, 0, 0})->hide();
    McHandle<HxCircularCameraPath> path = new HxCircularCameraPath;
    path->cameraPosition.setValue(9, 9, 9);
    path->recompute(HxCircularCameraPath::MostVertical);
    EXPECT_TRUE(near(vec(path->cameraPosition), {0, 0, 10}, 1e-6));
    EXPECT_EQ(path->rotationAxis, SbVec3f(0, 1, 0));
}

TEST_F(CircularPathTest, recomputeReadsTheViewerThroughItsInteractionState) {
    viewerLookingFrom(0, {0, 0, 10});
    HxViewer* second = viewerLookingFrom(1, {1, 0, 10});
    McHandle<HxCircularCameraPath> path = new HxCircularCameraPath;
    path->setViewerMask(1 << 1);
    second->qxViewer()->setNavigationMode(0);
    path->recompute(HxCircularCameraPath::MostVertical);
    EXPECT_TRUE(near(vec(path->cameraPosition), {0, 0, 10}, 1e-6)) << "viewer 1 is not in mode 3";
    second->qxViewer()->setNavigationMode(3);
    path->recompute(HxCircularCameraPath::MostVertical);
    EXPECT_TRUE(near(vec(path->cameraPosition), {1, 0, 10}, 1e-6));
}

// ---------------------------------------------------------------------------
// compute(): which viewers move

TEST_F(CircularPathTest, computeMovesOnlyViewersInTheMaskInModeThreeAmongTheFirstEight) {
    const Vec start{0, 0, 10};
    for (int id : {0, 1, 2, 3, 7, 8}) viewerLookingFrom(id, start);
    theController->viewer(1)->setNavigationMode(2);
    McHandle<HxCircularCameraPath> path = new HxCircularCameraPath;
    path->rotationAxis.setValue(0, 1, 0);
    path->setViewerMask(static_cast<unsigned short>(0xffff & ~(1 << 2)));

    path->portTime.setValue(90);
    path->fire();

    const Vec turned{10, 0, 0};
    EXPECT_TRUE(near(positionOf(*theController->viewer(0)->getCamera()), turned, 1e-4));
    EXPECT_TRUE(near(positionOf(*theController->viewer(3)->getCamera()), turned, 1e-4));
    EXPECT_TRUE(near(positionOf(*theController->viewer(7)->getCamera()), turned, 1e-4));
    EXPECT_TRUE(near(positionOf(*theController->viewer(1)->getCamera()), start, 0)) << "mode 2";
    EXPECT_TRUE(near(positionOf(*theController->viewer(2)->getCamera()), start, 0)) << "outside the mask";
    EXPECT_TRUE(near(positionOf(*theController->viewer(8)->getCamera()), start, 0)) << "beyond viewer 7";
    for (int id : {4, 5, 6, 9}) EXPECT_EQ(theController->viewer(id, 0), nullptr) << "no viewer is created: " << id;
}

TEST_F(CircularPathTest, computeDoesNothingUnlessAPortIsNew) {
    viewerLookingFrom(0, {0, 0, 10});
    McHandle<HxCircularCameraPath> path = new HxCircularCameraPath;
    path->portTime.setValue(90);
    path->portTime.untouch();
    path->compute();
    EXPECT_TRUE(near(positionOf(*theController->viewer(0)->getCamera()), {0, 0, 10}, 0));
}

TEST_F(CircularPathTest, pressingRecomputeTakesTheViewerAgainAndMovesTheViewers) {
    viewerLookingFrom(0, {0, 0, 10});
    McHandle<HxCircularCameraPath> path = new HxCircularCameraPath;
    path->portTime.setValue(90);
    path->portTime.untouch();
    path->cameraPosition.setValue(1, 2, 3);
    path->rotationAxis.setValue(1, 0, 0);
    path->portAction.setOptValue(HxCircularCameraPath::ZAxis);
    path->portAction.untouch();

    viewerLookingFrom(0, {0, 10, 0}, {0, 0, 0}, {1, 0, 0});
    ASSERT_TRUE(path->portAction.hit(0));
    path->fire();

    EXPECT_TRUE(near(vec(path->cameraPosition), {0, 10, 0}, 1e-6)) << "taken from the viewer";
    EXPECT_EQ(path->rotationAxis, SbVec3f(0, 0, 1)) << "by the menu's choice";
    // The time port was touched: the viewer shows the new start camera at t = 90,
    // a quarter turn about +z.
    EXPECT_TRUE(near(positionOf(*theController->viewer(0)->getCamera()), {-10, 0, 0}, 1e-4));
    EXPECT_EQ(path->portAction.getValue(), -1);
}

TEST_F(CircularPathTest, choosingAnAxisRecomputes) {
    viewerLookingFrom(0, {0, 0, 10});
    McHandle<HxCircularCameraPath> path = new HxCircularCameraPath;
    path->portAction.setOptValue(HxCircularCameraPath::XAxis);
    path->fire();
    EXPECT_EQ(path->rotationAxis, SbVec3f(1, 0, 0));
}

// ---------------------------------------------------------------------------
// Copying

TEST_F(CircularPathTest, duplicateCopiesTheVectorsButNotThePorts) {
    viewerLookingFrom(0, {0, 0, 10});
    McHandle<HxCircularCameraPath> path = new HxCircularCameraPath;
    path->cameraPosition.setValue(1, 2, 3);
    path->aimPoint.setValue(4, 5, 6);
    path->upDirection.setValue(0, 0, 2);
    path->rotationAxis.setValue(0.5f, 0, 0);
    path->portTime.setMinMax(0, 100);
    path->portTime.setValue(40);
    path->portAction.setOptValue(3);

    McHandle<HxCircularCameraPath> copy = path->duplicate();
    ASSERT_NE(copy, nullptr);
    EXPECT_NE(copy.ptr(), path.ptr());
    EXPECT_EQ(copy->getTypeId(), HxCircularCameraPath::getClassTypeId());
    EXPECT_EQ(copy->cameraPosition, SbVec3f(1, 2, 3));
    EXPECT_EQ(copy->aimPoint, SbVec3f(4, 5, 6));
    EXPECT_EQ(copy->upDirection, SbVec3f(0, 0, 2));
    EXPECT_EQ(copy->rotationAxis, SbVec3f(0.5f, 0, 0));
    EXPECT_EQ(copy->portTime.getMaxValue(), 360.0f);
    EXPECT_EQ(copy->portTime.getValue(), 0.0f);
    EXPECT_EQ(copy->portAction.getOptValue(), 0);
}

// ---------------------------------------------------------------------------
// Saved networks and script commands

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

McHandle<HxCircularCameraPath> pooledPath(const char* name) {
    McHandle<HxCircularCameraPath> path = new HxCircularCameraPath;
    EXPECT_EQ(theObjectPool->add(path, name), name);
    return path;
}

TEST_F(CircularPathTest, savePortsWritesThePortsThenTheFourVectors) {
    McHandle<HxCircularCameraPath> path = pooledPath("CircPath");
    path->portTime.setValue(45);
    path->portAction.setOptValue(4);
    path->cameraPosition.setValue(1, 2.5f, -3);
    path->aimPoint.setValue(0, 0.125f, 1e-7f);
    path->upDirection.setValue(0, 1, 0);
    path->rotationAxis.setValue(-0.5f, 0, 2);
    EXPECT_EQ(writtenBy(*path, false),
              "{CircPath} time setMinMax 0 360\n" "{CircPath} time setValue 45\n"
              "{CircPath} action setOptValue 4\n"
              "{CircPath} fire\n"
              "\"CircPath\" setPosition 1 2.5 -3\n"
              "\"CircPath\" setAimPoint 0 0.125 1e-07\n"
              "\"CircPath\" setUpDirection 0 1 0\n"
              "\"CircPath\" setAxis -0.5 0 2\n");
}

TEST_F(CircularPathTest, saveCreationRecreatesByTypeAndWritesNoFile) {
    McHandle<HxCircularCameraPath> path = pooledPath("CircPath");
    const std::string text = writtenBy(*path, true);
    EXPECT_EQ(text.substr(0, text.find('\n') + 1), "create HxCircularCameraPath {CircPath}\n");
    EXPECT_EQ(theMsg->text(), "") << "no data file, so no message about one";
}

TEST_F(CircularPathTest, savedNetworkBringsTheVectorsBack) {
    McHandle<HxCircularCameraPath> path = pooledPath("CircPath");
    path->cameraPosition.setValue(1, 2.5f, -3);
    path->aimPoint.setValue(0, 1, 0);
    path->upDirection.setValue(0, 0, 1);
    path->rotationAxis.setValue(0, 0, 3);
    path->portTime.setValue(30);
    const std::string script = writtenBy(*path, true);
    theObjectPool->clear();
    path = nullptr;

    ASSERT_EQ(theInterpreter->eval(script.c_str()), TCL_OK) << theInterpreter->result() << "\n" << script;
    auto* loaded = dynamic_cast<HxCircularCameraPath*>(theObjectPool->find("CircPath"));
    ASSERT_NE(loaded, nullptr) << script;
    EXPECT_EQ(loaded->cameraPosition, SbVec3f(1, 2.5f, -3));
    EXPECT_EQ(loaded->aimPoint, SbVec3f(0, 1, 0));
    EXPECT_EQ(loaded->upDirection, SbVec3f(0, 0, 1));
    EXPECT_EQ(loaded->rotationAxis, SbVec3f(0, 0, 3));
    EXPECT_EQ(loaded->portTime.getValue(), 30.0f);
}

class CircularPathCommands : public CircularPathTest {
protected:
    void SetUp() override {
        CircularPathTest::SetUp();
        path = pooledPath("CircPath");
        path->cameraPosition.setValue(7, 8, 9);
        path->aimPoint.setValue(7, 8, 9);
        path->upDirection.setValue(7, 8, 9);
        path->rotationAxis.setValue(7, 8, 9);
        path->portTime.untouch();
        path->portAction.untouch();
        theMsg->clear();
    }
    void TearDown() override {
        path = nullptr;
        CircularPathTest::TearDown();
    }

    int eval(const std::string& script) { return theInterpreter->eval(script.c_str()); }

    McHandle<HxCircularCameraPath> path;
};

struct VectorCommand {
    const char* command;
    SbVec3f HxCircularCameraPath::*vector;
};

const VectorCommand vectorCommands[] = {
    {"setPosition", &HxCircularCameraPath::cameraPosition},
    {"setAimPoint", &HxCircularCameraPath::aimPoint},
    {"setUpDirection", &HxCircularCameraPath::upDirection},
    {"setAxis", &HxCircularCameraPath::rotationAxis},
};

TEST_F(CircularPathCommands, eachCommandSetsItsVectorOnly) {
    for (const VectorCommand& c : vectorCommands) {
        SCOPED_TRACE(c.command);
        for (const VectorCommand& other : vectorCommands) (*path).*other.vector = SbVec3f(7, 8, 9);
        ASSERT_EQ(eval(std::string("CircPath ") + c.command + " 1 2 3"), TCL_OK) << theInterpreter->result();
        EXPECT_EQ(theInterpreter->result(), "") << "the result stays empty";
        for (const VectorCommand& other : vectorCommands)
            EXPECT_EQ((*path).*other.vector, other.vector == c.vector ? SbVec3f(1, 2, 3) : SbVec3f(7, 8, 9))
                << other.command;
    }
    EXPECT_EQ(path->getTouchFlags(), 0u) << "the commands do not touch the object";
    EXPECT_FALSE(path->portTime.isNew());
    EXPECT_FALSE(path->portAction.isNew());
}

TEST_F(CircularPathCommands, numbersAreReadLikeStrtod) {
    ASSERT_EQ(eval("CircPath setAxis -1.5e1 0x10 .25"), TCL_OK) << theInterpreter->result();
    EXPECT_EQ(path->rotationAxis, SbVec3f(-15, 16, 0.25f));
    ASSERT_EQ(eval("CircPath setPosition abc 2xyz {}"), TCL_OK) << theInterpreter->result();
    EXPECT_EQ(path->cameraPosition, SbVec3f(0, 2, 0)) << "what is not a number reads as 0";
}

TEST_F(CircularPathCommands, wrongCountIsAnsweredAndChangesNothing) {
    for (const VectorCommand& c : vectorCommands) {
        SCOPED_TRACE(c.command);
        for (const char* arguments : {" 1 2", " 1 2 3 4", ""}) {
            theMsg->clear();
            EXPECT_EQ(eval(std::string("CircPath ") + c.command + arguments), TCL_ERROR) << arguments;
            const std::string expected = std::string("CircPath ") + c.command + ": wrong number of arguments";
            EXPECT_EQ(theInterpreter->result(), expected);
            EXPECT_EQ(theMsg->text(), expected + "\n");
            EXPECT_EQ((*path).*c.vector, SbVec3f(7, 8, 9));
        }
    }
}

TEST_F(CircularPathCommands, helpOfACommandIsAnsweredAndChangesNothing) {
    ASSERT_EQ(eval("CircPath setPosition help"), TCL_OK);
    EXPECT_EQ(theInterpreter->result(), "setPosition: ");
    EXPECT_EQ(path->cameraPosition, SbVec3f(7, 8, 9));
}

TEST_F(CircularPathCommands, otherWordsReachTheGenericCommands) {
    ASSERT_EQ(eval("CircPath getSaveFormats"), TCL_OK);
    EXPECT_EQ(theInterpreter->result(), "{Pexil Brio}");
    ASSERT_EQ(eval("CircPath time getMinMax"), TCL_OK);
    EXPECT_EQ(theInterpreter->result(), "0 360");
    ASSERT_EQ(eval("CircPath help"), TCL_OK);
    EXPECT_EQ(theInterpreter->result().rfind("setPosition setAimPoint setUpDirection setAxis ", 0), 0u)
        << theInterpreter->result();
    EXPECT_EQ(eval("CircPath setNothing 1 2 3"), TCL_ERROR);
    EXPECT_EQ(theInterpreter->result(), "unknown command \"setNothing\"");
}

TEST_F(CircularPathCommands, scriptedRecomputeFollowsTheMenu) {
    viewerLookingFrom(0, {10, 0, 0});
    ASSERT_EQ(eval("CircPath action setOptValue 1; CircPath action hit 0; CircPath fire"), TCL_OK)
        << theInterpreter->result();
    EXPECT_EQ(path->rotationAxis, SbVec3f(1, 0, 0));
    EXPECT_TRUE(near(vec(path->cameraPosition), {10, 0, 0}, 1e-6));
}

// ---------------------------------------------------------------------------
// The "Pexil Brio" format: the path's state in a data file

class CircularPathBrio : public CircularPathCommands {
protected:
    void SetUp() override {
        CircularPathCommands::SetUp();
        folder = std::filesystem::temp_directory_path() /
                 ("vevazaru-circ-" + std::to_string(::getpid()) + "-" +
                  ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(folder);
        std::filesystem::create_directories(folder);
        file = (folder / "circle.brio").string();
        path->cameraPosition.setValue(1, 2.5f, -3);
        path->aimPoint.setValue(0, 0.125f, 1e-7f);
        path->upDirection.setValue(0, 1, 0);
        path->rotationAxis.setValue(-0.5f, 0, 2);
        path->portTime.setMinMax(10, 70);
    }
    void TearDown() override {
        std::filesystem::remove_all(folder);
        CircularPathCommands::TearDown();
    }

    std::filesystem::path folder;
    std::string file;
};

TEST_F(CircularPathBrio, savedFileLoadsBackAsTheSamePath) {
    ASSERT_EQ(path->saveAs("Pexil Brio", file.c_str()), 1);
    EXPECT_EQ(path->getLoadCmd(), file);
    std::string error;
    std::unique_ptr<VornaMesh> mesh = VornaMesh::read(file.c_str(), error);
    ASSERT_NE(mesh, nullptr) << error;
    std::string contentType;
    ASSERT_TRUE(mesh->parameters.getText("ContentType", contentType));
    EXPECT_EQ(contentType, "CircularCameraPath");

    const size_t before = theObjectPool->objects().size();
    ASSERT_EQ(HxCircularCameraPath::readVornaMesh(mesh.get(), file.c_str()), 1);
    ASSERT_EQ(theObjectPool->objects().size(), before + 1);
    auto* loaded = dynamic_cast<HxCircularCameraPath*>(theObjectPool->objects().back().ptr());
    ASSERT_NE(loaded, nullptr);
    EXPECT_EQ(loaded->cameraPosition, path->cameraPosition);
    EXPECT_EQ(loaded->aimPoint, path->aimPoint);
    EXPECT_EQ(loaded->upDirection, path->upDirection);
    EXPECT_EQ(loaded->rotationAxis, path->rotationAxis);
    EXPECT_EQ(loaded->portTime.getMinValue(), 10.0f);
    EXPECT_EQ(loaded->portTime.getMaxValue(), 70.0f);
    theObjectPool->remove(loaded);
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
    EXPECT_EQ(HxCircularCameraPath::readVornaMesh(&mesh, "partial.brio"), -1);
    EXPECT_EQ(theMsg->text(), "partial.brio holds no complete circular camera path\n");
    const double notFinite[3] = {1, std::nan(""), 3};
    state.set("RotationAxis", 3, notFinite, 0);
    EXPECT_EQ(HxCircularCameraPath::readVornaMesh(&mesh, "partial.brio"), -1);
    EXPECT_EQ(theObjectPool->objects().size(), before);
}

TEST_F(CircularPathBrio, failedSaveLeavesAnExistingFileAsItWas) {
    std::ofstream(file) << "older contents";
    const std::string blocked = (folder / "circle.brio" / "inside.brio").string();  // parent is a file
    EXPECT_EQ(path->writePexilBrio(blocked.c_str()), 0);
    EXPECT_NE(theMsg->text().find(blocked), std::string::npos) << theMsg->text();
    std::ifstream in(file);
    std::string contents;
    std::getline(in, contents);
    EXPECT_EQ(contents, "older contents");
}

}  // namespace
