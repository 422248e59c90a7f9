// A 3D viewer: its live camera, its scene (the geometry of the objects shown in
// it), size and navigation mode. Created and owned by the controller.
#pragma once
#include <mc/McHandle.h>

#include <Inventor/SbColor.h>
#include <Inventor/SbLinear.h>
#include <memory>
#include <string>
#include <vector>

class HxOffscreenTarget;
class HxViewerWindow;
class QWidget;
class QImage;
class QObject;
class QxViewer;
class SoCamera;
class SoDirectionalLight;
class SoGLRenderAction;
class SoPerspectiveCamera;
class SoRotation;
class SoNodeSensor;
class SoSensor;
class SoSeparator;
class SoNode;

class HxViewer {
public:
    explicit HxViewer(int id);
    ~HxViewer();
    HxViewer(const HxViewer&) = delete;
    HxViewer& operator=(const HxViewer&) = delete;

    int getId() const { return viewerId; }
    // The live camera; scripts and camera paths move the view by writing it.
    SoCamera* getCamera() const;
    // The root of what the viewer shows: its camera, a headlight, then the
    // objects' geometry.
    SoSeparator* getSceneRoot() const { return root; }

    void addGeometry(SoNode* node);
    void removeGeometry(SoNode* node);

    // The viewer's own camera animation (spinning after a throw); camera paths
    // switch it off while they drive the camera.
    void autoAnimateCamera(bool on) { autoAnimate = on; }
    bool isAutoAnimatingCamera() const { return autoAnimate; }
    // Camera paths announce themselves here when they are made. This viewer
    // keeps no menu of paths, so there is nothing to bring up to date.
    void verifyCameraPath() {}

    // The image size in pixels; each side is clamped to 1 .. 16384.
    void setSize(int width, int height);
    void setSize(const SbVec2s& newSize) { setSize(newSize[0], newSize[1]); }
    SbVec2s getSize() const { return size; }
    // Samples per pixel of the offscreen image (antialiasing): 1 (none), 2, 4
    // or 8, as far as the GL allows; getSamples() is what renders get.
    void setSamples(int n) { samples = n; }
    int getSamples() const;
    int getAskedSamples() const { return samples; }
    void setBackgroundColor(const SbColor& color) { background = color; }
    const SbColor& getBackgroundColor() const { return background; }

    // Renders the scene root into the viewer's offscreen image. False when no
    // GL can be had (said once on the console) or the image cannot be made.
    bool render();
    // Renders when the viewer is visible.
    void redraw();
    // The action that renders the viewer; lives as long as the viewer.
    SoGLRenderAction* getGLRenderAction() const { return renderAction.get(); }
    // Renders and reads the pixels back: tightly packed RGB rows of the
    // viewer's size, bottom row first.
    bool renderPixels(std::vector<unsigned char>& pixels, std::string& error) { return renderFrame(&pixels, error); }
    // Renders and gives the image, top row first (RGB888, the viewer's size).
    bool renderImage(QImage& image, std::string& error);
    // Renders and saves the image as PNG. The file is replaced only once the new
    // image is completely written; false with the reason in `error` otherwise.
    bool snapshot(const char* file, std::string& error);
    // Moves the camera so that the whole scene is in view at the viewer's size.
    void viewAll();
    // A left mouse press and release at pixel (x, y), (0, 0) being the top left
    // of the image, handled by the scene (selection, draggers, manipulators).
    // Needs no GL. False, with nothing sent, when (x, y) lies outside the viewer.
    bool click(int x, int y);
    // A left-button drag: press at (x0, y0), `steps` mouse moves along the
    // straight line to (x1, y1), the last one onto it, and the release there
    // (fewer than one step is taken as one). Same pixels as click(); false, with
    // nothing sent, when either end lies outside the viewer.
    bool drag(int x0, int y0, int x1, int y1, int steps = 8);
    // The viewer's interaction state; never null, lives as long as the viewer.
    QxViewer* qxViewer() const { return interaction.get(); }
    // Forward to qxViewer().
    void setNavigationMode(int mode);
    int getNavigationMode() const;
    // Showing and hiding send QEvent::Show and QEvent::Hide to widget() when the
    // visibility changes and a Qt application exists, as a window would get them.
    void show();
    void hide();
    bool isVisible() const;
    // The object that stands for the viewer's window (the window itself once
    // the viewer has one): event filters installed on it see the viewer being
    // shown and hidden. Lives as long as the viewer.
    QObject* widget() const;

    // Gives the viewer its interactive back end: an examiner viewer widget in
    // `parent`, or a window of its own for a null parent, shown as the viewer is.
    // Scripts see no difference: the camera, the scene and the snapshots (still
    // rendered offscreen at the viewer's size) stay the same.
    void attachWindow(QWidget* parent);
    HxViewerWindow* getWindow() const { return windowed.get(); }
    // The logo drawn in a corner of the viewer; null removes it.
    void setLogo(const char* imageFile);
    bool hasLogo() const { return !logo.empty(); }
    const std::string& getLogo() const { return logo; }

    // The logo every viewer starts with.
    static constexpr const char* defaultLogo = ":vorna/logo";

private:
    void notifyWindow(int eventType);
    bool containsPixel(int x, int y) const;
    // Press at (x0, y0), `moves` mouse moves evenly along the line to (x1, y1),
    // release at (x1, y1); one event action carries them all, so a dragger that
    // grabs the mouse on the press gets the rest.
    void sendMouseGesture(int x0, int y0, int x1, int y1, int moves);
    // Renders; with `pixels`, also reads the image back (RGB, bottom row first).
    bool renderFrame(std::vector<unsigned char>* pixels, std::string& error);
    // Puts the camera's near and far planes around the scene, as interactive
    // viewers do before each frame.
    void fitClippingPlanes();

    int viewerId;
    McHandle<SoSeparator> root;
    McHandle<SoPerspectiveCamera> camera;
    McHandle<SoSeparator> geometry;
    McHandle<SoDirectionalLight> headlight;
    McHandle<SoRotation> headlightTurn;
    std::unique_ptr<SoNodeSensor> headlightSensor;
    static void followCameraCB(void* viewer, SoSensor*);
    SbVec2s size{640, 480};
    SbColor background{0, 0, 0};
    int samples = 1;
    std::unique_ptr<QxViewer> interaction;
    std::unique_ptr<HxOffscreenTarget> target;
    std::unique_ptr<SoGLRenderAction> renderAction;
    std::unique_ptr<QObject> offscreenWindow;
    std::unique_ptr<HxViewerWindow> windowed;
    std::string logo;
    bool autoAnimate = true;
    bool visible = true;
};
