// Offscreen rendering of a viewer. Needs GL (label "render").
#include "ScriptTestSupport.h"

#include <TestFiles.h>
#include <viewer/HxOffscreenContext.h>
#include <viewer/HxViewer.h>

#include <GL/gl.h>
#include <Inventor/actions/SoGLRenderAction.h>
#include <Inventor/nodes/SoAnnotation.h>
#include <Inventor/nodes/SoCallback.h>
#include <Inventor/nodes/SoCamera.h>
#include <Inventor/nodes/SoCube.h>
#include <Inventor/nodes/SoMaterial.h>
#include <Inventor/nodes/SoSeparator.h>
#include <Inventor/nodes/SoTranslation.h>
#include <QImage>

namespace {

bool isRed(QRgb p) { return qRed(p) > 150 && qGreen(p) < 60 && qBlue(p) < 60; }
bool isBackground(QRgb p) { return p == qRgb(0, 0, 0); }
// Pixels of `image` in the rectangle [x0, x1) x [y0, y1) for which `test` holds.
template <typename Test>
int count(const QImage& image, Test test, int x0 = 0, int y0 = 0, int x1 = 64, int y1 = 64) {
    int n = 0;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x) n += test(image.pixel(x, y));
    return n;
}

class HxViewerRenderTest : public SessionTest {
protected:
    void SetUp() override {
        viewer = theController->viewer(0);
        // A 2 x 2 x 2 cube at the origin covers about 60% of the height, centred.
        evalOk("viewer 0 setSize 64 64; viewer 0 setCamera 0 0 5  0 0 0  0 1 0");
    }
    void TearDown() override {
        theController->setGeom(scene, nullptr, 0);
        SessionTest::TearDown();
    }
    // A red cube at `where`; the headlight makes the face looked at bright red.
    void showCube(const SbVec3f& where) {
        auto* material = new SoMaterial;
        material->diffuseColor.setValue(1, 0, 0);
        auto* move = new SoTranslation;
        move->translation.setValue(where);
        for (SoNode* node : std::initializer_list<SoNode*>{material, move, new SoCube}) scene->addChild(node);
        theController->setGeom(scene, nullptr, 1);
    }
    QImage image() {
        QImage result;
        std::string error;
        EXPECT_TRUE(viewer->renderImage(result, error)) << error;
        return result;
    }
    QImage saved(const char* name) { return QImage(QString::fromStdString(folder.path(name))); }

    HxViewer* viewer = nullptr;
    McHandle<SoSeparator> scene = new SoSeparator;
    TempFolder folder;
};

TEST_F(HxViewerRenderTest, theCubeFillsTheMiddleLitFromEveryCameraAndAfterViewAll) {
    EXPECT_EQ(count(image(), isBackground), 64 * 64);
    showCube(SbVec3f(0, 0, 0));
    // Placed the way camera paths place cameras (notification on the last field only).
    for (const char* place : {"0 0 -5  0 0 0  0 1 0", "5 0 0  0 0 0  0 1 0", "0 0 5  0 0 0  0 1 0"}) {
        evalOk(std::string("viewer 0 setCamera ") + place);
        EXPECT_EQ(count(image(), isRed, 24, 24, 40, 40), 256) << "camera at " << place;
    }
    EXPECT_EQ(count(image(), isBackground) - count(image(), isBackground, 4, 4, 60, 60), 64 * 64 - 56 * 56);
    evalOk("viewer 0 setCamera 30 -20 5  30 -20 0  0 1 0; viewer 0 viewAll");
    EXPECT_EQ(count(image(), isRed, 24, 24, 40, 40), 256) << "view-all centres the scene";
}

TEST_F(HxViewerRenderTest, theTopOfTheSceneIsTheTopOfTheImageAndOfItsSnapshotInItsSize) {
    showCube(SbVec3f(-1.2f, 1.2f, 0));
    const QImage img = image();
    EXPECT_GT(count(img, isRed, 0, 0, 32, 32), 300);
    EXPECT_EQ(count(img, isRed, 32, 32, 64, 64), 0);
    std::string error;
    ASSERT_TRUE(viewer->snapshot(folder.path("shot.png").c_str(), error)) << error;
    EXPECT_EQ(saved("shot.png").convertToFormat(QImage::Format_RGB888), img);
    viewer->setSize(SbVec2s(40, 24));
    EXPECT_EQ(image().size(), QSize(40, 24));
    EXPECT_EQ(evalError("viewer 0 snapshot a.png -samples 3"), "viewer snapshot: -samples must be 1, 2, 4 or 8");
}

// Counts GL renders, keeps their action and the depth at the centre and a corner (drawn last as an SoAnnotation).
struct RenderProbe {
    int renders = 0;
    SoAction* lastAction = nullptr;
    float centre = -1, corner = -1;
    static void callback(void* data, SoAction* action) {
        if (!action->isOfType(SoGLRenderAction::getClassTypeId())) return;
        auto* self = static_cast<RenderProbe*>(data);
        ++self->renders;
        self->lastAction = action;
        glReadPixels(32, 32, 1, 1, GL_DEPTH_COMPONENT, GL_FLOAT, &self->centre);
        glReadPixels(0, 0, 1, 1, GL_DEPTH_COMPONENT, GL_FLOAT, &self->corner);
    }
};

TEST_F(HxViewerRenderTest, redrawRendersVisibleViewersWithTheirOwnActionOntoTheDepthBuffer) {
    showCube(SbVec3f(0, 0, 0));
    RenderProbe probe;
    auto* overlay = new SoAnnotation;
    auto* callback = new SoCallback;
    callback->setCallback(RenderProbe::callback, &probe);
    overlay->addChild(callback);
    scene->addChild(overlay);
    evalOk("viewer 0 hide; viewer 0 redraw; viewer 0 show; viewer 0 redraw");
    EXPECT_EQ(probe.renders, 1) << "a hidden viewer does not render";
    EXPECT_EQ(probe.lastAction, viewer->getGLRenderAction());
    EXPECT_NE(viewer->getGLRenderAction()->getCacheContext(),
              theController->viewer(1)->getGLRenderAction()->getCacheContext());
    EXPECT_TRUE(probe.centre > 0 && probe.centre < 1) << "the cube in the centre: " << probe.centre;
    EXPECT_EQ(probe.corner, 1.0f) << "nothing in the corner";
}

// Pixels whose red lies strictly between the background's and the lit face's:
// only smoothed edges have them.
int blended(const QImage& image) {
    const int face = qRed(image.pixel(32, 32));
    return count(image, [face](QRgb p) { return qRed(p) > 0 && qRed(p) < face; });
}

TEST_F(HxViewerRenderTest, samplesSmoothEdgesAlikeInSnapshotsTheViewerAndMovieFrames) {
    // The cube's front face turned about the view axis: slanted edges.
    viewer->getCamera()->orientation.setValue(SbRotation(SbVec3f(0, 0, 1), 0.5f));
    showCube(SbVec3f(0, 0, 0));
    evalOk("viewer 0 snapshot " + folder.path("one.png") + " -samples 1; viewer 0 snapshot " + folder.path("four.png") +
           " -samples 4");
    const QImage four = saved("four.png");
    EXPECT_EQ(blended(saved("one.png")), 0);
    EXPECT_GT(blended(four), 40);
    EXPECT_EQ(evalOk("viewer 0 getSamples"), "1") << "a snapshot's samples are for that image only";
    EXPECT_EQ(evalOk("viewer 0 setSamples 4"), "4");
    EXPECT_EQ(image(), four.convertToFormat(QImage::Format_RGB888));
    evalOk("viewer 0 setSamples 1; create HxTimeSource Clock");
    evalOk("movie -object Clock -viewer 0 -frames 1 -size 64 64 -samples 4 -out " + folder.path("m%d.png"));
    EXPECT_EQ(saved("m0.png"), four);
}

}  // namespace
