#include "KeyframeUndo.h"

#include "../HxKeyframeCameraPath.h"
#include "NumberText.h"

#include <QCoreApplication>
#include <utility>

namespace keyframeundo {

namespace {
QString tr(const char* text) { return QCoreApplication::translate("KeyframeUndo", text); }
QString timeText(float t) { return QString::fromStdString(numbertext::general(t)); }
// Scripts may change a path outside its history; a step whose keyframe is
// gone then does nothing rather than reach past the end.
bool holds(const HxKeyframeCameraPath* path, int index) { return index >= 0 && index < path->cameras.size(); }
}  // namespace

AddKeyframe::AddKeyframe(HxKeyframeCameraPath* editedPath, float t, const SoCamera* shown)
    : path(editedPath), time(t), camera(static_cast<SoCamera*>(shown->copy(FALSE))), replaces(false) {
    index = path->keyframeSlot(time, replaces);
    if (replaces) replaced = path->cameras[index];
    setText(tr("add keyframe at %1").arg(timeText(time)));
}

void AddKeyframe::redo() {
    path->addKeyframe(time, camera);
    path->update();
}

void AddKeyframe::undo() {
    if (!holds(path, index)) return;
    if (replaces) {
        path->cameras[index] = replaced;
        path->touch(0xFFFFFFFF);
    } else {
        path->removeKeyframe(index);
    }
    path->update();
}

RemoveKeyframe::RemoveKeyframe(HxKeyframeCameraPath* editedPath, int k)
    : path(editedPath), index(k), time(path->times[k]), camera(path->cameras[k]) {
    setText(tr("remove keyframe at %1").arg(timeText(time)));
}

void RemoveKeyframe::redo() {
    if (!holds(path, index)) return;
    path->removeKeyframe(index);
    path->update();
}

void RemoveKeyframe::undo() {
    if (index > path->cameras.size()) return;
    McDArray<float> times = path->times;
    McDArray<McHandle<SoCamera>> cameras = path->cameras;
    times.insert(index, time);
    cameras.insert(index, camera);
    path->setKeyframes(times, cameras);
    path->update();
}

MoveKeyframe::Pose MoveKeyframe::poseOf(const SoCamera* camera) {
    return {camera->position.getValue(), camera->orientation.getValue()};
}

MoveKeyframe::MoveKeyframe(HxKeyframeCameraPath* editedPath, int k, unsigned int dragNumber, const Pose& start,
                           const Pose& end)
    : path(editedPath), index(k), drag(dragNumber), from(start), to(end) {
    setText(tr("move keyframe at %1").arg(timeText(path->times[k])));
}

void MoveKeyframe::place(const Pose& pose) {
    if (!holds(path, index)) return;
    SoCamera* camera = path->cameras[index];
    camera->position.setValue(pose.position);
    camera->orientation.setValue(pose.orientation);
    path->touch(0xFFFFFFFF);
    path->update();
}

void MoveKeyframe::redo() { place(to); }
void MoveKeyframe::undo() { place(from); }

int MoveKeyframe::id() const { return 1; }

bool MoveKeyframe::mergeWith(const QUndoCommand* other) {
    const auto* next = static_cast<const MoveKeyframe*>(other);
    if (next->path != path || next->index != index || next->drag != drag) return false;
    to = next->to;
    return true;
}

RetimeKeyframe::RetimeKeyframe(HxKeyframeCameraPath* editedPath, int k, float start, float end)
    : path(editedPath), index(k), from(start), to(end) {
    setText(tr("move keyframe from time %1 to %2").arg(timeText(from), timeText(to)));
}

void RetimeKeyframe::redo() {
    path->setKeyframeTime(index, to);
    path->update();
}

void RetimeKeyframe::undo() {
    path->setKeyframeTime(index, from);
    path->update();
}

ReplaceKeyframes::Keyframes ReplaceKeyframes::of(const HxKeyframeCameraPath* path) {
    return {path->times, path->cameras};
}

ReplaceKeyframes::ReplaceKeyframes(HxKeyframeCameraPath* editedPath, const QString& text, Keyframes old,
                                   Keyframes replacement)
    : path(editedPath), before(std::move(old)), after(std::move(replacement)) {
    setText(text);
}

void ReplaceKeyframes::redo() {
    path->setKeyframes(after.times, after.cameras);
    path->update();
}

void ReplaceKeyframes::undo() {
    path->setKeyframes(before.times, before.cameras);
    path->update();
}

}  // namespace keyframeundo
