// The steps of a keyframe path's undo history. Each command changes the path
// when redone and gives back exactly what it changed when undone; the editor
// pushes them (a push redoes) and refreshes its display on every step.
//
// A command refers to its path without a counted reference: the history is the
// path's own (HxUndoHistory) and goes with it. Cameras a command keeps are
// counted references that no later change writes to, so a step back restores
// them as they were.
#pragma once
#include <mc/McDArray.h>
#include <mc/McHandle.h>

#include <Inventor/SbLinear.h>
#include <Inventor/nodes/SoCamera.h>
#include <QUndoCommand>

class HxKeyframeCameraPath;

namespace keyframeundo {

// A new keyframe at `time`, from a copy of `camera`; or, when the path's rule
// makes it replace a keyframe near that time, that keyframe's camera.
class AddKeyframe : public QUndoCommand {
public:
    AddKeyframe(HxKeyframeCameraPath* path, float time, const SoCamera* camera);
    void redo() override;
    void undo() override;

private:
    HxKeyframeCameraPath* path;
    float time;
    McHandle<SoCamera> camera;
    int index;
    bool replaces;
    McHandle<SoCamera> replaced;
};

class RemoveKeyframe : public QUndoCommand {
public:
    RemoveKeyframe(HxKeyframeCameraPath* path, int index);
    void redo() override;
    void undo() override;

private:
    HxKeyframeCameraPath* path;
    int index;
    float time;
    McHandle<SoCamera> camera;
};

// Keyframe `index`'s camera from one place and orientation to another. The
// moves of one drag (`drag` numbers it) merge into one step.
class MoveKeyframe : public QUndoCommand {
public:
    struct Pose {
        SbVec3f position;
        SbRotation orientation;
    };
    static Pose poseOf(const SoCamera* camera);
    MoveKeyframe(HxKeyframeCameraPath* path, int index, unsigned int drag, const Pose& from, const Pose& to);
    void redo() override;
    void undo() override;
    int id() const override;
    bool mergeWith(const QUndoCommand* other) override;

private:
    void place(const Pose& pose);
    HxKeyframeCameraPath* path;
    int index;
    unsigned int drag;
    Pose from;
    Pose to;
};

// Keyframe `index` to another time between its neighbours' (checked by the caller).
class RetimeKeyframe : public QUndoCommand {
public:
    RetimeKeyframe(HxKeyframeCameraPath* path, int index, float from, float to);
    void redo() override;
    void undo() override;

private:
    HxKeyframeCameraPath* path;
    int index;
    float from;
    float to;
};

// Every keyframe at once (a circular path, constant velocity): the keyframes
// before and after, as the path holds them.
class ReplaceKeyframes : public QUndoCommand {
public:
    struct Keyframes {
        McDArray<float> times;
        McDArray<McHandle<SoCamera>> cameras;
    };
    static Keyframes of(const HxKeyframeCameraPath* path);
    ReplaceKeyframes(HxKeyframeCameraPath* path, const QString& text, Keyframes before, Keyframes after);
    void redo() override;
    void undo() override;

private:
    HxKeyframeCameraPath* path;
    Keyframes before;
    Keyframes after;
};

}  // namespace keyframeundo
