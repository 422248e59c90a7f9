// A 3D viewer: its live camera, its scene (the geometry of the objects shown in
// it), size and navigation mode. Created and owned by the controller.
#pragma once
#include <mc/McHandle.h>

#include <Inventor/SbLinear.h>
#include <memory>

class QxViewer;
class SoCamera;
class SoPerspectiveCamera;
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
    // The root of what the viewer shows: its camera, then the objects' geometry.
    SoSeparator* getSceneRoot() const { return root; }

    void addGeometry(SoNode* node);
    void removeGeometry(SoNode* node);

    // The viewer's own camera animation (spinning after a throw); camera paths
    // switch it off while they drive the camera.
    void autoAnimateCamera(bool on) { autoAnimate = on; }
    bool isAutoAnimatingCamera() const { return autoAnimate; }
    // Re-reads the camera paths of the object pool for the viewer's path menu.
    void verifyCameraPath();
    int getNumCameraPaths() const { return numCameraPaths; }

    void setSize(int width, int height);
    SbVec2s getSize() const { return size; }
    // The viewer's interaction state; never null, lives as long as the viewer.
    QxViewer* qxViewer() const { return interaction.get(); }
    // Forward to qxViewer().
    void setNavigationMode(int mode);
    int getNavigationMode() const;
    void show() { visible = true; }
    void hide() { visible = false; }
    bool isVisible() const { return visible; }

private:
    int viewerId;
    McHandle<SoSeparator> root;
    McHandle<SoPerspectiveCamera> camera;
    McHandle<SoSeparator> geometry;
    SbVec2s size{640, 480};
    std::unique_ptr<QxViewer> interaction;
    int numCameraPaths = 0;
    bool autoAnimate = true;
    bool visible = true;
};
