#include <hxcore/HxMessage.h>
#include <viewer/HxMovieWriter.h>
#include <viewer/HxOffscreenContext.h>
#include <viewer/HxViewer.h>
#include <viewer/HxViewerWindow.h>
#include <viewer/QxViewer.h>

#include <Inventor/SbTime.h>
#include <Inventor/SbViewportRegion.h>
#include <Inventor/actions/SoGLRenderAction.h>
#include <Inventor/actions/SoGetBoundingBoxAction.h>
#include <Inventor/actions/SoHandleEventAction.h>
#include <Inventor/events/SoLocation2Event.h>
#include <Inventor/events/SoMouseButtonEvent.h>
#include <Inventor/nodes/SoDirectionalLight.h>
#include <Inventor/nodes/SoPerspectiveCamera.h>
#include <Inventor/nodes/SoRotation.h>
#include <Inventor/nodes/SoTransformSeparator.h>
#include <Inventor/sensors/SoNodeSensor.h>
#include <Inventor/nodes/SoSeparator.h>
#include <QCoreApplication>
#include <QEvent>
#include <QImage>
#include <QWidget>
#include <QObject>
#include <algorithm>
#include <cmath>
#include <cstring>

HxViewer::HxViewer(int id)
    : viewerId(id),
      root(new SoSeparator),
      camera(new SoPerspectiveCamera),
      geometry(new SoSeparator),
      headlight(new SoDirectionalLight),
      headlightTurn(new SoRotation),
      interaction(std::make_unique<QxViewer>()),
      target(std::make_unique<HxOffscreenTarget>()),
      renderAction(std::make_unique<SoGLRenderAction>(SbViewportRegion(size))),
      offscreenWindow(std::make_unique<QObject>()),
      logo(defaultLogo) {
    offscreenWindow->setObjectName(QString("viewer %1").arg(id));
    renderAction->setCacheContext(target->cacheContext());
    camera->position.setValue(0, 0, 10);
    camera->focalDistance.setValue(10);
    root->addChild(camera);
    // The headlight shines along the view direction wherever the camera looks:
    // turned with the camera, without the turn reaching the geometry. Camera
    // writers switch notification off on all but their last field, so the turn
    // follows the camera node as a whole, at once, rather than its orientation
    // field.
    auto* light = new SoTransformSeparator;
    headlightSensor = std::make_unique<SoNodeSensor>(followCameraCB, this);
    headlightSensor->setPriority(0);
    headlightSensor->attach(camera.ptr());
    headlight->direction.setValue(0, 0, -1);
    light->addChild(headlightTurn);
    light->addChild(headlight);
    root->addChild(light);
    root->addChild(geometry);
}

HxViewer::~HxViewer() = default;

void HxViewer::followCameraCB(void* viewer, SoSensor*) {
    auto* self = static_cast<HxViewer*>(viewer);
    const SbRotation turn = self->camera->orientation.getValue();
    if (!(self->headlightTurn->rotation.getValue() == turn)) self->headlightTurn->rotation.setValue(turn);
}

bool HxViewer::isVisible() const {
    if (!windowed) return visible;
    QWidget* shown = windowed->widget();
    return shown && !shown->isHidden();
}

QObject* HxViewer::widget() const {
    if (windowed && windowed->widget()) return windowed->widget();
    return offscreenWindow.get();
}

void HxViewer::attachWindow(QWidget* parent) {
    if (windowed) return;
    windowed = std::make_unique<HxViewerWindow>(root.ptr(), parent, QString("Viewer %1").arg(viewerId));
    if (visible) show();
}

void HxViewer::show() {
    if (windowed) {
        QWidget* shown = windowed->widget();
        if (!shown || !shown->isHidden()) return;
        shown->show();
        // A window's first frame comes before it is mapped: draw once more.
        QCoreApplication::processEvents();
        windowed->render();
        return;
    }
    if (visible) return;
    visible = true;
    notifyWindow(QEvent::Show);
}

void HxViewer::hide() {
    if (windowed) {
        // Qt sends the window its hide event.
        if (QWidget* shown = windowed->widget()) shown->hide();
        return;
    }
    if (!visible) return;
    visible = false;
    notifyWindow(QEvent::Hide);
}

void HxViewer::notifyWindow(int type) {
    // Qt delivers events only through an application object.
    if (!QCoreApplication::instance()) return;
    QEvent event(static_cast<QEvent::Type>(type));
    QCoreApplication::sendEvent(offscreenWindow.get(), &event);
}

void HxViewer::setLogo(const char* imageFile) { logo = imageFile ? imageFile : ""; }

SoCamera* HxViewer::getCamera() const { return camera; }

void HxViewer::addGeometry(SoNode* node) {
    if (node && geometry->findChild(node) < 0) geometry->addChild(node);
}

void HxViewer::removeGeometry(SoNode* node) {
    int index = geometry->findChild(node);
    if (index >= 0) geometry->removeChild(index);
}

void HxViewer::setNavigationMode(int mode) { interaction->setNavigationMode(mode); }

int HxViewer::getNavigationMode() const { return interaction->getNavigationMode(); }

void HxViewer::setSize(int width, int height) {
    size.setValue(static_cast<short>(std::clamp(width, 1, 16384)), static_cast<short>(std::clamp(height, 1, 16384)));
}

int HxViewer::getSamples() const { return HxOffscreenContext::supportedSamples(samples); }

void HxViewer::fitClippingPlanes() {
    SoGetBoundingBoxAction bounds{SbViewportRegion(size)};
    bounds.apply(geometry.ptr());
    SbXfBox3f box = bounds.getXfBoundingBox();
    if (box.isEmpty()) return;
    // The scene's depth range along the view direction, from the camera.
    SbMatrix toCamera;
    toCamera.setTransform(camera->position.getValue(), camera->orientation.getValue(), SbVec3f(1, 1, 1));
    box.transform(toCamera.inverse());
    SbVec3f lo, hi;
    box.project().getBounds(lo, hi);
    float farDistance = -lo[2], nearDistance = -hi[2];
    if (farDistance <= 0) return;  // everything is behind the camera
    // Keep some depth precision: the near plane never comes closer than a
    // thousandth of the far one.
    farDistance *= 1.01f;
    nearDistance = std::max(nearDistance * 0.99f, farDistance * 0.001f);
    if (camera->nearDistance.getValue() != nearDistance) camera->nearDistance.setValue(nearDistance);
    if (camera->farDistance.getValue() != farDistance) camera->farDistance.setValue(farDistance);
}

bool HxViewer::renderFrame(std::vector<unsigned char>* pixels, std::string& error) {
    if (!target->begin(size, background, getSamples(), error)) return false;
    fitClippingPlanes();
    renderAction->setViewportRegion(SbViewportRegion(size));
    renderAction->apply(root.ptr());
    if (pixels) *pixels = target->readRGB();
    target->end();
    return true;
}

bool HxViewer::render() {
    std::string error;
    if (renderFrame(nullptr, error)) return true;
    // A missing GL context has been reported once already.
    if (HxOffscreenContext::error().empty()) theMsg->error("viewer %d: %s", viewerId, error.c_str());
    return false;
}

void HxViewer::redraw() {
    if (!isVisible()) return;
    if (windowed)
        windowed->render();
    else
        render();
}

bool HxViewer::renderImage(QImage& image, std::string& error) {
    std::vector<unsigned char> pixels;
    if (!renderFrame(&pixels, error)) return false;
    const int width = size[0], height = size[1];
    image = QImage(width, height, QImage::Format_RGB888);
    // GL rows run bottom-up, image rows top-down.
    for (int row = 0; row < height; ++row)
        std::memcpy(image.scanLine(row), pixels.data() + static_cast<size_t>(height - 1 - row) * width * 3,
                    static_cast<size_t>(width) * 3);
    return true;
}

bool HxViewer::snapshot(const char* file, std::string& error) {
    QImage image;
    return renderImage(image, error) && hxSavePng(image, file, -1, error);
}

void HxViewer::viewAll() { camera->viewAll(root.ptr(), SbViewportRegion(size)); }

bool HxViewer::containsPixel(int x, int y) const { return x >= 0 && y >= 0 && x < size[0] && y < size[1]; }

void HxViewer::sendMouseGesture(int x0, int y0, int x1, int y1, int moves) {
    SoHandleEventAction action{SbViewportRegion(size)};
    auto send = [&](SoEvent& event, int x, int y) {
        // Inventor counts rows from the bottom.
        event.setPosition(SbVec2s(static_cast<short>(x), static_cast<short>(size[1] - 1 - y)));
        event.setTime(SbTime::getTimeOfDay());
        action.setEvent(&event);
        action.apply(root.ptr());
    };
    SoMouseButtonEvent button;
    button.setButton(SoMouseButtonEvent::BUTTON1);
    button.setState(SoButtonEvent::DOWN);
    send(button, x0, y0);
    SoLocation2Event motion;
    for (int i = 1; i <= moves; ++i) {
        const double t = static_cast<double>(i) / moves;
        send(motion, x0 + static_cast<int>(std::lround((x1 - x0) * t)),
             y0 + static_cast<int>(std::lround((y1 - y0) * t)));
    }
    button.setState(SoButtonEvent::UP);
    send(button, x1, y1);
}

bool HxViewer::click(int x, int y) {
    if (!containsPixel(x, y)) return false;
    sendMouseGesture(x, y, x, y, 0);
    return true;
}

bool HxViewer::drag(int x0, int y0, int x1, int y1, int steps) {
    if (!containsPixel(x0, y0) || !containsPixel(x1, y1)) return false;
    sendMouseGesture(x0, y0, x1, y1, std::max(1, steps));
    return true;
}
