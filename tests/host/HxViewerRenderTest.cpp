// Offscreen rendering of a viewer: what lands in the image, snapshots to PNG,
// size, view-all and the render action. Needs GL (label "render").
#include "ScriptTestSupport.h"

#include <viewer/HxController.h>
#include <viewer/HxOffscreenContext.h>
#include <viewer/HxViewer.h>
#include <hxcore/HxMessage.h>

#include <Inventor/actions/SoGLRenderAction.h>
#include <Inventor/nodes/SoAnnotation.h>
#include <Inventor/nodes/SoCallback.h>
#include <Inventor/nodes/SoCamera.h>
#include <Inventor/nodes/SoCube.h>
#include <Inventor/nodes/SoMaterial.h>
#include <Inventor/nodes/SoSeparator.h>
#include <Inventor/nodes/SoTranslation.h>
#include <GL/gl.h>
#include <QDir>
#include <QImage>
#include <QTemporaryDir>
#include <fstream>
#include <sstream>

namespace {

bool isRed(QRgb p) { return qRed(p) > 150 && qGreen(p) < 60 && qBlue(p) < 60; }
bool isBackground(QRgb p) { return qRed(p) == 0 && qGreen(p) == 0 && qBlue(p) == 0; }

// Pixels of `image` in the rectangle [x0, x1) x [y0, y1) for which `test` holds.
template <typename Test>
int count(const QImage& image, int x0, int y0, int x1, int y1, Test test) {
    int n = 0;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x) n += test(image.pixel(x, y)) ? 1 : 0;
    return n;
}

// A red 2 x 2 x 2 cube at `where`; its front face faces the camera and so the
// headlight, which makes it bright red.
SoSeparator* redCube(const SbVec3f& where) {
    auto* node = new SoSeparator;
    auto* material = new SoMaterial;
    material->diffuseColor.setValue(1, 0, 0);
    auto* move = new SoTranslation;
    move->translation.setValue(where);
    node->addChild(material);
    node->addChild(move);
    node->addChild(new SoCube);
    return node;
}

// Counts the GL render traversals that reach it, remembers their action and reads
// the 64 x 64 depth buffer; under an SoAnnotation it runs after the scene is drawn.
struct RenderProbe {
    int renders = 0;
    SoAction* lastAction = nullptr;
    std::vector<float> depth;
    static void callback(void* data, SoAction* action) {
        if (!action->isOfType(SoGLRenderAction::getClassTypeId())) return;
        auto* self = static_cast<RenderProbe*>(data);
        ++self->renders;
        self->lastAction = action;
        self->depth.assign(64 * 64, -1.0f);
        glReadPixels(0, 0, 64, 64, GL_DEPTH_COMPONENT, GL_FLOAT, self->depth.data());
    }
};

class HxViewerRenderTest : public ::testing::Test {
protected:
    void SetUp() override {
        theController->reset();
        viewer = theController->viewer(0);
        viewer->setSize(64, 64);
        // Looking down -z from 5 units away: the cube's front face (z = 1) spans
        // about 60% of the height, centred.
        viewer->getCamera()->position.setValue(0, 0, 5);
        viewer->getCamera()->orientation.setValue(SbRotation::identity());
        ASSERT_TRUE(dir.isValid());
    }
    void TearDown() override {
        for (SoNode* node : shown) theController->setGeom(node, nullptr, 0);
        theController->reset();
    }
    void show(SoNode* node) {
        shown.push_back(node);
        theController->setGeom(node, nullptr, 1);
    }
    QImage image() {
        QImage result;
        std::string error;
        EXPECT_TRUE(viewer->renderImage(result, error)) << error;
        return result;
    }
    std::string path(const char* name) const { return QDir(dir.path()).filePath(name).toStdString(); }

    HxViewer* viewer = nullptr;
    QTemporaryDir dir;
    std::vector<SoNode*> shown;
};

TEST_F(HxViewerRenderTest, redCubeFillsTheMiddleAndLeavesTheBorderBlack) {
    show(redCube(SbVec3f(0, 0, 0)));
    ASSERT_TRUE(viewer->render());
    const QImage img = image();
    ASSERT_EQ(img.size(), QSize(64, 64));
    // The middle 16 x 16 lies well inside the cube's face, the 4-pixel border
    // well outside it.
    EXPECT_EQ(count(img, 24, 24, 40, 40, isRed), 256);
    const int border = 64 * 64 - 56 * 56;
    EXPECT_EQ(count(img, 0, 0, 64, 64, isBackground) - count(img, 4, 4, 60, 60, isBackground), border);
}

TEST_F(HxViewerRenderTest, theHeadlightFollowsTheCameraAroundTheScene) {
    show(redCube(SbVec3f(0, 0, 0)));
    // From behind and from the side, placed the way camera paths place cameras
    // (notification on the last field only): each face looked at is lit.
    for (const char* place : {"0 0 -5  0 0 0  0 1 0", "5 0 0  0 0 0  0 1 0", "0 0 5  0 0 0  0 1 0"}) {
        evalOk(std::string("viewer 0 setCamera ") + place);
        EXPECT_EQ(count(image(), 24, 24, 40, 40, isRed), 256) << "camera at " << place;
    }
}

TEST_F(HxViewerRenderTest, emptySceneIsAllBackgroundInItsColour) {
    EXPECT_EQ(count(image(), 0, 0, 64, 64, isBackground), 64 * 64);
    viewer->setBackgroundColor(SbColor(0, 0, 1));
    EXPECT_EQ(count(image(), 0, 0, 64, 64, [](QRgb p) { return p == qRgb(0, 0, 255); }), 64 * 64);
}

TEST_F(HxViewerRenderTest, topOfTheSceneIsTheTopOfTheImageAndOfItsSnapshot) {
    // A cube above and left of the view's centre: the top-left quadrant is red,
    // the bottom-right one is not.
    show(redCube(SbVec3f(-1.2f, 1.2f, 0)));
    const QImage img = image();
    EXPECT_GT(count(img, 0, 0, 32, 32, isRed), 300);
    EXPECT_EQ(count(img, 32, 32, 64, 64, isRed), 0);
    const std::string file = path("shot.png");
    std::string error;
    ASSERT_TRUE(viewer->snapshot(file.c_str(), error)) << error;
    EXPECT_EQ(QImage(QString::fromStdString(file)).convertToFormat(QImage::Format_RGB888), img);
}

TEST_F(HxViewerRenderTest, setSizeChangesTheImageSize) {
    show(redCube(SbVec3f(0, 0, 0)));
    viewer->setSize(SbVec2s(40, 24));
    const std::string file = path("small.png");
    std::string error;
    ASSERT_TRUE(viewer->snapshot(file.c_str(), error)) << error;
    const QImage saved(QString::fromStdString(file));
    EXPECT_EQ(saved.size(), QSize(40, 24));
    EXPECT_TRUE(isRed(saved.pixel(20, 12))) << "still centred";
    viewer->setSize(SbVec2s(100, 70));
    EXPECT_EQ(image().size(), QSize(100, 70));
}

TEST_F(HxViewerRenderTest, snapshotReplacesAnOldFileWholeOrSaysWhyAndTouchesNothing) {
    const std::string old = path("old.png"), plain = path("plain"), file = plain + "/shot.png";
    std::ofstream(old) << "not a picture";
    std::ofstream(plain) << "a regular file";
    std::string error;
    EXPECT_FALSE(viewer->snapshot(file.c_str(), error));
    EXPECT_EQ(error.rfind("cannot write \"" + file + "\": ", 0), 0u) << error;
    std::ostringstream kept;
    kept << std::ifstream(plain).rdbuf();
    EXPECT_EQ(kept.str(), "a regular file");
    ASSERT_TRUE(viewer->snapshot(old.c_str(), error)) << error;
    EXPECT_EQ(QImage(QString::fromStdString(old)).size(), QSize(64, 64));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 2) << "no temporary file left behind";
}

TEST_F(HxViewerRenderTest, redrawRendersVisibleViewersWithTheirActionOntoTheDepthBuffer) {
    show(redCube(SbVec3f(0, 0, 0)));
    RenderProbe probe;
    auto* overlay = new SoAnnotation;
    auto* callback = new SoCallback;
    callback->setCallback(RenderProbe::callback, &probe);
    overlay->addChild(callback);
    show(overlay);
    viewer->redraw();
    EXPECT_EQ(probe.renders, 1);
    EXPECT_EQ(probe.lastAction, viewer->getGLRenderAction());
    ASSERT_EQ(probe.depth.size(), 64u * 64u);
    EXPECT_GT(probe.depth[32 * 64 + 32], 0.0f) << "the cube in the centre";
    EXPECT_LT(probe.depth[32 * 64 + 32], 1.0f) << "the cube in the centre";
    EXPECT_EQ(probe.depth[0], 1.0f) << "nothing in the corner";
    viewer->hide();
    viewer->redraw();
    EXPECT_EQ(probe.renders, 1);
    viewer->show();
    viewer->redraw();
    EXPECT_EQ(probe.renders, 2);
}

TEST_F(HxViewerRenderTest, viewersHaveTheirOwnCacheContexts) {
    HxViewer* other = theController->viewer(1);
    EXPECT_NE(viewer->getGLRenderAction()->getCacheContext(), other->getGLRenderAction()->getCacheContext());
    EXPECT_TRUE(other->render());
    EXPECT_TRUE(viewer->render());
}

TEST_F(HxViewerRenderTest, viewerCommandsRedrawViewAllAndSnapshot) {
    show(redCube(SbVec3f(30, -20, 0)));
    EXPECT_EQ(count(image(), 0, 0, 64, 64, isBackground), 64 * 64) << "the cube should start out of view";
    evalOk("viewer 0 redraw");
    evalOk("viewer 0 viewAll");
    EXPECT_GT(64 * 64 - count(image(), 0, 0, 64, 64, isBackground), 400);
    const std::string file = path("cmd.png");
    evalOk("viewer 0 snapshot " + file);
    EXPECT_TRUE(isRed(QImage(QString::fromStdString(file)).pixel(32, 32))) << "view-all centres the cube";

    const std::string bad = file + "/x.png";
    EXPECT_EQ(evalError("viewer 0 snapshot " + bad), "viewer snapshot: cannot write \"" + bad + "\": Not a directory");
    for (const char* script : {"viewer 0 snapshot", "viewer 0 snapshot a.png b.png"})
        EXPECT_EQ(evalError(script), "usage: viewer n snapshot file.png [-samples n]");
    EXPECT_EQ(evalError("viewer 0 snapshot " + file + " -samples 3"), "viewer snapshot: -samples must be 1, 2, 4 or 8");
    EXPECT_EQ(evalError("viewer 0 setSamples 0"), "viewer setSamples: the samples per pixel must be 1, 2, 4 or 8");
    EXPECT_EQ(evalError("viewer 0 redraw now"), "usage: viewer n redraw");
}

// Pixels whose red lies strictly between the background's and the lit face's:
// only antialiased edges have them.
int blended(const QImage& image) {
    const int face = qRed(image.pixel(image.width() / 2, image.height() / 2));
    return count(image, 0, 0, image.width(), image.height(), [face](QRgb p) { return qRed(p) > 0 && qRed(p) < face; });
}

TEST_F(HxViewerRenderTest, samplesSmoothEdgesAlikeInSnapshotsTheViewerAndMovieFrames) {
    // The cube's front face, turned about the view axis: slanted edges.
    viewer->getCamera()->orientation.setValue(SbRotation(SbVec3f(0, 0, 1), 0.5f));
    show(redCube(SbVec3f(0, 0, 0)));
    evalOk("viewer 0 snapshot " + path("one.png") + " -samples 1");
    evalOk("viewer 0 snapshot " + path("four.png") + " -samples 4");
    const QImage one(QString::fromStdString(path("one.png"))), four(QString::fromStdString(path("four.png")));
    EXPECT_EQ(blended(one), 0);
    EXPECT_GT(blended(four), 40);
    EXPECT_EQ(evalOk("viewer 0 getSamples"), "1") << "a snapshot's samples are for that image only";

    EXPECT_EQ(evalOk("viewer 0 setSamples 8"), std::to_string(std::min(8, HxOffscreenContext::maxSamples())));
    EXPECT_EQ(evalOk("viewer 0 setSamples 4"), "4");
    EXPECT_EQ(image(), four.convertToFormat(QImage::Format_RGB888));
    evalOk("viewer 0 setSamples 1");

    evalOk("create HxTimeSource Clock");
    evalOk("movie -object Clock -viewer 0 -frames 1 -size 64 64 -samples 4 -out " + path("m%d.png"));
    EXPECT_EQ(QImage(QString::fromStdString(path("m0.png"))), four);
    evalOk("remove Clock");
    theMsg->clear();
}

}  // namespace
