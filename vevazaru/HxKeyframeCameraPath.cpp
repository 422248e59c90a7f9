#include "HxKeyframeCameraPath.h"
#include "VeVazaruMetricTranslation.h"

#include <hxcore/HxCmd.h>
#include <hxcore/HxMessage.h>
#include <mc/McSafeFile.h>
#include <viewer/HxController.h>
#include <viewer/HxViewer.h>

#include <Inventor/SoDB.h>
#include <Inventor/SoInput.h>
#include <Inventor/SoOutput.h>
#include <Inventor/actions/SoWriteAction.h>
#include <Inventor/nodes/SoGroup.h>
#include <Inventor/nodes/SoInfo.h>
#include <Inventor/nodes/SoPerspectiveCamera.h>
#include <Inventor/nodes/SoSeparator.h>
#include <vornamesh/VornaMesh.h>
#include <QCoreApplication>
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <optional>
#include <tcl.h>

MC_INIT_CLASS(HxKeyframeCameraPath, VeVazaruPath::getClassTypeId())

namespace {
SoCamera* copyOf(const SoCamera* camera) { return static_cast<SoCamera*>(camera->copy(FALSE)); }
}  // namespace

// The save formats offered for keyframe paths, in this order.
static const HxSaveFormatInfo si[] = {
    {"Camerapath Inventor", "civ", static_cast<HxSaveFormatInfo::Writer>(&HxKeyframeCameraPath::saveInventor), nullptr,
     0},
    {"Vorna binary", "vm", static_cast<HxSaveFormatInfo::Writer>(&HxKeyframeCameraPath::saveVornaBinary), nullptr, 1},
    {"Pexil binary", "vm", static_cast<HxSaveFormatInfo::Writer>(&HxKeyframeCameraPath::savePexilBinary), nullptr, 1},
    {"Pexil Brio", "brio", static_cast<HxSaveFormatInfo::Writer>(&HxKeyframeCameraPath::savePexilBrio), nullptr, 1},
    {nullptr, nullptr, nullptr, nullptr, 0},
};

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
    setSaveFormats(si);
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

void HxKeyframeCameraPath::addKeyframe(float t, SoCamera* camera) {
    McHandle<SoCamera> copy = copyOf(camera);
    const int n = times.size();
    if (n == 0) {
        times.append(t);
        cameras.append(copy);
    } else {
        int i = 0;
        if (!(times[0] > t)) {
            i = 1;
            while (i < n && !(times[i] > t)) ++i;
        }
        // Differences in single precision, compared in double precision.
        if (i > 0 && double(float(t - times[i - 1])) < 0.001) {
            cameras[i - 1] = copy;
            return;
        }
        if (i < n && double(float(times[i] - t)) < 0.001) {
            cameras[i] = copy;
            return;
        }
        times.insert(i, t);
        forgetTimeOrder();
        cameras.insert(i, copy);
    }
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

SbVec3f positionOf(const KeyFields& f) { return f.position; }
SbVec3f aimPointOf(const KeyFields& f) { return VeVazaruPath::aimPointOf(f.position, f.orientation, f.focalDistance); }
SbVec3f upDirOf(const KeyFields& f) { return VeVazaruPath::upDirOf(f.orientation); }

// The quantities of a keyframe: position, aim point, up direction, orientation.
struct KeyState {
    SbVec3f p, a, v;
    SbRotation q;
};

KeyState keyState(const KeyFields& f) { return {f.position, aimPointOf(f), upDirOf(f), f.orientation}; }

// Inline, unlike SbVec3f::length; the same float arithmetic.
float norm(const SbVec3f& v) { return std::sqrt(v.dot(v)); }

// The Catmull-Rom tangent at x between its neighbours.
SbVec3f centralTangent(const SbVec3f& prev, const SbVec3f& x, const SbVec3f& next) {
    return ((x - prev) + (next - x)) * 0.5f;
}

// The tangents of one quantity at keyframe i and at its successor: half the
// central difference where the neighbour exists, at an open end the whole
// one-sided difference.
template <class Quantity>
void endTangents(Quantity x, const std::optional<KeyFields>& prev, const SbVec3f& x0, const SbVec3f& x1,
                 const std::optional<KeyFields>& next2, SbVec3f t[2]) {
    t[0] = prev ? centralTangent(x(*prev), x0, x1) : x1 - x0;
    t[1] = next2 ? centralTangent(x0, x1, x(*next2)) : x1 - x0;
}

// The blends are written as x0 plus weighted differences (h00 = 1 - h01), which
// is the same polynomial but gives x0 exactly where nothing changes: keyframes
// that are equal interpolate to exactly themselves, so a segment that does not
// move has a length of exactly 0.
SbVec3f hermite(float u, const SbVec3f& x0, const SbVec3f& x1, const SbVec3f& t0, const SbVec3f& t1) {
    const float u2 = u * u, u3 = u2 * u;
    const float h01 = -2 * u3 + 3 * u2;
    const float h10 = u3 - 2 * u2 + u, h11 = u3 - u2;
    return x0 + (x1 - x0) * h01 + t0 * h10 + t1 * h11;
}

SbVec3f blend(int spline, float u, const SbVec3f& x0, const SbVec3f& x1, const SbVec3f& t0, const SbVec3f& t1) {
    return spline ? hermite(u, x0, x1, t0, t1) : x0 + (x1 - x0) * u;
}

// Scratch cameras that nobody observes: writing them need not notify.
void silence(SoCamera* camera) {
    camera->position.enableNotify(FALSE);
    camera->orientation.enableNotify(FALSE);
    camera->focalDistance.enableNotify(FALSE);
}

// Segment i of a path with its keyframes read: keyframe i, its successor and the
// tangents at both. Places the cameras of the segment at any local parameter
// without reading the keyframe cameras again; lives no longer than one call.
class SegmentCameras {
public:
    SegmentCameras(const HxKeyframeCameraPath& path, int i);
    void place(float u, SoCamera* camera) const;

private:
    SbVec3f atBlendedAimDistance(const SbVec3f& position, const SbVec3f& aim, float u) const;

    const HxKeyframeCameraPath& path;
    bool lastOfOpenPath;  // then only keyframe i is read and placed
    KeyState k0, k1;
    // Tangents at keyframe i and at its successor, of the quantities blended by spline.
    SbVec3f tp[2], ta[2], tv[2];
    float d0 = 0, d1 = 0;  // distances from position to aim point
};

SegmentCameras::SegmentCameras(const HxKeyframeCameraPath& path_, int i) : path(path_) {
    const McDArray<McHandle<SoCamera>>& cameras = path.cameras;
    const int n = cameras.size();
    const bool loop = path.closed && n > 2;
    lastOfOpenPath = !loop && i + 1 >= n;
    if (lastOfOpenPath) {
        k0 = keyState(readFields(cameras[i]));
        return;
    }

    // All fields before any arithmetic: on a long path the keyframe cameras lie
    // far apart in memory, and reads issued together wait for memory together.
    const KeyFields fi = readFields(cameras[i]), fn = readFields(cameras[(i + 1) % n]);
    std::optional<KeyFields> fp, fn2;  // neighbours that exist
    if (loop || i > 0) fp = readFields(cameras[i == 0 ? n - 1 : i - 1]);
    if (loop || i + 2 < n) fn2 = readFields(cameras[(i + 2) % n]);

    k0 = keyState(fi);
    k1 = keyState(fn);
    d0 = norm(k0.a - k0.p);
    d1 = norm(k1.a - k1.p);
    // Tangents only of the quantities that are blended by spline.
    if (path.splinePosition) endTangents(positionOf, fp, k0.p, k1.p, fn2, tp);
    if (path.splineAimPoint) endTangents(aimPointOf, fp, k0.a, k1.a, fn2, ta);
    if (path.splineUpDir) endTangents(upDirOf, fp, k0.v, k1.v, fn2, tv);
}

// The position moved along its line from the aim point to the blend of the
// keyframes' aim distances.
SbVec3f SegmentCameras::atBlendedAimDistance(const SbVec3f& position, const SbVec3f& aim, float u) const {
    SbVec3f w = position - aim;
    float len = norm(w);
    // Where the blended position meets the blended aim point the direction is
    // taken from the blend of the keyframes' own aim-to-camera directions.
    if (len == 0) {
        w = (k0.p - k0.a) * (1 - u) + (k1.p - k1.a) * u;
        len = norm(w);
    }
    const float scale = len > 0 ? (d0 + u * (d1 - d0)) / len : 1.0f;
    return scale != 1.0f ? aim + w * scale : position;
}

void SegmentCameras::place(float u, SoCamera* camera) const {
    if (lastOfOpenPath) {
        VeVazaruPath::setCamera(camera, k0.p, k0.a, k0.v);
        return;
    }
    const SbVec3f up = blend(path.splineUpDir, u, k0.v, k1.v, tv[0], tv[1]);
    const SbVec3f aim = blend(path.splineAimPoint, u, k0.a, k1.a, ta[0], ta[1]);
    SbVec3f position = blend(path.splinePosition, u, k0.p, k1.p, tp[0], tp[1]);
    if (path.keepAimDistance) position = atBlendedAimDistance(position, aim, u);

    VeVazaruPath::setCamera(camera, position, aim, up);
    if (path.rotationMode != 0) {
        const SbRotation orientation = SbRotation::slerp(k0.q, k1.q, u);
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
        if (i >= 0) fillPath(i);
        arcTableSegment = i;
    }
    if (i < 0) return 0;
    const float target = u * arcTable[100];
    int k = 0;
    if (!std::isnan(target)) {
        while (k <= 100 && !(arcTable[k] >= target)) ++k;
        if (k > 100) return 1;
    }
    if (k == 0) return 0;
    return ((k - 1) + (target - arcTable[k - 1]) / (arcTable[k] - arcTable[k - 1])) / 100;
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
    const float lastTime = times[n - 1];
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
    const float f = lastTime / sum;
    for (int i = 1; i < n - 1; ++i) times[i] = lengths[i] * f;
    times[n - 1] = lastTime;  // the last time is kept exactly, not recomputed
    forgetTimeOrder();

    updateInfo(false);
    touch(0xffffffff);
}

// ---------------------------------------------------------------------------
// Script commands

namespace {
void printMessage(const char* text) {
    theMsg->printf("%s", qPrintable(QCoreApplication::translate("HxKeyframeCameraPath", text)));
}

// A failed command: the message on the console and as the Tcl result.
int fail(Tcl_Interp* interp, const std::string& message) {
    theMsg->printf("%s", message.c_str());
    return cmdFail(interp, message);
}

SoCamera* mainViewerCamera() {
    HxViewer* viewer = theController->viewer(0, 1, nullptr, true);
    return viewer ? viewer->getCamera() : nullptr;
}

// argv[first], argv[first + 1], argv[first + 2] as a vector; false if one is not a number.
bool readVector(char** argv, int first, SbVec3f& v) {
    float x, y, z;
    if (!parseFloat(argv[first], x) || !parseFloat(argv[first + 1], y) || !parseFloat(argv[first + 2], z)) return false;
    v.setValue(x, y, z);
    return true;
}

// A keyframe number for a command; false when the word is not a whole number in
// the range of int.
bool readIndex(const char* word, int& index) {
    long value = 0;
    if (!parseLong(word, value) || value < INT_MIN || value > INT_MAX) return false;
    index = static_cast<int>(value);
    return true;
}
}  // namespace

int HxKeyframeCameraPath::parse(Tcl_Interp* interp, int argc, char** argv) {
    const char* cmd = argv[1];
    const std::string self = argv[0];

    if (cmdCheck(cmd, "camera", "")) {
        if (argc <= 2) return fail(interp, "Usage: camera n <cmd>");
        McDArray<CmdInfo>& list = getCmdInfo();
        for (CmdInfo& entry : list) entry.release();
        list.resize(0);
        return cameraParse(interp, argc - 2, argv + 2);
    }
    if (cmdCheck(cmd, "interpRot", "")) {
        if (int r = cmdHelp(interp, cmd, argc == 3, argc, argv); r != 4) return r;
        long mode = 0;
        if (!parseLong(argv[2], mode) || mode < 0 || mode > 2)
            return fail(interp, self + " interpRot: expected 0, 1 or 2, got \"" + argv[2] + "\"");
        rotationMode = static_cast<int>(mode);
        return 0;
    }
    if (cmdCheck(cmd, "getDuration", "")) return cmdTextResult(interp, cmdFixedText(getDuration()));
    if (cmdCheck(cmd, "getStarttime", "")) return cmdTextResult(interp, cmdFixedText(getTime(0)));
    if (cmdCheck(cmd, "getNumCameras", "")) {
        Tcl_VaSetResult(interp, "%d", cameras.size());
        return 0;
    }
    const bool isUpDir = cmdCheck(cmd, "setUpDir", "");
    if (isUpDir || cmdCheck(cmd, "setAimPoint", "")) {
        const std::string usage =
            isUpDir ? "Usage: setUpDir x y z [first [last]]" : "Usage: setAimPoint x y z [first [last]]";
        if (argc < 5 || argc > 7) return fail(interp, usage);
        SbVec3f v;
        int first = 0, last = -1;
        if (!readVector(argv, 2, v) || (argc > 5 && !readIndex(argv[5], first)) ||
            (argc > 6 && !readIndex(argv[6], last)))
            return fail(interp, usage + " (numbers expected)");
        if (isUpDir && v.length() == 0) return fail(interp, self + " setUpDir: the up direction must not be zero");
        if (!(isUpDir ? setUpDir(v, first, last) : setAimPoint(v, first, last)))
            return fail(interp, self + " " + cmd + ": a keyframe would leave the float range; nothing changed");
        return 0;
    }
    if (cmdCheck(cmd, "append", "")) {
        const float t = times.size() == 0 ? 0.0f : times.last() + 10.0f;
        SoCamera* camera = mainViewerCamera();
        if (!camera) return fail(interp, self + " append: there is no main viewer");
        if (!isFinite(camera))
            return fail(interp, self + " append: the main viewer's camera has numbers that are not finite");
        addKeyframe(t, camera);
        return 0;
    }
    if (cmdCheck(cmd, "createCircularPath", "")) {
        SoCamera* camera = mainViewerCamera();
        if (!camera) return fail(interp, self + " createCircularPath: there is no main viewer");
        if (!createCircularPath(camera, 360.0f, 100.0f, 16))
            return fail(interp, self + " createCircularPath: the circle would leave the float range; nothing changed");
        return 0;
    }
    return HxData::parse(interp, argc, argv);
}

int HxKeyframeCameraPath::cameraParse(Tcl_Interp* interp, int argc, char** argv) {
    long n = -1;
    if (!parseLong(argv[0], n) || n < 0 || n >= cameras.size()) return fail(interp, "No such camera");
    SoCamera* camera = cameras[static_cast<int>(n)];
    const char* cmd = argc > 1 ? argv[1] : "help";
    SbVec3f v;
    if (cmdCheck(cmd, "getPosition", "")) {
        v = camera->position.getValue();
    } else if (cmdCheck(cmd, "getAimPoint", "")) {
        AIMPOINT(camera, v);
    } else if (cmdCheck(cmd, "getUpDir", "")) {
        UPDIR(camera, v);
    } else {
        return CmdInfo::usage(interp, cmd);
    }
    return cmdTextResult(interp, cmdFloatText(v[0]) + " " + cmdFloatText(v[1]) + " " + cmdFloatText(v[2]));
}

// ---------------------------------------------------------------------------
// Files

namespace {
const char* errorInCameraFile = "Error in Camerafile";

// Growth of the write action's memory buffer.
void* growBuffer(void* buffer, size_t size) { return std::realloc(buffer, size); }

SoSeparator* readScene(SoInput& in) {
    SoSeparator* root = SoDB::readAll(&in);
    if (root) root->ref();
    return root;
}
}  // namespace

std::string HxKeyframeCameraPath::sceneText(bool keyframesOnly) {
    SoOutput out;
    void* buffer = std::malloc(64);
    out.setBuffer(buffer, 64, growBuffer, 0);
    SoWriteAction writer(&out);

    McHandle<SoInfo> info = new SoInfo;
    McHandle<SoGroup> group = new SoGroup;
    group->addChild(info);
    if (keyframesOnly) {
        for (int i = 0; i < cameras.size(); ++i) {
            info->string.setValue(cmdFixedText(times[i]).c_str());
            if (i == 0)
                group->addChild(cameras[i]);
            else
                group->replaceChild(1, cameras[i]);
            writer.apply(group);
        }
    } else {
        McHandle<SoCamera> sample = new SoPerspectiveCamera;
        group->addChild(sample);
        for (int k = 0;; ++k) {
            const float t = static_cast<float>(k);
            if (getDuration() < t) break;
            info->string.setValue(cmdFixedText(t).c_str());
            getCamera(t, *sample);
            writer.apply(group);
        }
    }

    void* written = nullptr;
    size_t size = 0;
    out.getBuffer(written, size);
    std::string scene(static_cast<const char*>(written), size);
    std::free(written);  // the output does not own a buffer handed to it
    return scene;
}

std::string HxKeyframeCameraPath::unsavable() const {
    for (int i = 0; i < cameras.size(); ++i) {
        if (!std::isfinite(times[i]) || !isFinite(cameras[i]))
            return "keyframe " + std::to_string(i) + " has numbers that are not finite";
    }
    return {};
}

int HxKeyframeCameraPath::write(const char* file, int keyframesOnly) {
    // Such a number would give a file that cannot be read back.
    if (const std::string problem = unsavable(); !problem.empty()) {
        theMsg->printf("%s: %s; not saved", file, problem.c_str());
        return -1;
    }
    const std::string scene = sceneText(keyframesOnly != 0);
    McSafeFile out(file);
    if (!out.write(scene) || !out.commit()) {
        const QByteArray what =
            QCoreApplication::translate("HxKeyframeCameraPath", "Couldn't write camera file").toLocal8Bit();
        errno = out.errorNumber();  // the reason ioError() adds
        theMsg->ioError(file, what.constData());
        return -1;
    }
    return 0;
}

int HxKeyframeCameraPath::saveInventor(const char* file) { return write(file, 1) == 0 ? 1 : 0; }

int HxKeyframeCameraPath::saveVornaMesh(const char* file, bool ascii, const char* codec, bool flagA, bool flagB) {
    if (const std::string problem = unsavable(); !problem.empty()) {
        theMsg->printf("%s: %s; not saved", file, problem.c_str());
        return 0;
    }
    const std::string scene = sceneText(true);
    VornaMesh mesh;
    mesh.parameters = parameters;
    mesh.parameters.set("ContentType", "CameraPath", 0);
    mesh.parameters2 = parameters2;
    const int size = static_cast<int>(scene.size());
    mesh.insertLocation("CameraPath", 1, &size);
    VornaMesh::Data* data = mesh.insertData("CameraPath", "CameraPath", VornaMesh::Byte, 1, scene.data(), scene.size());
    if (data) VornaMesh::setCodec(*data, codec ? codec : "");
    const int result = data ? mesh.write(file, ascii, nullptr, flagA, flagB) : 0;
    if (result)
        setLoadCmd(file, false);
    else
        theMsg->printf("%s", mesh.lastError().c_str());
    return result;
}

int HxKeyframeCameraPath::saveVornaBinary(const char* file) { return saveVornaMesh(file, false, nullptr, true, false); }

int HxKeyframeCameraPath::savePexilBinary(const char* file) {
    return saveVornaMesh(file, false, nullptr, false, false);
}

int HxKeyframeCameraPath::savePexilBrio(const char* file) {
    return saveVornaMesh(file, false, "HxEncrypt", false, true);
}

int HxKeyframeCameraPath::isCameraPath(SoNode* sceneRoot) {
    if (!sceneRoot || !sceneRoot->isOfType(SoSeparator::getClassTypeId())) return 0;
    auto* root = static_cast<SoSeparator*>(sceneRoot);
    if (root->getNumChildren() < 1) return 0;
    for (int i = 0; i < root->getNumChildren(); ++i) {
        SoNode* child = root->getChild(i);
        if (!child->isOfType(SoGroup::getClassTypeId())) return 0;
        auto* group = static_cast<SoGroup*>(child);
        if (group->getNumChildren() != 2) return 0;
        if (!group->getChild(0)->isOfType(SoInfo::getClassTypeId())) return 0;
        if (!group->getChild(1)->isOfType(SoCamera::getClassTypeId())) return 0;
    }
    return 1;
}

namespace {
// The time an Info string holds: the number at its start, read as strtod reads
// it in the "C" locale (leading blanks skipped, anything after the number left,
// no number at all: 0). False when that number is not finite as a float.
bool timeOf(const char* text, float& time) {
    while (*text == ' ' || (*text >= '\t' && *text <= '\r')) ++text;
    float value = 0;
    const std::from_chars_result read = cmdReadFloat(text, text + std::strlen(text), value);
    if (read.ec == std::errc::invalid_argument)
        value = 0;
    else if (read.ec != std::errc() || !std::isfinite(value))
        return false;
    time = value;
    return true;
}
}  // namespace

int HxKeyframeCameraPath::setCameraPath(SoSeparator* sceneRoot, const char* file) {
    McDArray<McHandle<SoCamera>> newCameras;
    McDArray<float> newTimes;
    bool allTaken = true;
    for (int i = 0; i < sceneRoot->getNumChildren(); ++i) {
        SoNode* child = sceneRoot->getChild(i);
        auto* group = child->isOfType(SoGroup::getClassTypeId()) ? static_cast<SoGroup*>(child) : nullptr;
        SoNode* info = group && group->getNumChildren() > 0 ? group->getChild(0) : nullptr;
        SoNode* camera = group && group->getNumChildren() > 1 ? group->getChild(1) : nullptr;
        // A group that is not an (info, camera) pair is reported and left out: its
        // nodes are never taken as a time or a keyframe camera.
        if (!info || !info->isOfType(SoInfo::getClassTypeId()) || !camera ||
            !camera->isOfType(SoCamera::getClassTypeId())) {
            printMessage(errorInCameraFile);
            allTaken = false;
            continue;
        }
        // A time or camera that is not finite refuses the whole scene: nothing of
        // it is taken.
        const char* timeText = static_cast<SoInfo*>(info)->string.getValue().getString();
        float time = 0;
        const char* problem = nullptr;
        if (!timeOf(timeText, time))
            problem = "its time is not a finite number";
        else if (!isFinite(static_cast<SoCamera*>(camera)))
            problem = "its camera has numbers that are not finite";
        if (problem) {
            theMsg->printf("%s: keyframe %d (time \"%s\"): %s; nothing read", file ? file : "camera path scene", i,
                           timeText, problem);
            return -2;
        }
        newCameras.append(copyOf(static_cast<SoCamera*>(camera)));
        newTimes.append(time);
    }
    cameras = std::move(newCameras);
    times = std::move(newTimes);
    forgetTimeOrder();
    arcTableSegment = -1;
    return allTaken ? 0 : -1;
}

int HxKeyframeCameraPath::read(const char* file) {
    SoInput in;
    if (!in.openFile(file, TRUE)) {
        std::fprintf(stderr, "Cannot open %s\n", file);
        return -1;
    }
    return readFrom(in, file);
}

int HxKeyframeCameraPath::readBytes(const void* bytes, std::size_t size, const char* fileName) {
    SoInput in;
    in.setBuffer(bytes, size);
    return readFrom(in, fileName);
}

int HxKeyframeCameraPath::readFrom(SoInput& in, const char* fileName) {
    SoSeparator* root = readScene(in);
    if (!root || !isCameraPath(root)) {
        std::fputs(errorInCameraFile, stderr);
        if (root) root->unref();
        return -1;
    }
    const int taken = setCameraPath(root, fileName);
    root->unref();
    return taken == -2 ? -1 : 0;
}

int HxKeyframeCameraPath::readInventor(const char* file) {
    auto* path = new HxKeyframeCameraPath;
    if (path->read(file) != 0) {
        deleteInstance(path);
        return 0;
    }
    HxData::registerData(path, file);
    return 1;
}

int HxKeyframeCameraPath::readVornaMesh(VornaMesh* mesh, const char* file) {
    const VornaMesh::Data* data = mesh ? mesh->findData("CameraPath", -1, 1, "CameraPath") : nullptr;
    const VornaMesh::Location* location = data ? mesh->findLocation("CameraPath") : nullptr;
    if (!data || data->values.empty() || !location) {
        theMsg->printf("Data has not been found in %s\n", file);
        return 0;
    }
    const size_t length = std::min<size_t>(static_cast<size_t>(location->nNodes()), data->values.size());
    SoInput in;
    in.setBuffer(data->values.data(), length);
    SoSeparator* root = readScene(in);
    if (!root || !isCameraPath(root)) {
        std::fputs(errorInCameraFile, stderr);
        if (root) root->unref();
        return -1;
    }
    auto* path = new HxKeyframeCameraPath;
    const int taken = path->setCameraPath(root, file);
    root->unref();
    if (taken == -2) {
        deleteInstance(path);
        return 0;
    }
    // The file carries the data object's parameters: they come back with it.
    path->parameters = mesh->parameters;
    path->parameters2 = mesh->parameters2;
    HxData::registerData(path, file);
    return 1;
}

int HxKeyframeCameraPath::saveCreation(FILE* fp, const char* dataDir, unsigned int flags) {
    if (cameras.size() >= 1) return HxData::saveCreation(fp, dataDir, flags);
    return HxObject::saveCreation(fp, dataDir, flags);
}
