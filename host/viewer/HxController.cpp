#include <hxcore/HxBase.h>
#include <mc/McHandle.h>
#include <viewer/HxController.h>
#include <viewer/HxViewer.h>

#include <Inventor/SbBox.h>
#include <Inventor/SbViewportRegion.h>
#include <Inventor/SoInteraction.h>
#include <Inventor/actions/SoGetBoundingBoxAction.h>
#include <Inventor/nodes/SoNode.h>
#include <algorithm>

struct HxController::Geometry {
    McHandle<SoNode> node;
    HxBase* object;  // the owner; it removes its geometry before it goes away
    unsigned int mask;
    bool followsObjectMask;  // shown in the viewers of the owner's mask
};

namespace {
HxController& instance() {
    static HxController controller;
    return controller;
}
}  // namespace

HxController* theController = &instance();

HxController::HxController() { install(this); }

HxController::~HxController() {
    if (installed() == this) install(nullptr);
}

HxViewer* HxController::viewer(int id, int create, QWidget* parent, bool show) {
    if (id < 0 || id >= maxViewers) return nullptr;
    if (!viewers[id] && create) {
        // The scene database, and the interaction classes that selection and
        // manipulators need; both are set up once, on the first call.
        SoInteraction::init();
        viewers[id] = std::make_unique<HxViewer>(id);
        if (!show) viewers[id]->hide();
        addToViewer(viewers[id].get(), id);
        if (interactive) viewers[id]->attachWindow(parent || !windowPlace ? parent : windowPlace(id));
    }
    return viewers[id].get();
}

void HxController::setInteractive(bool on) {
    interactive = on;
    if (!on) return;
    for (int id = 0; id < maxViewers; ++id)
        if (viewers[id]) viewers[id]->attachWindow(windowPlace ? windowPlace(id) : nullptr);
}

bool HxController::isViewerVisible(int id) const {
    return id >= 0 && id < maxViewers && viewers[id] && viewers[id]->isVisible();
}

McDArray<int> HxController::getAllVisibleViewerIDs() const {
    McDArray<int> ids;
    for (int id = 0; id < maxViewers; ++id)
        if (isViewerVisible(id)) ids.append(id);
    return ids;
}

void HxController::reset() {
    for (auto& v : viewers) v.reset();
}

void HxController::addToViewer(HxViewer* v, int id) const {
    for (const Geometry& g : geometries)
        if (g.mask & (1u << id)) v->addGeometry(g.node);
}

void HxController::setGeom(SoNode* node, HxBase* object, int on, unsigned int inViewers) {
    if (!node) return;
    auto same = [&](const Geometry& g) { return g.node.ptr() == node && g.object == object; };
    auto it = std::find_if(geometries.begin(), geometries.end(), same);
    if (on) {
        if (it != geometries.end()) return;
        const unsigned int mask = inViewers != objectsViewers ? inViewers : object ? object->getViewerMask() : 0xffffu;
        geometries.push_back(Geometry{node, object, mask, inViewers == objectsViewers});
        for (int id = 0; id < maxViewers; ++id)
            if (viewers[id] && (mask & (1u << id))) viewers[id]->addGeometry(node);
        return;
    }
    if (it == geometries.end()) return;
    McHandle<SoNode> keep = it->node;
    geometries.erase(it);
    // Another owner may show the same node; it stays where that one shows it.
    for (int id = 0; id < maxViewers; ++id) {
        if (!viewers[id]) continue;
        const bool stillShown = std::any_of(geometries.begin(), geometries.end(), [&](const Geometry& g) {
            return g.node.ptr() == node && (g.mask & (1u << id));
        });
        if (!stillShown) viewers[id]->removeGeometry(node);
    }
}

void HxController::removeAllGeom(HxBase* object) {
    std::vector<SoNode*> nodes;
    for (const Geometry& g : geometries)
        if (g.object == object) nodes.push_back(g.node);
    for (SoNode* node : nodes) setGeom(node, object, 0);
}

void HxController::viewerMaskChanged(HxBase* object) {
    std::vector<McHandle<SoNode>> nodes;
    for (const Geometry& g : geometries)
        if (g.object == object && g.followsObjectMask) nodes.push_back(g.node);
    for (SoNode* node : nodes) {
        setGeom(node, object, 0);
        setGeom(node, object, 1);
    }
}

void HxController::getBoundingBox(float* bbox, HxBase* object, const McTypeInfo* type) const {
    SoGetBoundingBoxAction action(SbViewportRegion(640, 480));
    SbBox3f box;
    for (const Geometry& g : geometries) {
        if (object && g.object == object) continue;
        if (type && !(g.object && g.object->isOfType(type))) continue;
        action.apply(g.node);
        box.extendBy(action.getBoundingBox());
    }
    if (box.isEmpty()) box.setBounds(-1, -1, -1, 1, 1, 1);
    const SbVec3f& lo = box.getMin();
    const SbVec3f& hi = box.getMax();
    const float values[6] = {lo[0], hi[0], lo[1], hi[1], lo[2], hi[2]};
    std::copy(values, values + 6, bbox);
}
