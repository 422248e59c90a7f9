// The keyframe camera path as an object: its keyframes, its queries and host
// callbacks, the flight between keyframes, circles and re-timing. Script
// commands are in HxKeyframeCameraPathCommands.cpp, files in
// HxKeyframeCameraPathFiles.cpp.
#include "HxKeyframeCameraPath.h"
#include "VeVazaruMetricTranslation.h"
#include "internal/KeyframeInterpolation.h"

#include <hxcore/HxMessage.h>
#include <viewer/HxController.h>
#include <viewer/HxViewer.h>

#include <Inventor/nodes/SoPerspectiveCamera.h>
#include <Inventor/nodes/SoSeparator.h>
#include <QCoreApplication>
#include <algorithm>
#include <cmath>
#include <iterator>
#include <optional>

MC_INIT_CLASS(HxKeyframeCameraPath, VeVazaruPath::getClassTypeId())

namespace {
SoCamera* copyOf(const SoCamera* camera) { return static_cast<SoCamera*>(camera->copy(FALSE)); }
}  // namespace

// ---------------------------------------------------------------------------
// Construction and copying

HxKeyframeCameraPath::HxKeyframeCameraPath()
    : portTime(this, "time", QCoreApplication::translate("HxKeyframeCameraPath", "Time"), false, 1) {
    portTime.setIncrement(0.5f);
    for (int i = 0; i < 16; ++i) {
        if (HxViewer* viewer = theController->viewer(i, 0, nullptr, true)) viewer->verifyCameraPath();
    }
    initMembers();
}

HxKeyframeCameraPath::HxKeyframeCameraPath(SoNode* sceneRoot)
    : portTime(this, "time", QCoreApplication::translate("HxKeyframeCameraPath", "Time"), false, 1) {
    portTime.setIncrement(0.5f);
    initMembers();
    // Only a group can hold keyframe groups; anything else gives an empty path.
    if (sceneRoot && sceneRoot->isOfType(SoSeparator::getClassTypeId()))
        setCameraPath(static_cast<SoSeparator*>(sceneRoot));
    portTime.setMinMax(0, getDuration());
}

void HxKeyframeCameraPath::initMembers() {
    setSaveFormats(keyframeSaveFormats());
    metric = new VeVazaruMetricTranslation;
    keepAimDistance = 1;
    closed = 0;
    rotationMode = 0;
    splineUpDir = 0;
    splineAimPoint = 0;
    splinePosition = 1;
    arcTableSegment = -1;
}

HxKeyframeCameraPath::~HxKeyframeCameraPath() = default;

HxKeyframeCameraPath* HxKeyframeCameraPath::duplicate() const {
    auto* copy = new HxKeyframeCameraPath;
    copy->copyData(*this);
    return copy;
}

void HxKeyframeCameraPath::copyData(const HxKeyframeCameraPath& source) {
    if (&source == this) return;
    keepAimDistance = source.keepAimDistance;
    closed = source.closed;
    arcTableSegment = source.arcTableSegment;
    rotationMode = source.rotationMode;
    arcTable = source.arcTable;
    forgetArcTables();
    times = source.times;
    forgetTimeOrder();
    splineAimPoint = source.splineAimPoint;
    splineUpDir = source.splineUpDir;
    splinePosition = source.splinePosition;
    cameras.resize(source.cameras.size());
    for (int i = 0; i < cameras.size(); ++i) cameras[i] = copyOf(source.cameras[i]);
}

// ---------------------------------------------------------------------------
// Keyframes

int HxKeyframeCameraPath::keyframeSlot(float t, bool& replaces) const {
    const int n = times.size();
    replaces = false;
    int i = 0;
    if (n > 0 && !(times[0] > t)) {
        i = 1;
        while (i < n && !(times[i] > t)) ++i;
    }
    // Differences in single precision, compared in double precision.
    if (i > 0 && double(float(t - times[i - 1])) < 0.001) {
        replaces = true;
        return i - 1;
    }
    if (i < n && double(float(times[i] - t)) < 0.001) replaces = true;
    return i;
}

void HxKeyframeCameraPath::addKeyframe(float t, SoCamera* camera) {
    McHandle<SoCamera> copy = copyOf(camera);
    bool replaces = false;
    const int i = keyframeSlot(t, replaces);
    if (replaces) {
        cameras[i] = copy;
        return;
    }
    times.insert(i, t);
    forgetTimeOrder();
    cameras.insert(i, copy);
    updateInfo(false);
    touch(0xFFFFFFFF);
}

void HxKeyframeCameraPath::removeKeyframe(int index) {
    if (cameras.size() > 0) cameras.remove(index);
    if (times.size() > 0) times.remove(index);
    forgetTimeOrder();
    updateInfo(false);
    touch(0xFFFFFFFF);
}

bool HxKeyframeCameraPath::setKeyframeTime(int index, float time) {
    const int n = times.size();
    if (index < 0 || index >= n || !std::isfinite(time)) return false;
    if ((index > 0 && !(times[index - 1] < time)) || (index + 1 < n && !(time < times[index + 1]))) return false;
    times[index] = time;
    forgetTimeOrder();
    updateInfo(false);
    touch(0xFFFFFFFF);
    return true;
}

void HxKeyframeCameraPath::setKeyframes(const McDArray<float>& newTimes,
                                        const McDArray<McHandle<SoCamera>>& newCameras) {
    times = newTimes;
    cameras = newCameras;
    forgetTimeOrder();
    updateInfo(false);
    touch(0xFFFFFFFF);
}

// Only keyframes that exist are changed: a range reaching outside 0..count-1 is
// cut to it, and first > last changes nothing.
void HxKeyframeCameraPath::clampRange(int& first, int& last) const {
    if (last < 0 || last >= cameras.size()) last = cameras.size() - 1;
    if (first < 0) first = 0;
}

bool HxKeyframeCameraPath::setAimPoint(const SbVec3f& aim, int first, int last) {
    clampRange(first, last);
    SbVec3f up;
    for (int i = first; i <= last; ++i) {
        UPDIR(cameras[i], up);
        if (!canPlaceCamera(cameras[i], cameras[i]->position.getValue(), aim, up)) return false;
    }
    for (int i = first; i <= last; ++i) {
        UPDIR(cameras[i], up);
        setCamera(cameras[i], cameras[i]->position.getValue(), aim, up);
    }
    return true;
}

bool HxKeyframeCameraPath::setUpDir(const SbVec3f& up, int first, int last) {
    clampRange(first, last);
    SbVec3f aim;
    for (int i = first; i <= last; ++i) {
        AIMPOINT(cameras[i], aim);
        if (!canPlaceCamera(cameras[i], cameras[i]->position.getValue(), aim, up)) return false;
    }
    for (int i = first; i <= last; ++i) {
        AIMPOINT(cameras[i], aim);
        setCamera(cameras[i], cameras[i]->position.getValue(), aim, up);
    }
    return true;
}

void HxKeyframeCameraPath::equalDist(SbVec3f refPoint) {
    const int n = cameras.size();
    if (n < 2) return;
    double sum = 0;
    for (int i = 0; i < n; ++i) sum += (cameras[i]->position.getValue() - refPoint).length();
    const float meanDistance = static_cast<float>(sum / n);
    for (int i = 0; i < n; ++i) {
        SbVec3f p = cameras[i]->position.getValue(), aim, up;
        AIMPOINT(cameras[i], aim);
        UPDIR(cameras[i], up);
        SbVec3f d = p - aim;
        const float len = d.length();
        // A camera with no distance to its aim point keeps its viewing direction.
        if (len > 0) {
            d *= meanDistance / len;
        } else {
            SbVec3f back;
            cameras[i]->orientation.getValue().multVec(SbVec3f(0, 0, 1), back);
            d = back * meanDistance;
        }
        setCamera(cameras[i], aim + d, aim, up);
    }
}

void HxKeyframeCameraPath::setMetric(VeVazaruMetric* newMetric) { metric = newMetric; }

// ---------------------------------------------------------------------------
// Queries and host callbacks

bool HxKeyframeCameraPath::isClosed() const { return closed != 0; }

float HxKeyframeCameraPath::getDuration() const {
    const int n = times.size();
    return n == 0 ? 0.0f : times[n - 1] - times[0];
}

float HxKeyframeCameraPath::getTime(int k) const { return times.size() == 0 ? 0.0f : times[k]; }

void HxKeyframeCameraPath::info() {
    const float duration = getDuration();
    const char* notWord = isClosed() ? "" : "not ";
    infoTag(QCoreApplication::translate("HxKeyframeCameraPath", "Camera Path:"),
            QString::asprintf("%d keyframes (%sclosed), total time %.1f", cameras.size(), notWord, duration));
}

void HxKeyframeCameraPath::update() {
    forgetTimeOrder();
    if (!portTime.getSource()) portTime.setMinMax(0, getDuration());
    arcTableSegment = -1;
    forgetArcTables();
}

// ---------------------------------------------------------------------------
// Interpolation

// Keyframe cameras can be changed from outside between any two calls (scripts,
// setAimPoint, a manipulator dragging one), so nothing read from them outlives
// a call; within a call each needed keyframe's fields are read once.

namespace {
// The fields of a keyframe camera that the interpolation reads, each read once.
struct KeyFields {
    SbVec3f position;
    SbRotation orientation;
    float focalDistance;
};

KeyFields readFields(const SoCamera* camera) {
    return {camera->position.getValue(), camera->orientation.getValue(), camera->focalDistance.getValue()};
}

keyframe::KeyState keyState(const KeyFields& f) {
    return {f.position, VeVazaruPath::aimPointOf(f.position, f.orientation, f.focalDistance),
            VeVazaruPath::upDirOf(f.orientation), f.orientation};
}

keyframe::Blending blendingOf(const HxKeyframeCameraPath& path) {
    keyframe::Blending how;
    how.splinePosition = path.splinePosition != 0;
    how.splineAimPoint = path.splineAimPoint != 0;
    how.splineUpDir = path.splineUpDir != 0;
    how.keepAimDistance = path.keepAimDistance != 0;
    return how;
}

// The blending settings as one number, for segment keys.
int blendingBits(const keyframe::Blending& how) {
    return (how.splinePosition ? 1 : 0) | (how.splineAimPoint ? 2 : 0) | (how.splineUpDir ? 4 : 0) |
           (how.keepAimDistance ? 8 : 0);
}

// The keyframes segment i reads: its start and end and the neighbours before
// and after them, -1 where the path has none. The last keyframe of an open
// path has no end: it is placed alone.
struct SegmentIndices {
    int before = -1, start = -1, end = -1, after = -1;
};

SegmentIndices segmentIndices(const HxKeyframeCameraPath& path, int i) {
    const int n = path.cameras.size();
    const bool loop = path.closed && n > 2;
    SegmentIndices s;
    s.start = i;
    if (!loop && i + 1 >= n) return s;
    s.end = (i + 1) % n;
    if (loop || i > 0) s.before = i == 0 ? n - 1 : i - 1;
    if (loop || i + 2 < n) s.after = (i + 2) % n;
    return s;
}

// Scratch cameras that nobody observes: writing them need not notify.
void silence(SoCamera* camera) {
    camera->position.enableNotify(FALSE);
    camera->orientation.enableNotify(FALSE);
    camera->focalDistance.enableNotify(FALSE);
}

// Segment i of a path with its keyframes read. Places the cameras of the
// segment at any local parameter without reading the keyframe cameras again;
// lives no longer than one call.
class SegmentCameras {
public:
    SegmentCameras(const HxKeyframeCameraPath& path, int i);
    void place(float u, SoCamera* camera) const;

private:
    static std::optional<keyframe::KeyState> stateOf(const std::optional<KeyFields>& f) {
        return f ? std::optional<keyframe::KeyState>(keyState(*f)) : std::nullopt;
    }

    const HxKeyframeCameraPath& path;
    bool lastOfOpenPath;  // then only keyframe i is read and placed
    keyframe::KeyState only;
    std::optional<keyframe::Segment> segment;
};

SegmentCameras::SegmentCameras(const HxKeyframeCameraPath& path_, int i) : path(path_) {
    const McDArray<McHandle<SoCamera>>& cameras = path.cameras;
    const SegmentIndices s = segmentIndices(path, i);
    lastOfOpenPath = s.end < 0;
    if (lastOfOpenPath) {
        only = keyState(readFields(cameras[i]));
        return;
    }

    // All fields before any arithmetic: on a long path the keyframe cameras lie
    // far apart in memory, and reads issued together wait for memory together.
    const KeyFields fi = readFields(cameras[s.start]), fn = readFields(cameras[s.end]);
    std::optional<KeyFields> fp, fn2;  // neighbours that exist
    if (s.before >= 0) fp = readFields(cameras[s.before]);
    if (s.after >= 0) fn2 = readFields(cameras[s.after]);

    const std::optional<keyframe::KeyState> kp = stateOf(fp), kn2 = stateOf(fn2);
    segment.emplace(keyState(fi), keyState(fn), kp ? &*kp : nullptr, kn2 ? &*kn2 : nullptr, blendingOf(path));
}

void SegmentCameras::place(float u, SoCamera* camera) const {
    if (lastOfOpenPath) {
        VeVazaruPath::setCamera(camera, only.p, only.a, only.v);
        return;
    }
    SbVec3f position, aim, up;
    segment->at(u, position, aim, up);
    VeVazaruPath::setCamera(camera, position, aim, up);
    if (path.rotationMode != 0) {
        const SbRotation orientation = segment->orientationAt(u);
        camera->orientation.setValue(orientation);
        // The up direction of the camera so oriented.
        if (path.rotationMode == 2) VeVazaruPath::setCamera(camera, position, aim, VeVazaruPath::upDirOf(orientation));
    }
}
}  // namespace

void HxKeyframeCameraPath::interp(int i, float u, SoCamera* camera) {
    if (cameras.size() == 0) return;
    SegmentCameras(*this, i).place(u, camera);
}

void HxKeyframeCameraPath::fillPath(int i) {
    McHandle<SoCamera> previous = copyOf(cameras[i]);
    McHandle<SoCamera> current = copyOf(cameras[i]);
    silence(previous);
    silence(current);
    const SegmentCameras segment(*this, i);
    arcTable.resize(101);
    float sum = 0;
    for (int k = 0; k <= 100; ++k) {
        segment.place(k / 100.0f, current);
        sum += metric->dist(previous, current);
        std::swap(previous, current);
        arcTable[k] = sum;
    }
}

float HxKeyframeCameraPath::getRealTime(int i, float u) {
    if (i != arcTableSegment) {
        if (i >= 0) loadArcTable(i);
        arcTableSegment = i;
    }
    if (i < 0) return 0;
    return keyframe::arcParameter(&arcTable[0], u);
}

bool HxKeyframeCameraPath::SegmentKey::operator==(const SegmentKey& other) const {
    return std::equal(std::begin(cameras), std::end(cameras), std::begin(other.cameras)) && used == other.used &&
           blending == other.blending && rotationMode == other.rotationMode;
}

HxKeyframeCameraPath::SegmentKey HxKeyframeCameraPath::segmentKey(int i) const {
    const SegmentIndices s = segmentIndices(*this, i);
    SegmentKey key;
    const int read[4] = {s.before, s.start, s.end, s.after};
    for (int k = 0; k < 4; ++k) {
        if (read[k] < 0) continue;
        key.cameras[k] = cameras[read[k]]->getNodeId();
        key.used |= 1 << k;
    }
    key.blending = blendingBits(blendingOf(*this));
    key.rotationMode = rotationMode;
    return key;
}

// Called only when the segment asked for changes, like the refill of a single
// table: a keyframe, setting or metric changed without update() is seen at the
// same call as with a single table refilled at every change of segment, since
// a kept table is taken only under the key it was filled with.
void HxKeyframeCameraPath::loadArcTable(int i) {
    constexpr int length = 101;
    if (arcTableMetric.ptr() != metric.ptr()) {
        forgetArcTables();
        arcTableMetric = metric;
    }
    const SegmentKey key = segmentKey(i);
    if (i >= static_cast<int>(arcTableSlot.size())) arcTableSlot.resize(static_cast<std::size_t>(i) + 1, -1);
    int& slot = arcTableSlot[static_cast<std::size_t>(i)];
    if (slot >= 0 && arcTableKeys[static_cast<std::size_t>(slot)] == key) {
        const float* kept = &arcTableValues[static_cast<std::size_t>(slot) * length];
        arcTable.resize(length);
        std::copy(kept, kept + length, &arcTable[0]);
        return;
    }
    fillPath(i);
    if (slot < 0) {
        slot = static_cast<int>(arcTableKeys.size());
        arcTableKeys.push_back(key);
        arcTableValues.resize(arcTableValues.size() + length);
    } else {
        arcTableKeys[static_cast<std::size_t>(slot)] = key;
    }
    std::copy(&arcTable[0], &arcTable[0] + length, &arcTableValues[static_cast<std::size_t>(slot) * length]);
}

void HxKeyframeCameraPath::forgetArcTables() {
    arcTableSlot.clear();
    arcTableKeys.clear();
    arcTableValues.clear();
}

int HxKeyframeCameraPath::segmentAt(float t) {
    // The first keyframe k >= 1 whose time is greater than t (times[0] <= t <
    // times[n - 1] here); its segment starts at k - 1.
    const int n = times.size();
    if (timeOrder < 0) timeOrder = std::is_sorted(times.begin(), times.end()) ? 1 : 0;
    int k = 1;
    if (timeOrder == 1) {
        const float* first = &times[1];
        k = static_cast<int>(std::upper_bound(first, first + (n - 1), t) - first) + 1;
    } else {
        while (!(times[k] > t)) ++k;
    }
    return k - 1;
}

void HxKeyframeCameraPath::getCamera(float t, SoCamera& camera) {
    const int n = times.size();
    if (n == 0) return;
    if (n == 1) {
        interp(0, 0, &camera);  // the only keyframe, placed as it is
        return;
    }
    int i;
    float s;
    if (t >= times[n - 1]) {
        i = n - 1;
        s = (t - times[n - 1]) / (times[n - 1] - times[n - 2]);
    } else if (!(t >= times[0]) || t < 0) {  // a NaN time too: the start
        i = 0;
        s = 0;
    } else {
        i = segmentAt(t);
        s = (t - times[i]) / (times[i + 1] - times[i]);
    }
    interp(i, getRealTime(i, s), &camera);
}

SoCamera* HxKeyframeCameraPath::getCamera(float t) {
    auto* camera = new SoPerspectiveCamera;
    getCamera(t, *camera);
    return camera;
}

void HxKeyframeCameraPath::compute() {
    if (!portTime.isNew(0xFFFFFFFF)) return;
    float min, max;
    portTime.getMinMax(min, max);
    const float scale = min == max ? 0.0f : static_cast<float>(1.0 / (double(max) - double(min)));
    const float t = scale * portTime.getValue() * getDuration();
    for (int i = 0; i < 16; ++i) {
        HxViewer* viewer = theController->viewer(i, 0, nullptr, true);
        if (!viewer || !(getViewerMask() & (1u << i))) continue;
        viewer->autoAnimateCamera(false);
        if (SoCamera* camera = viewer->getCamera()) getCamera(t, *camera);
        touch(2);
    }
}

// ---------------------------------------------------------------------------
// Circular paths and re-timing

bool HxKeyframeCameraPath::createCircularPath(const SoCamera* camera, float angle, float duration, int steps) {
    // Fewer than one step has no angular step to divide by: take one.
    if (steps < 1) steps = 1;
    const double r = std::fmod(std::fabs(double(angle)) + 0.01, 360.0);
    const int closes = 0.02 > r ? 1 : 0;

    SbVec3f up, aim;
    UPDIR(camera, up);
    AIMPOINT(camera, aim);
    const SbVec3f offset = camera->position.getValue() - aim;

    int component;
    if (std::fabs(up[0]) > std::fabs(up[1]))
        component = std::fabs(up[0]) > std::fabs(up[2]) ? 0 : 2;
    else
        component = std::fabs(up[1]) > std::fabs(up[2]) ? 1 : 2;
    SbVec3f axis(0, 0, 0);
    axis[component] = up[component] > 0 ? 1.0f : -1.0f;

    // Built aside: a keyframe that cannot be placed leaves the path as it was.
    McDArray<McHandle<SoCamera>> newCameras;
    McDArray<float> newTimes;
    const int count = closes ? steps + 1 : steps;
    for (int k = 0; k < count; ++k) {
        const float f = float(k) / float(steps);
        const float degrees = f * angle;
        const float radians = static_cast<float>((degrees / 180.0) * 3.14159265358979323846);
        SbVec3f rotated;
        SbRotation(axis, radians).multVec(offset, rotated);
        McHandle<SoCamera> keyframe = new SoPerspectiveCamera;
        if (!placeCamera(keyframe, aim + rotated, aim, axis) || !std::isfinite(f * duration)) return false;
        newCameras.append(keyframe);
        newTimes.append(f * duration);
    }

    closed = closes;
    cameras = std::move(newCameras);
    times = std::move(newTimes);
    forgetTimeOrder();
    splineAimPoint = 0;
    splineUpDir = 0;
    splinePosition = 1;

    update();
    updateInfo(false);
    touch(0xFFFFFFFF);
    return true;
}

void HxKeyframeCameraPath::makeConstVelocity() {
    const int n = times.size();
    if (n < 3) {
        theMsg->printf("%s", qPrintable(QCoreApplication::translate("HxKeyframeCameraPath",
                                                                    "Please add at least three keyframes.")));
        return;
    }
    McHandle<SoCamera> previous = new SoPerspectiveCamera;
    McHandle<SoCamera> current = new SoPerspectiveCamera;
    silence(previous);
    silence(current);

    McDArray<float> lengths(n);  // cumulative metric length up to keyframe i
    float sum = 0;
    for (int i = 0; i < n - 1; ++i) {
        const SegmentCameras segment(*this, i);
        segment.place(0, previous);
        for (int k = 1; k <= 10; ++k) {
            segment.place(k / 10.0f, current);
            sum += metric->dist(previous, current);
            std::swap(previous, current);
        }
        lengths[i + 1] = sum;
    }
    // A path that does not move under the metric has no length to share out:
    // its times stay as they are.
    if (!(sum > 0) || !std::isfinite(sum)) {
        theMsg->printf("%s", qPrintable(QCoreApplication::translate(
                                 "HxKeyframeCameraPath", "The path has no length under its metric; times unchanged.")));
        return;
    }
    keyframe::timesByLength(&times[0], &lengths[0], n, sum);
    forgetTimeOrder();

    updateInfo(false);
    touch(0xffffffff);
}
