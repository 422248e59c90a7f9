// Owns the viewers 0 to 15 (0 is the main viewer), created on demand, and
// shows the objects' geometry in them: it is the geometry sink of the session
// (installed when it is made, uninstalled when it goes).
#pragma once
#include <hxcore/HxGeometrySink.h>
#include <mc/McDArray.h>

#include <functional>
#include <memory>
#include <vector>

class HxBase;
class HxViewer;
class McTypeInfo;
class QWidget;
class SoNode;

class HxController : public HxGeometrySink {
public:
    static constexpr int maxViewers = 16;

    HxController();
    ~HxController() override;

    // Viewer `id`; when it does not exist yet it is created if `create` is non-zero,
    // otherwise null is returned. A viewer created while the controller is
    // interactive gets its window, inside `parent` or as a window of its own.
    HxViewer* viewer(int id, int create = 1, QWidget* parent = nullptr, bool show = true);
    // From now on viewers have windows (the ones that exist get theirs, as
    // windows of their own); before, they render offscreen only.
    void setInteractive(bool on);
    // Where the windows of viewers asked for without a parent go: the widget
    // `place` returns for the viewer's id (null: a window of its own). An
    // empty function gives every such viewer a window of its own again.
    void setWindowPlace(std::function<QWidget*(int id)> place) { windowPlace = std::move(place); }
    bool isInteractive() const { return interactive; }
    bool isViewerVisible(int id) const;
    // The ids of the viewers that exist and are visible, ascending.
    McDArray<int> getAllVisibleViewerIDs() const;
    // Removes every viewer; the next viewer() call creates fresh ones.
    void reset();

    // Shows (on != 0) or hides the geometry `node` of `object` in the viewers of
    // the object's viewer mask (all viewers when object is null), or, when
    // `inViewers` is given, in exactly those (bit i: viewer i). Viewers created
    // later show it too. The controller holds a reference while it is shown.
    static constexpr unsigned int objectsViewers = 0xffffffffu;
    void setGeom(SoNode* node, HxBase* object, int on, unsigned int inViewers = objectsViewers);
    void showGeometry(SoNode* node, HxBase* object, bool on) override { setGeom(node, object, on ? 1 : 0); }
    // Hides every node `object` shows (when the object goes away).
    void removeAllGeom(HxBase* object) override;
    // Moves the geometry of `object` to the viewers of its new viewer mask.
    void viewerMaskChanged(HxBase* object) override;
    // The bounds of the geometry shown, as xmin, xmax, ymin, ymax, zmin, zmax,
    // leaving out the geometry of `object` itself and, when `type` is given,
    // counting only objects of that type. Nothing to measure gives -1, 1 on
    // every axis.
    void getBoundingBox(float* bbox, HxBase* object, const McTypeInfo* type) const;

private:
    struct Geometry;
    void addToViewer(HxViewer* viewer, int id) const;
    std::unique_ptr<HxViewer> viewers[maxViewers];
    std::vector<Geometry> geometries;
    bool interactive = false;
    std::function<QWidget*(int id)> windowPlace;
};

extern HxController* theController;
