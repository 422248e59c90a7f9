// The editor's depth flow: the per-pixel kernel against a projection worked out
// here, the time table, and one measurement rendered offscreen.
#include "EditorFixture.h"
#include "PathTestSupport.h"

#include <viewer/HxViewer.h>

#include <cmath>
#include <functional>

namespace {

namespace fs = std::filesystem;

// Every pixel of 24 x 5 (three runs of eight) at its own depth, every seventh on the far plane.
TEST(EditorFlowKernel, eachDrawnPixelMovesAsTheTwoCamerasProjectIt) {
    const int width = 24, height = 5, w = 29, h = 5;
    const SbVec2f scale(0.9f, 1.0f);
    McHandle<SoCamera> a = lookAt(SbVec3f(0, 0, 10), SbVec3f(0, 0, 0));
    McHandle<SoCamera> b = lookAt(SbVec3f(0.4f, -0.3f, 9.5f), SbVec3f(0.1f, 0, 0), SbVec3f(0.1f, 1, 0));
    const SbMatrix m0 = a->getViewVolume(0.0f).getMatrix(), m1 = b->getViewVolume(0.0f).getMatrix();
    const SbMatrix r = m0.inverse().multRight(m1);
    std::vector<float> depth(width * height), flow(depth.size(), -1.0f), expected(depth.size());
    double total = 0;
    int count = 0;
    for (int row = 0; row < height; ++row) {
        for (int c = 0; c < width; ++c) {
            const int i = row * width + c;
            depth[i] = i % 7 == 3 ? 1.0f : 0.3f + 0.05f * float(row) + 0.01f * float(c);
            const double p[4] = {2.0 * c * scale[0] / w - 1, 2.0 * row * scale[1] / h - 1, 2.0 * depth[i] - 1, 1};
            double q[4] = {};
            for (int j = 0; j < 4; ++j)
                for (int k = 0; k < 4; ++k) q[j] += p[k] * r[k][j];
            expected[i] = depth[i] < 1 ? float(std::hypot(q[0] / q[3] - p[0], q[1] / q[3] - p[1])) : 0.0f;
            total += expected[i];
            count += depth[i] < 1;
        }
    }
    const auto sum =
        HxKeyframeCameraPathEditor::measureFlow(depth.data(), flow.data(), width, height, w, h, scale, m0, m1);
    for (int i = 0; i < width * height; ++i)
        EXPECT_NEAR(flow[i], expected[i], 1e-4f * (1 + expected[i])) << "pixel " << i % width << ", " << i / width;
    EXPECT_EQ(sum.count, count);
    EXPECT_NEAR(sum.total, total, 1e-4 * total);
}

class EditorFlowTest : public EditorFixture {
protected:
    static constexpr float wallDistance = 20.0f;
    void SetUp() override {
        fs::current_path(dir.path);
        // A wall facing the cameras, its front face at the distance, filling every view.
        showBox(SbVec3f(0, 0, -wallDistance - 0.5f), SbVec3f(1000, 1000, 1));
        EditorFixture::SetUp();
        addKeyframes({0, 10});
        editor->attach(path);
    }
    void TearDown() override {
        EditorFixture::TearDown();
        fs::current_path(previousDir);
    }
    fs::path previousDir = fs::current_path();
    ScratchDir dir;
};

TEST_F(EditorFlowTest, timeTableSharesThePathsDurationByTheSamplesAndIsWritten) {
    const struct {
        std::vector<float> samples, table;
        const char* written;
    } cases[] = {{{5, 1, 3}, {0, 2.5f, 10}, "2.5\n10\n"},
                 // Nothing moved: the path's own times, not 0/0.
                 {{0, 0, 0}, {0, 5, 10}, "5\n10\n"}};
    for (const auto& c : cases) {
        editor->flowSamples.resize(0);
        for (float s : c.samples) editor->flowSamples.append(s);
        editor->initTimeTable();
        EXPECT_EQ(std::vector<float>(editor->timeTable.begin(), editor->timeTable.end()), c.table);
        EXPECT_EQ(slurp("time.dat"), c.written);
    }
}

// A sideways step s moves the wall by s / (d tan(a/2)), a the height angle (square window).
TEST_F(EditorFlowTest, aSidewaysMoveMatchesTheFlowOfAWallAtKnownDistance) {
    editor->zflow();
    ASSERT_EQ(editor->flowSamples.size(), 10);
    EXPECT_EQ(editor->useZflow, 1);
    EXPECT_EQ(editor->timeTable.size(), 10);
    EXPECT_EQ(fs::file_size("velocity.raw"), 10u * 128 * 128 * sizeof(float));
    EXPECT_EQ(theController->viewer(0)->getSize(), SbVec2s(128, 128));
    const float halfAngle = static_cast<SoPerspectiveCamera*>(path->cameras[0].ptr())->heightAngle.getValue() / 2;
    for (int k = 0; k < 10; ++k) {
        const float t = 0.01f + float(k);
        McHandle<SoCamera> a = path->getCamera(t), b = path->getCamera(float(double(t) + 0.001));
        const float expected =
            (b->position.getValue() - a->position.getValue()).length() / (wallDistance * std::tan(halfAngle));
        EXPECT_NEAR(editor->flowSamples[k], expected, 0.01f * expected) << "frame " << k;
    }
}

TEST_F(EditorFlowTest, detachingDuringTheMeasurementEndsItWithoutATable) {
    int rounds = 0;
    std::function<void()> countRounds = [&] {
        if (++rounds == 4) editor->detach();
        if (editor->isAttached()) HxApplication::post(countRounds);
    };
    HxApplication::post(countRounds);
    editor->zflow();
    EXPECT_FALSE(editor->isAttached());
    EXPECT_EQ(editor->useZflow, 0);
    EXPECT_FALSE(fs::exists("time.dat"));
    EXPECT_EQ(theController->viewer(0)->getSceneRoot()->findChild(editor->flowAnnotation), -1);
}

}  // namespace
