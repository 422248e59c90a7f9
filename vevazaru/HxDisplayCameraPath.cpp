#include "HxDisplayCameraPath.h"

#include <hxcore/HxApplication.h>

#include <Inventor/SoInteraction.h>
#include <Inventor/SoPath.h>
#include <Inventor/fields/SoFieldData.h>
#include <Inventor/nodes/SoIndexedFaceSet.h>
#include <Inventor/nodes/SoMaterial.h>
#include <Inventor/nodes/SoMaterialBinding.h>
#include <Inventor/nodes/SoPerspectiveCamera.h>
#include <Inventor/nodes/SoSelection.h>
#include <Inventor/nodes/SoTransform.h>
#include <cstdint>

namespace {

// Pyramid with its apex at the eye and its base two units ahead (local -z).
const float glyphVertices[5][3] = {{0, 0, 0}, {1, -1, -2}, {1, 1, -2}, {-1, 1, -2}, {-1, -1, -2}};
const int32_t glyphFaces[21] = {0, 1, 2, -1, 0, 2, 3, -1, 0, 3, 4, -1, 0, 4, 1, -1, 4, 3, 2, 1, -1};
// One colour per face: +x, +y (up), -x, -y, base.
const float keyframeColours[5][3] = {{1, 1, 1}, {0.3f, 0.3f, 1.0f}, {1, 1, 1}, {1, 1, 1}, {0.3f, 0.3f, 0.3f}};
const float animatedColours[5][3] = {{1, 1, 1}, {1.0f, 0.3f, 0.3f}, {1, 1, 1}, {1, 1, 1}, {1.0f, 0.3f, 0.3f}};

constexpr int pointsPerSegment = 10;

// Places the transform at the camera; the scale factor is left alone.
void Cam2Trafo(const SoCamera* camera, SoTransform* transform) {
    if (!camera || !transform) return;
    transform->translation.setValue(camera->position.getValue());
    transform->rotation.setValue(camera->orientation.getValue());
}

// The transform of a glyph, child 0 of its outer separator; null when the
// node is not a glyph.
SoTransform* glyphTransform(SoNode* glyph) {
    if (!glyph || !glyph->isOfType(SoGroup::getClassTypeId())) return nullptr;
    SoGroup* group = static_cast<SoGroup*>(glyph);
    if (group->getNumChildren() < 1) return nullptr;
    SoNode* child = group->getChild(0);
    return child->isOfType(SoTransform::getClassTypeId()) ? static_cast<SoTransform*>(child) : nullptr;
}

SoSelection* asSelection(SoNode* node) {
    return node && node->isOfType(SoSelection::getClassTypeId()) ? static_cast<SoSelection*>(node) : nullptr;
}

}  // namespace

// ---------------------------------------------------------------------------
// Construction

HxDisplayCameraPath::HxDisplayCameraPath(SoSeparator* rootNode, HxKeyframeCameraPath* path, float sceneSize,
                                         int selectable)
    : callbackUserData(nullptr),
      selectionCallback(nullptr),
      cameraPath(path),
      scale(sceneSize != 0 ? sceneSize / 40 : 1),
      root(rootNode) {
    if (selectable) {
        // The selection node belongs to the interaction classes, which the
        // scene database's start-up leaves out; init() is safe to repeat.
        SoInteraction::init();
        SoSelection* selection = new SoSelection;
        selection->policy = SoSelection::SINGLE;
        selection->addSelectionCallback(selectionCB, this);
        selection->addDeselectionCallback(deselectionCB, this);
        keyframeGroup = selection;
    } else {
        keyframeGroup = new SoSeparator;
    }
    root->addChild(keyframeGroup);
}

HxDisplayCameraPath::~HxDisplayCameraPath() {
    if (SoSelection* selection = asSelection(keyframeGroup)) {
        selection->removeSelectionCallback(selectionCB, this);
        selection->removeDeselectionCallback(deselectionCB, this);
        // A picked glyph's path starts at the viewer's root, above the
        // selection that keeps it: held on, it would keep that scene alive
        // after its viewer is gone.
        selection->deselectAll();
    }
}

void HxDisplayCameraPath::setSelectionCallback(void* userData, SelectionCallback callback) {
    callbackUserData = userData;
    selectionCallback = callback;
}

// ---------------------------------------------------------------------------
// Glyphs

SoSeparator* HxDisplayCameraPath::createCameraGeometry(SoCamera* camera, int animated, float glyphScale) {
    SoSeparator* glyph = new SoSeparator;

    SoTransform* transform = new SoTransform;
    Cam2Trafo(camera, transform);
    transform->scaleFactor.setValue(glyphScale, glyphScale, glyphScale);
    glyph->addChild(transform);

    SoSeparator* shape = new SoSeparator;
    SoMaterialBinding* binding = new SoMaterialBinding;
    binding->value = SoMaterialBinding::PER_FACE;
    shape->addChild(binding);

    SoMaterial* material = new SoMaterial;
    material->diffuseColor.setValues(0, 5, animated ? animatedColours : keyframeColours);
    shape->addChild(material);

    SoCoordinate3* coords = new SoCoordinate3;
    coords->point.setValues(0, 5, glyphVertices);
    shape->addChild(coords);

    SoIndexedFaceSet* faces = new SoIndexedFaceSet;
    faces->coordIndex.setValues(0, 21, glyphFaces);
    shape->addChild(faces);

    glyph->addChild(shape);
    return glyph;
}

void HxDisplayCameraPath::update() {
    updateKeyframe(-1);
    updatePath();
}

void HxDisplayCameraPath::updateKeyframe(int /*index*/) {
    const int n = cameraPath->cameras.size();
    for (int i = 0; i < n; ++i) {
        SoCamera* camera = cameraPath->cameras[i];
        if (keyframeGroup->getNumChildren() > i) {
            if (SoTransform* transform = glyphTransform(keyframeGroup->getChild(i))) {
                Cam2Trafo(camera, transform);
                transform->scaleFactor.setValue(scale, scale, scale);
            }
        } else {
            keyframeGroup->addChild(createCameraGeometry(camera, 0, scale));
        }
    }
    while (keyframeGroup->getNumChildren() > n) keyframeGroup->removeChild(keyframeGroup->getNumChildren() - 1);
}

// ---------------------------------------------------------------------------
// Flight line and animated camera

void HxDisplayCameraPath::updatePath() {
    const int n = cameraPath->cameras.size();
    if (n < 2) {
        if (pathLineSet) pathLineSet->numVertices.setNum(0);
        return;
    }
    if (!pathGroup) {
        pathGroup = new SoSeparator;
        pathCoords = new SoCoordinate3;
        pathLineSet = new SoLineSet;
        pathGroup->addChild(pathCoords);
        pathGroup->addChild(pathLineSet);
        root->addChild(pathGroup);
    }

    // A closed path of two keyframes has no closing segment of its own.
    const int m = cameraPath->isClosed() && n > 2 ? n : n - 1;
    const int count = pointsPerSegment * m + 1;
    McHandle<SoCamera> scratch = new SoPerspectiveCamera;
    // The points are written into the field in place, not through a copy.
    pathCoords->point.setNum(count);
    SbVec3f* points = pathCoords->point.startEditing();
    for (int i = 0; i < m; ++i) {
        for (int j = 0; j < pointsPerSegment; ++j) {
            cameraPath->interp(i, float(j) / pointsPerSegment, scratch);
            points[pointsPerSegment * i + j] = scratch->position.getValue();
        }
    }
    points[pointsPerSegment * m] = cameraPath->cameras[m % n]->position.getValue();
    pathCoords->point.finishEditing();
    pathLineSet->numVertices.setValue(-1);
}

void HxDisplayCameraPath::setAnimatedCamera(SoCamera* camera) {
    if (!pathGroup || !camera) return;
    if (!animatedCamera) {
        animatedCamera = createCameraGeometry(camera, 1, scale);
        pathGroup->addChild(animatedCamera);
    }
    Cam2Trafo(camera, glyphTransform(animatedCamera));
    // Event handlers may run in here, even ones that drop this display: nothing
    // of it is touched afterwards.
    HxApplication::handlePendingEvents(1);
}

void HxDisplayCameraPath::hideAnimatedCamera() {
    if (!animatedCamera || !pathGroup) return;
    const int at = pathGroup->findChild(animatedCamera);
    if (at >= 0) pathGroup->removeChild(at);
    animatedCamera = nullptr;
}

void HxDisplayCameraPath::replaceTransformation(int index, SoTransform* transform) {
    if (!transform || index < 0 || index >= keyframeGroup->getNumChildren()) return;
    SoNode* glyph = keyframeGroup->getChild(index);
    SoTransform* old = glyphTransform(glyph);
    if (!old || old == transform) return;
    // Node classes hide getFieldData; the field container's is public.
    const SoFieldContainer* container = transform;
    if (const SoFieldData* fields = container->getFieldData()) {
        // Copying a connection looks its master up among the copies of a copy
        // in progress; outside one there is no such table and the library
        // crashes, so a table is opened for this overlay. Masters outside it
        // stay themselves: the new field connects to the old field's master.
        SoFieldContainer::initCopyDict();
        fields->overlay(transform, old, TRUE);
        SoFieldContainer::copyDone();
    }
    static_cast<SoGroup*>(glyph)->replaceChild(0, transform);
}

// ---------------------------------------------------------------------------
// Selection

int HxDisplayCameraPath::glyphIndexOf(const SoPath* path) const {
    if (!path) return -1;
    // The selection node hands over paths that start at itself; the glyph is
    // the node after it.
    const int at = path->findNode(keyframeGroup);
    if (at < 0 || at + 1 >= path->getLength()) return -1;
    const int index = path->getIndex(at + 1);
    if (index < 0 || index >= keyframeGroup->getNumChildren()) return -1;
    return keyframeGroup->getChild(index) == path->getNode(at + 1) ? index : -1;
}

void HxDisplayCameraPath::report(SoPath* path, int selected) {
    if (!selectionCallback) return;
    const int index = glyphIndexOf(path);
    if (index >= 0) selectionCallback(callbackUserData, index, selected);
}

void HxDisplayCameraPath::selection(SoPath* path) { report(path, 1); }

void HxDisplayCameraPath::deselection(SoPath* path) { report(path, 0); }

void HxDisplayCameraPath::selectionCB(void* display, SoPath* path) {
    static_cast<HxDisplayCameraPath*>(display)->selection(path);
}

void HxDisplayCameraPath::deselectionCB(void* display, SoPath* path) {
    static_cast<HxDisplayCameraPath*>(display)->deselection(path);
}
