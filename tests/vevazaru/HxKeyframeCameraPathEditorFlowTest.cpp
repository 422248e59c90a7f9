// The editor's depth-flow measurement, rendered offscreen: samples and files,
// the measured area, still and moving cameras against an analytic estimate.
#include "EditorFixture.h"

#include <WidgetApplication.h>
#include <hxcore/HxApplication.h>
#include <hxcore/HxMessage.h>
#include <hxcore/HxObjectPool.h>
#include <viewer/HxController.h>
#include <viewer/HxViewer.h>

#include <Inventor/actions/SoGetBoundingBoxAction.h>
#include <Inventor/nodes/SoCube.h>
#include <Inventor/nodes/SoPerspectiveCamera.h>
#include <Inventor/nodes/SoTranslation.h>
#include <QApplication>
#include <cmath>
#include <filesystem>
#include <functional>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

std::size_t lineCount(const fs::path& file) {
    std::ifstream in(file);
    std::size_t n = 0;
    for (std::string line; std::getline(in, line);) ++n;
    return n;
}

std::vector<float> floatsIn(const fs::path& file) {
    std::vector<float> values(fs::exists(file) ? fs::file_size(file) / sizeof(float) : 0);
    std::ifstream in(file, std::ios::binary);
    in.read(reinterpret_cast<char*>(values.data()), static_cast<std::streamsize>(values.size() * sizeof(float)));
    return values;
}

class EditorFlowTest : public EditorFixture {
protected:
    static constexpr float wallDistance = 20.0f;

    void SetUp() override {
        previousDir = fs::current_path();
        fs::create_directories(workDir);
        fs::current_path(workDir);
        // A wall facing the cameras, its front face at the distance, wide
        // enough to fill every view.
        showBox(SbVec3f(0, 0, -wallDistance - 0.5f), SbVec3f(1000, 1000, 1));
        EditorFixture::SetUp();
    }

    void TearDown() override {
        EditorFixture::TearDown();
        fs::current_path(previousDir);
        fs::remove_all(workDir);
    }

    // Keyframes at 0 and 10, the camera looking down -z from each position.
    void addKeyframes(const SbVec3f& from, const SbVec3f& to) {
        McHandle<SoPerspectiveCamera> camera = new SoPerspectiveCamera;
        camera->position.setValue(from);
        path->addKeyframe(0, camera);
        camera->position.setValue(to);
        path->addKeyframe(10, camera);
    }

    // Renders the main viewer at the given size with the overlay in its scene.
    void renderMeasured(int width, int height) {
        HxViewer* v = theController->viewer(0);
        v->setSize(width, height);
        theController->setGeom(editor->flowAnnotation, editor, 1, 1u);
        editor->setAnimation(2.5f);
        theController->setGeom(editor->flowAnnotation, editor, 0);
    }

    fs::path previousDir;
    fs::path workDir = fs::temp_directory_path() / ("vevazaru-flow-" + std::to_string(getpid()));
};

TEST_F(EditorFlowTest, aPathFromZeroToTenGivesTenSamplesAndTheirFiles) {
    addKeyframes(SbVec3f(0, 0, 0), SbVec3f(10, 0, 0));
    editor->attach(path);
    editor->zflow();
    EXPECT_EQ(editor->flowSamples.size(), 10);
    EXPECT_EQ(lineCount("flow.dat"), 10u);
    EXPECT_EQ(lineCount("time.dat"), 9u);
    EXPECT_EQ(floatsIn("velocity.raw").size(), 10u * 128 * 128);
    EXPECT_EQ(editor->useZflow, 1);
    EXPECT_EQ(editor->timeTable.size(), 10);
    EXPECT_EQ(theController->viewer(0)->getSize(), SbVec2s(128, 128));
    EXPECT_NE(theMsg->text().find("zflow: frame 10 of 10\n"), std::string::npos);

    editor->zflow();  // appends to the flow files, replaces the time table's
    EXPECT_EQ(lineCount("flow.dat"), 20u);
    EXPECT_EQ(floatsIn("velocity.raw").size(), 20u * 128 * 128);
    EXPECT_EQ(lineCount("time.dat"), 9u);
    EXPECT_EQ(editor->flowSamples.size(), 10);
}

TEST_F(EditorFlowTest, aSidewaysMoveMatchesTheFlowOfAWallAtKnownDistance) {
    addKeyframes(SbVec3f(0, 0, 0), SbVec3f(10, 0, 0));
    editor->attach(path);
    editor->zflow();
    // Every pixel shows the wall: a sideways step s moves it by s / (d tan(a/2))
    // in normalised device units, a being the height angle (square window).
    const float halfAngle = static_cast<SoPerspectiveCamera*>(path->cameras[0].ptr())->heightAngle.getValue() / 2;
    for (int k = 0; k < 10; ++k) {
        const float t = 0.01f + static_cast<float>(k);
        McHandle<SoCamera> a = path->getCamera(t);
        McHandle<SoCamera> b = path->getCamera(static_cast<float>(static_cast<double>(t) + 0.001));
        const float step = (b->position.getValue() - a->position.getValue()).length();
        const float expected = step / (wallDistance * std::tan(halfAngle));
        EXPECT_NEAR(editor->flowSamples[k], expected, 0.01f * expected) << "frame " << k;
    }
    const std::vector<float> pixels = floatsIn("velocity.raw");
    EXPECT_GT(pixels.front(), 0.0f);
    EXPECT_GT(pixels.back(), 0.0f);
}

// The mean flow of a frame from casting a ray through every pixel corner onto
// the wall and projecting the hit with the later camera; no depth buffer.
float rayCastFlow(const SoCamera* now, const SoCamera* later, float wallZ) {
    const SbViewVolume v0 = const_cast<SoCamera*>(now)->getViewVolume(1.0f);
    const SbViewVolume v1 = const_cast<SoCamera*>(later)->getViewVolume(1.0f);
    double sum = 0;
    for (int r = 0; r < 128; ++r) {
        for (int c = 0; c < 128; ++c) {
            const SbVec2f screen(static_cast<float>(c) / 128, static_cast<float>(r) / 128);
            SbLine ray;
            v0.projectPointToLine(screen, ray);
            const float s = (wallZ - ray.getPosition()[2]) / ray.getDirection()[2];
            SbVec3f moved;
            v1.projectToScreen(ray.getPosition() + s * ray.getDirection(), moved);
            sum += std::hypot(2.0 * (moved[0] - screen[0]), 2.0 * (moved[1] - screen[1]));
        }
    }
    return static_cast<float>(sum / (128 * 128));
}

TEST_F(EditorFlowTest, aTurningCameraMatchesARayCastEstimate) {
    McHandle<SoPerspectiveCamera> camera = new SoPerspectiveCamera;
    camera->position.setValue(0, 0, 0);
    path->addKeyframe(0, camera);
    camera->orientation.setValue(SbVec3f(0, 1, 0), 0.2f);
    path->addKeyframe(10, camera);
    editor->attach(path);
    editor->zflow();
    ASSERT_EQ(editor->flowSamples.size(), 10);
    for (int k : {0, 5, 9}) {
        const float t = 0.01f + static_cast<float>(k);
        McHandle<SoCamera> now = path->getCamera(t);
        McHandle<SoCamera> later = path->getCamera(static_cast<float>(static_cast<double>(t) + 0.001));
        const float expected = rayCastFlow(now, later, -wallDistance);
        EXPECT_GT(expected, 0.0f);
        EXPECT_NEAR(editor->flowSamples[k], expected, 0.02f * expected) << "frame " << k;
    }
}

TEST_F(EditorFlowTest, aCameraThatDoesNotMoveGivesNoFlow) {
    addKeyframes(SbVec3f(1, 2, 3), SbVec3f(1, 2, 3));
    editor->attach(path);
    editor->zflow();
    ASSERT_EQ(editor->flowSamples.size(), 10);
    for (float sample : editor->flowSamples) EXPECT_NEAR(sample, 0.0f, 1e-6f);
    EXPECT_NE(theMsg->text().find("(nPoints = 16384 of 128x128)"), std::string::npos);
}

TEST_F(EditorFlowTest, aFrameWithNothingDrawnCountsAsStill) {
    addKeyframes(SbVec3f(0, 0, 0), SbVec3f(10, 0, 0));
    theController->setGeom(scene, nullptr, 0);
    editor->attach(path);
    renderMeasured(128, 128);
    EXPECT_NE(theMsg->text().find("v = 0 (nPoints = 0 of 128x128)\n"), std::string::npos) << theMsg->text();
    const std::vector<float> pixels = floatsIn("velocity.raw");
    EXPECT_EQ(pixels, std::vector<float>(128 * 128, 0.0f));
}

TEST_F(EditorFlowTest, theMeasuredWidthIsAMultipleOfEight) {
    addKeyframes(SbVec3f(0, 0, 0), SbVec3f(10, 0, 0));
    editor->attach(path);
    renderMeasured(130, 64);
    EXPECT_NE(theMsg->text().find("of 128x64)"), std::string::npos) << theMsg->text();
    EXPECT_EQ(floatsIn("velocity.raw").size(), 128u * 64);

    theMsg->clear();
    renderMeasured(5, 64);
    EXPECT_NE(theMsg->text().find("narrower than 8 pixels"), std::string::npos) << theMsg->text();
    EXPECT_NE(theMsg->text().find("v = 0 (nPoints = 0 of 0x64)"), std::string::npos);
    EXPECT_EQ(editor->flowSamples.size(), 2);
}

TEST_F(EditorFlowTest, onlyRenderingIsMeasured) {
    addKeyframes(SbVec3f(0, 0, 0), SbVec3f(10, 0, 0));
    editor->attach(path);
    SoGetBoundingBoxAction bounds(SbViewportRegion(128, 128));
    bounds.apply(editor->flowAnnotation);
    editor->suppressFlow = 1;
    renderMeasured(128, 128);
    EXPECT_EQ(editor->flowSamples.size(), 0);
    EXPECT_FALSE(fs::exists("flow.dat"));
}

TEST_F(EditorFlowTest, detachingDuringTheMeasurementEndsItWithoutATable) {
    addKeyframes(SbVec3f(0, 0, 0), SbVec3f(10, 0, 0));
    editor->attach(path);
    int rounds = 0;
    std::function<void()> countRounds = [&] {
        if (++rounds == 4) editor->detach();
        if (editor->isAttached()) HxApplication::post(countRounds);
    };
    HxApplication::post(countRounds);
    editor->zflow();
    EXPECT_FALSE(editor->isAttached());
    EXPECT_LT(editor->flowSamples.size(), 10);
    EXPECT_EQ(editor->useZflow, 0);
    EXPECT_FALSE(fs::exists("time.dat"));
    EXPECT_EQ(theController->viewer(0)->getSceneRoot()->findChild(editor->flowAnnotation), -1);
}

}  // namespace
