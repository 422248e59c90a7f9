// The viewers' interactive back end on a real (virtual) display: the window
// shows the viewer's scene through its own camera, and scripts see the same
// camera, visibility and snapshots as without windows.
#include <WidgetApplication.h>
#include <hxcore/HxInterpreter.h>
#include <viewer/HxController.h>
#include <viewer/HxViewer.h>
#include <viewer/HxViewerWindow.h>

#include <Inventor/nodes/SoCamera.h>
#include <Inventor/nodes/SoCube.h>
#include <Inventor/nodes/SoMaterial.h>
#include <Inventor/nodes/SoSeparator.h>
#include <QEvent>
#include <QImage>
#include <QWidget>
#include <gtest/gtest.h>
#include <string>

namespace {

// Counts the pixels close to a colour.
int pixelsNear(const QImage& image, QRgb colour) {
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = image.pixel(x, y);
            if (std::abs(qRed(p) - qRed(colour)) + std::abs(qGreen(p) - qGreen(colour)) +
                    std::abs(qBlue(p) - qBlue(colour)) <
                60)
                ++n;
        }
    return n;
}

class HxViewerWindowTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ensureWidgetApplication(); }
    void SetUp() override {
        auto* material = new SoMaterial;
        material->diffuseColor.setValue(1, 0, 0);
        material->emissiveColor.setValue(1, 0, 0);
        scene->addChild(material);
        scene->addChild(new SoCube);
        theController->setGeom(scene, nullptr, 1);
        theController->setInteractive(true);
    }
    void TearDown() override {
        theController->setGeom(scene, nullptr, 0);
        theController->setInteractive(false);
        theController->reset();
    }
    McHandle<SoSeparator> scene = new SoSeparator;
};

TEST_F(HxViewerWindowTest, theWindowShowsTheSceneThroughTheViewersCamera) {
    HxViewer* v = theController->viewer(3);
    ASSERT_NE(v->getWindow(), nullptr);
    QWidget* window = qobject_cast<QWidget*>(v->widget());
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->isWindow());
    EXPECT_TRUE(v->isVisible());
    v->viewAll();
    v->redraw();
    const QImage frame = v->getWindow()->grabFrame();
    ASSERT_FALSE(frame.isNull());
    EXPECT_GT(pixelsNear(frame, qRgb(255, 0, 0)), frame.width() * frame.height() / 50) << "the red cube";

    // A script moving the camera moves the window's view: the cube leaves it.
    theInterpreter->eval("viewer 3 setCamera 0 0 10  0 100 10  0 0 1");
    v->redraw();
    EXPECT_EQ(pixelsNear(v->getWindow()->grabFrame(), qRgb(255, 0, 0)), 0);
}

TEST_F(HxViewerWindowTest, closingTheWindowHidesTheViewerAndFiltersSeeIt) {
    HxViewer* v = theController->viewer(5);
    struct Watch : QObject {
        int hides = 0;
        bool eventFilter(QObject*, QEvent* e) override {
            hides += e->type() == QEvent::Hide;
            return false;
        }
    } watch;
    v->widget()->installEventFilter(&watch);
    qobject_cast<QWidget*>(v->widget())->close();  // as the window's close button does
    EXPECT_FALSE(v->isVisible());
    EXPECT_EQ(watch.hides, 1);
    theInterpreter->eval("viewer 5 isVisible");
    EXPECT_EQ(theInterpreter->result(), "0");
    v->show();
    EXPECT_TRUE(v->isVisible());
}

TEST_F(HxViewerWindowTest, snapshotsAreTheSameWithAndWithoutAWindow) {
    HxViewer* windowed = theController->viewer(1);
    theController->setInteractive(false);
    HxViewer* plain = theController->viewer(2);
    for (HxViewer* v : {windowed, plain}) {
        v->setSize(64, 48);
        v->getCamera()->position.setValue(0, 0, 6);
    }
    QImage a, b;
    std::string error;
    ASSERT_TRUE(windowed->renderImage(a, error)) << error;
    ASSERT_TRUE(plain->renderImage(b, error)) << error;
    EXPECT_EQ(a.size(), QSize(64, 48));
    EXPECT_EQ(a, b);
}

}  // namespace
