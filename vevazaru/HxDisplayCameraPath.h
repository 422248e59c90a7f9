// The scene of a keyframe camera path: one camera glyph per keyframe, the flight
// line and the glyph of the animated camera, all below a root separator given
// by the creator. Reads the path, never changes it.
//
// Ownership: held through McHandle. The display holds a counted reference to the
// path and one to each of its scene nodes; it never takes its nodes out of
// `root` (the owner removes `root` from the viewer). Units are those of the
// scene: positions in world coordinates, `scale` a plain factor on the glyph's
// local size (apex at the eye, base 2 units ahead and 2 units wide).
#pragma once
#include <mc/McHandable.h>
#include <mc/McHandle.h>

#include <Inventor/nodes/SoCoordinate3.h>
#include <Inventor/nodes/SoLineSet.h>
#include <Inventor/nodes/SoSeparator.h>

#include <vector>

#include "HxKeyframeCameraPath.h"

class SoCamera;
class SoPath;
class SoTransform;

class HxDisplayCameraPath : public McHandable {
public:
    // Called with the user data, the keyframe index and 1 (selected) or 0 (deselected).
    using SelectionCallback = void (*)(void* userData, int index, int selected);

    // `root` receives every node of the display; `sceneSize` (the diagonal of the
    // scene's bounding box) sets the glyph scale to sceneSize / 40, or 1 for 0;
    // a non-zero `selectable` makes keyframe glyphs pickable. `root` and `path`
    // must not be null. A selectable display initialises the interaction
    // classes, the selection node among them. Builds no glyphs: call update() next.
    HxDisplayCameraPath(SoSeparator* root, HxKeyframeCameraPath* path, float sceneSize, int selectable);
    HxDisplayCameraPath(const HxDisplayCameraPath&) = delete;
    HxDisplayCameraPath& operator=(const HxDisplayCameraPath&) = delete;
    // Also unregisters the selection callbacks, which point at this display,
    // since the keyframe group may outlive it below `root`.
    ~HxDisplayCameraPath() override;

    // Stores the callback for picks of keyframe glyphs; a later call replaces it.
    void setSelectionCallback(void* userData, SelectionCallback callback);

    // updateKeyframe(-1), then updatePath(). Both leave the scene as a new
    // display's update() would build it, touching only what differs.
    void update();
    // Brings all keyframe glyphs in line with the path (the index is not used):
    // glyph i shows keyframe i, and only fields that differ are written. A
    // transform put in by replaceTransformation stays at its index and follows
    // its keyframe. Where keyframes came or went, glyphs are put in or taken
    // out there, unless a glyph from there on holds a transform of another
    // type than SoTransform (a manipulator) or is selected: then the glyphs
    // from there on are updated in place and surplus ones removed from the end.
    void updateKeyframe(int index);
    // Brings the flight line in line with the path, 10 points per segment plus
    // the end point. Only the points of segments whose keys (see
    // HxKeyframeCameraPath::segmentKey) differ from the last update are
    // interpolated; the others are kept, moved where keyframes came or went.
    // With fewer than two keyframes the line is emptied (its nodes stay).
    void updatePath();

    // Shows the animated camera's glyph at the camera's position and orientation,
    // then lets the host process pending events once. Does nothing before the
    // flight line exists or for a null camera.
    void setAnimatedCamera(SoCamera* camera);
    // Removes the animated camera's glyph, if shown.
    void hideAnimatedCamera();

    // Puts `transform` in place of the transform of keyframe `index`'s glyph,
    // starting it with the old translation, rotation and scale (connections
    // copied too). Does nothing for an index without a glyph or a null transform.
    void replaceTransformation(int index, SoTransform* transform);

    // A camera glyph (outer separator, no reference taken) with the given scale;
    // non-zero `animated` selects the animated camera's red colours.
    static SoSeparator* createCameraGeometry(SoCamera* camera, int animated, float scale);

    // Selection callbacks of the keyframe group. A pick path reports the index of
    // the glyph it runs through; a path that runs through no glyph of this
    // display is not reported.
    void selection(SoPath* path);
    void deselection(SoPath* path);
    static void selectionCB(void* display, SoPath* path);
    static void deselectionCB(void* display, SoPath* path);

    void* callbackUserData;
    SelectionCallback selectionCallback;
    McHandle<HxKeyframeCameraPath> cameraPath;
    float scale;
    McHandle<SoSeparator> root;
    // An SoSelection (single policy) when selectable; child i is keyframe i's glyph.
    McHandle<SoSeparator> keyframeGroup;
    McHandle<SoSeparator> animatedCamera;
    // The flight line's coordinates and line set, then the animated glyph while shown.
    McHandle<SoSeparator> pathGroup;
    McHandle<SoLineSet> pathLineSet;
    McHandle<SoCoordinate3> pathCoords;

private:
    // Points of the segments [first, last) interpolated, the end point set.
    void writeLine(int first, int last);
    // Glyphs [first, last) placed at their keyframes.
    void placeGlyphs(int first, int last);
    // The last glyph whose transform is not a plain SoTransform, or -1.
    int lastHeldGlyph() const;
    // Whether a selected path runs through a glyph from `first` on.
    bool selectedFrom(int first) const;

    // The glyphs as last updated: the node id of each one's keyframe camera,
    // the id of the keyframe group just after the update (a change from
    // outside makes the next update check every glyph), the scale, and
    // lastHeldGlyph().
    std::vector<SbUniqueId> glyphCameras;
    SbUniqueId glyphGroupId = 0;
    float glyphScale = 0;
    int heldGlyph = -1;

    // The flight line as last written: each segment's key, and the id of the
    // coordinates node just after the write. When the node has changed since,
    // from outside, the next update writes every point.
    std::vector<HxKeyframeCameraPath::SegmentKey> lineKeys;
    SbUniqueId lineCoordsId = 0;

    // The keyframe index of the glyph the pick path runs through, or -1.
    int glyphIndexOf(const SoPath* path) const;
    void report(SoPath* path, int selected);
};
