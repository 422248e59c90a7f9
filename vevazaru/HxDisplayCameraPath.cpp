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
#include <algorithm>
#include <cstdint>
#include <tuple>
#include <utility>

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

// Sets the field, notifying or not.
template <class Field, class Value>
void write(Field& field, const Value& value, bool notify) {
    const SbBool was = field.enableNotify(notify && field.isNotifyEnabled());
    field.setValue(value);
    field.enableNotify(was);
}

// Cam2Trafo and the scale factor, writing only the fields whose values differ:
// a glyph already in place costs no notification. A plain transform notifies
// once, from the last field written (the others are silent: one notification
// carries them all); a manipulator's fields each drive its dragger.
void placeGlyph(const SoCamera* camera, SoTransform* transform, float scale) {
    const SbVec3f& position = camera->position.getValue();
    const SbRotation& orientation = camera->orientation.getValue();
    const SbVec3f scaleFactor(scale, scale, scale);
    const bool moved = transform->translation.getValue() != position;
    const bool turned = transform->rotation.getValue() != orientation;
    const bool scaled = transform->scaleFactor.getValue() != scaleFactor;
    const bool plain = transform->getTypeId() == SoTransform::getClassTypeId();
    if (moved) write(transform->translation, position, !plain || !(turned || scaled));
    if (turned) write(transform->rotation, orientation, !plain || !scaled);
    if (scaled) write(transform->scaleFactor, scaleFactor, true);
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

// How many items at the start, and how many at the end, of `now` equal those
// of `then` at the same distance from that end; the two runs do not overlap.
template <class T>
std::pair<int, int> sameEnds(const std::vector<T>& now, const std::vector<T>& then) {
    const std::size_t common = std::min(now.size(), then.size());
    std::size_t first = 0, last = 0;
    while (first < common && now[first] == then[first]) ++first;
    while (last < common - first && now[now.size() - 1 - last] == then[then.size() - 1 - last]) ++last;
    return {static_cast<int>(first), static_cast<int>(last)};
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
    std::vector<SbUniqueId> cameras(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) cameras[static_cast<std::size_t>(i)] = cameraPath->cameras[i]->getNodeId();
    const int shown = keyframeGroup->getNumChildren();
    const bool changedOutside = keyframeGroup->getNodeId() != glyphGroupId || scale != glyphScale;
    if (shown != static_cast<int>(glyphCameras.size())) glyphCameras.assign(static_cast<std::size_t>(shown), 0);
    if (changedOutside) heldGlyph = lastHeldGlyph();

    // Glyphs whose keyframes are the same at the start and at the end stay as
    // they are (a keyframe changed in place has a new id); those between are
    // placed anew, and glyphs come or go after them.
    const int common = std::min(shown, n);
    const auto [first, kept] = sameEnds(cameras, glyphCameras);
    const int at = common - kept;

    if (shown == n || (heldGlyph < at && !selectedFrom(at))) {
        placeGlyphs(first, at);
        for (int i = at; i < n - kept; ++i)
            keyframeGroup->insertChild(createCameraGeometry(cameraPath->cameras[i], 0, scale), i);
        for (int i = n - kept; i < shown - kept; ++i) keyframeGroup->removeChild(at);
    } else {
        placeGlyphs(first, common);
        for (int i = shown; i < n; ++i) keyframeGroup->addChild(createCameraGeometry(cameraPath->cameras[i], 0, scale));
        while (keyframeGroup->getNumChildren() > n) keyframeGroup->removeChild(keyframeGroup->getNumChildren() - 1);
        if (heldGlyph >= n) heldGlyph = lastHeldGlyph();
    }
    if (changedOutside) placeGlyphs(0, n);

    glyphCameras = std::move(cameras);
    glyphGroupId = keyframeGroup->getNodeId();
    glyphScale = scale;
}

void HxDisplayCameraPath::placeGlyphs(int first, int last) {
    for (int i = first; i < last; ++i) {
        if (SoTransform* transform = glyphTransform(keyframeGroup->getChild(i)))
            placeGlyph(cameraPath->cameras[i], transform, scale);
    }
}

int HxDisplayCameraPath::lastHeldGlyph() const {
    for (int i = keyframeGroup->getNumChildren() - 1; i >= 0; --i) {
        const SoTransform* transform = glyphTransform(keyframeGroup->getChild(i));
        if (!transform || transform->getTypeId() != SoTransform::getClassTypeId()) return i;
    }
    return -1;
}

bool HxDisplayCameraPath::selectedFrom(int first) const {
    const SoSelection* selection = asSelection(keyframeGroup);
    if (!selection) return false;
    for (int k = 0; k < selection->getNumSelected(); ++k) {
        const SoPath* path = selection->getPath(k);
        const int at = path->findNode(keyframeGroup);
        if (at >= 0 && at + 1 < path->getLength() && path->getIndex(at + 1) >= first) return true;
    }
    return false;
}

// ---------------------------------------------------------------------------
// Flight line and animated camera

void HxDisplayCameraPath::updatePath() {
    const int n = cameraPath->cameras.size();
    if (n < 2) {
        if (pathLineSet) pathLineSet->numVertices.setNum(0);
        lineKeys.clear();
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
    std::vector<HxKeyframeCameraPath::SegmentKey> keys(static_cast<std::size_t>(m));
    for (int i = 0; i < m; ++i) keys[static_cast<std::size_t>(i)] = cameraPath->segmentKey(i);

    // The segments to interpolate are those between the longest run of equal
    // keys at the start and the longest at the end; the points after them are
    // moved by the number of segments that came or went.
    SoMFVec3f& line = pathCoords->point;
    const int before = static_cast<int>(lineKeys.size());
    int first = 0, kept = 0;
    if (before > 0 && pathCoords->getNodeId() == lineCoordsId && line.getNum() == pointsPerSegment * before + 1) {
        std::tie(first, kept) = sameEnds(keys, lineKeys);
        if (m > before)
            line.insertSpace(pointsPerSegment * (before - kept), pointsPerSegment * (m - before));
        else if (m < before)
            line.deleteValues(pointsPerSegment * (m - kept), pointsPerSegment * (before - m));
    } else {
        line.setNum(pointsPerSegment * m + 1);
    }
    writeLine(first, m - kept);
    lineKeys = std::move(keys);
    lineCoordsId = pathCoords->getNodeId();
    if (pathLineSet->numVertices.getNum() != 1 || pathLineSet->numVertices[0] != -1)
        pathLineSet->numVertices.setValue(-1);
}

void HxDisplayCameraPath::writeLine(int first, int last) {
    const int n = cameraPath->cameras.size();
    const int m = (pathCoords->point.getNum() - 1) / pointsPerSegment;
    const SbVec3f end = cameraPath->cameras[m % n]->position.getValue();
    if (first >= last && pathCoords->point[pointsPerSegment * m] == end) return;
    McHandle<SoCamera> scratch = new SoPerspectiveCamera;
    // The points are written into the field in place, not through a copy.
    SbVec3f* points = pathCoords->point.startEditing();
    for (int i = first; i < last; ++i) {
        for (int j = 0; j < pointsPerSegment; ++j) {
            cameraPath->interp(i, float(j) / pointsPerSegment, scratch);
            points[pointsPerSegment * i + j] = scratch->position.getValue();
        }
    }
    points[pointsPerSegment * m] = end;
    pathCoords->point.finishEditing();
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
