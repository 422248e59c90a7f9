// Offscreen rendering of a viewer: what lands in the image, snapshots to PNG,
// size, view-all and the render action. Needs GL (label "render").
#include <hxcore/HxInterpreter.h>
#include <viewer/HxController.h>
#include <viewer/HxViewer.h>

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
#include <gtest/gtest.h>
#include <sstream>
#include <tcl.h>
#include <vector>

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

std::string slurp(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
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
    const int background = count(img, 0, 0, 64, 64, isBackground) - count(img, 4, 4, 60, 60, isBackground);
    EXPECT_EQ(background, border);
}

TEST_F(HxViewerRenderTest, emptySceneIsAllBackground) {
    const QImage img = image();
    EXPECT_EQ(count(img, 0, 0, 64, 64, isBackground), 64 * 64);
}

TEST_F(HxViewerRenderTest, backgroundColourFillsTheEmptyImage) {
    viewer->setBackgroundColor(SbColor(0, 0, 1));
    const QImage img = image();
    EXPECT_EQ(count(img, 0, 0, 64, 64, [](QRgb p) { return p == qRgb(0, 0, 255); }), 64 * 64);
}

TEST_F(HxViewerRenderTest, topOfTheSceneIsTheTopOfTheImage) {
    // A cube above and left of the view's centre: the top-left quadrant of the
    // image is red, the bottom-right one is not.
    show(redCube(SbVec3f(-1.2f, 1.2f, 0)));
    const QImage img = image();
    EXPECT_GT(count(img, 0, 0, 32, 32, isRed), 300);
    EXPECT_EQ(count(img, 32, 32, 64, 64, isRed), 0);
}

TEST_F(HxViewerRenderTest, snapshotWritesThePngOfTheRenderedImage) {
    show(redCube(SbVec3f(-1.2f, 1.2f, 0)));
    const std::string file = path("shot.png");
    std::string error;
    ASSERT_TRUE(viewer->snapshot(file.c_str(), error)) << error;
    QImage saved(QString::fromStdString(file));
    ASSERT_FALSE(saved.isNull());
    EXPECT_EQ(saved.size(), QSize(64, 64));
    const QImage rendered = image();
    EXPECT_EQ(saved.convertToFormat(QImage::Format_RGB888), rendered);
    EXPECT_TRUE(isRed(saved.pixel(10, 10)));
    EXPECT_TRUE(isBackground(saved.pixel(60, 60)));
}

TEST_F(HxViewerRenderTest, setSizeChangesTheImageSize) {
    show(redCube(SbVec3f(0, 0, 0)));
    viewer->setSize(SbVec2s(40, 24));
    const std::string file = path("small.png");
    std::string error;
    ASSERT_TRUE(viewer->snapshot(file.c_str(), error)) << error;
    const QImage saved(QString::fromStdString(file));
    EXPECT_EQ(saved.size(), QSize(40, 24));
    // Still centred: the middle pixel is red.
    EXPECT_TRUE(isRed(saved.pixel(20, 12)));
    viewer->setSize(SbVec2s(100, 70));
    EXPECT_EQ(image().size(), QSize(100, 70));
}

TEST_F(HxViewerRenderTest, viewAllBringsAnObjectOutsideTheViewIntoView) {
    show(redCube(SbVec3f(30, -20, 0)));
    EXPECT_EQ(count(image(), 0, 0, 64, 64, isBackground), 64 * 64) << "the cube should start out of view";
    viewer->viewAll();
    const QImage img = image();
    EXPECT_GT(64 * 64 - count(img, 0, 0, 64, 64, isBackground), 400);
    EXPECT_TRUE(isRed(img.pixel(32, 32))) << "view-all centres the cube";
}

TEST_F(HxViewerRenderTest, failedSnapshotSaysWhyAndTouchesNothing) {
    const std::string plain = path("plain");
    std::ofstream(plain) << "a regular file";
    const std::string file = plain + "/shot.png";
    std::string error;
    EXPECT_FALSE(viewer->snapshot(file.c_str(), error));
    EXPECT_EQ(error.rfind("cannot write \"" + file + "\": ", 0), 0u) << error;
    EXPECT_EQ(slurp(plain), "a regular file");
}

TEST_F(HxViewerRenderTest, snapshotReplacesAnOldFileWhole) {
    const std::string file = path("old.png");
    std::ofstream(file) << "not a picture";
    std::string error;
    ASSERT_TRUE(viewer->snapshot(file.c_str(), error)) << error;
    EXPECT_EQ(QImage(QString::fromStdString(file)).size(), QSize(64, 64));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 1) << "no temporary file left behind";
}

// Counts the GL render traversals that reach it and remembers their action.
struct RenderProbe {
    int renders = 0;
    SoAction* lastAction = nullptr;
    static void callback(void* data, SoAction* action) {
        if (!action->isOfType(SoGLRenderAction::getClassTypeId())) return;
        auto* self = static_cast<RenderProbe*>(data);
        ++self->renders;
        self->lastAction = action;
    }
};

TEST_F(HxViewerRenderTest, redrawRendersOnlyVisibleViewersWithTheViewersAction) {
    RenderProbe probe;
    auto* callback = new SoCallback;
    callback->setCallback(RenderProbe::callback, &probe);
    show(callback);
    viewer->redraw();
    EXPECT_EQ(probe.renders, 1);
    EXPECT_EQ(probe.lastAction, viewer->getGLRenderAction());
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
    const std::string file = path("cmd.png");
    ASSERT_EQ(theInterpreter->eval("viewer 0 redraw"), TCL_OK);
    ASSERT_EQ(theInterpreter->eval("viewer 0 viewAll"), TCL_OK);
    ASSERT_EQ(theInterpreter->eval(("viewer 0 snapshot " + file).c_str()), TCL_OK) << theInterpreter->result();
    EXPECT_TRUE(isRed(QImage(QString::fromStdString(file)).pixel(32, 32)));

    const std::string bad = path("cmd.png") + "/x.png";
    EXPECT_EQ(theInterpreter->eval(("viewer 0 snapshot " + bad).c_str()), TCL_ERROR);
    EXPECT_EQ(theInterpreter->result(), "viewer snapshot: cannot write \"" + bad + "\": Not a directory");
    EXPECT_EQ(theInterpreter->eval("viewer 0 snapshot"), TCL_ERROR);
    EXPECT_EQ(theInterpreter->result(), "usage: viewer n snapshot file.png");
    EXPECT_EQ(theInterpreter->eval("viewer 0 snapshot a.png b.png"), TCL_ERROR);
    EXPECT_EQ(theInterpreter->result(), "usage: viewer n snapshot file.png");
    EXPECT_EQ(theInterpreter->eval("viewer 0 redraw now"), TCL_ERROR);
    EXPECT_EQ(theInterpreter->result(), "usage: viewer n redraw");
}

}  // namespace

namespace {
// Reads the depth buffer from inside the render traversal, after the scene is drawn.
struct DepthProbe {
    std::vector<float> depth;
    int width = 0, height = 0;
    static void read(void* data, SoAction* action) {
        if (!action->isOfType(SoGLRenderAction::getClassTypeId())) return;
        auto* probe = static_cast<DepthProbe*>(data);
        probe->depth.assign(static_cast<size_t>(probe->width * probe->height), -1.0f);
        glReadPixels(0, 0, probe->width, probe->height, GL_DEPTH_COMPONENT, GL_FLOAT, probe->depth.data());
    }
};
}  // namespace

TEST_F(HxViewerRenderTest, depthBufferHoldsTheGeometryWhereItIsDrawn) {
    show(redCube(SbVec3f(0, 0, 0)));
    DepthProbe probe;
    probe.width = probe.height = 64;
    auto* overlay = new SoAnnotation;  // drawn after the scene, on its depth buffer
    auto* callback = new SoCallback;
    callback->setCallback(DepthProbe::read, &probe);
    overlay->addChild(callback);
    show(overlay);
    viewer->redraw();
    ASSERT_EQ(probe.depth.size(), 64u * 64u);
    const float centre = probe.depth[32 * 64 + 32], corner = probe.depth[0];
    EXPECT_GT(centre, 0.0f);
    EXPECT_LT(centre, 1.0f);
    EXPECT_EQ(corner, 1.0f);
}
