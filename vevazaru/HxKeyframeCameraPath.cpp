#include "HxKeyframeCameraPath.h"
#include "VeVazaruMetricTranslation.h"

#include <hxcore/HxMessage.h>
#include <viewer/HxController.h>
#include <viewer/HxViewer.h>

#include <Inventor/nodes/SoPerspectiveCamera.h>
#include <QCoreApplication>
#include <cmath>

MC_INIT_CLASS(HxKeyframeCameraPath, VeVazaruPath::getClassTypeId())

namespace {
const HxSaveFormatInfo noSaveFormats[] = {{nullptr, nullptr, nullptr, nullptr, 0}};

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
    setSaveFormats(noSaveFormats);
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
        cameras.insert(i, copy);
    }
    updateInfo(false);
    touch(0xFFFFFFFF);
}

void HxKeyframeCameraPath::removeKeyframe(int index) {
    if (cameras.size() > 0) cameras.remove(index);
    if (times.size() > 0) times.remove(index);
    updateInfo(false);
    touch(0xFFFFFFFF);
}

void HxKeyframeCameraPath::setAimPoint(const SbVec3f& aim, int first, int last) {
    if (last < 0) last = cameras.size() - 1;
    for (int i = first; i <= last; ++i) {
        SbVec3f up;
        UPDIR(cameras[i], up);
        setCamera(cameras[i], cameras[i]->position.getValue(), aim, up);
    }
}

void HxKeyframeCameraPath::setUpDir(const SbVec3f& up, int first, int last) {
    if (last < 0) last = cameras.size() - 1;
    for (int i = first; i <= last; ++i) {
        SbVec3f aim;
        AIMPOINT(cameras[i], aim);
        setCamera(cameras[i], cameras[i]->position.getValue(), aim, up);
    }
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
    if (!portTime.getSource()) portTime.setMinMax(0, getDuration());
    arcTableSegment = -1;
}

// ---------------------------------------------------------------------------
// Interpolation

namespace {
// What the interpolation reads of one keyframe camera.
struct KeyState {
    SbVec3f p, a, v;
    SbRotation q;
};

KeyState readKey(const SoCamera* camera) {
    KeyState k;
    k.p = camera->position.getValue();
    k.q = camera->orientation.getValue();
    VeVazaruPath::AIMPOINT(camera, k.a);
    VeVazaruPath::UPDIR(camera, k.v);
    return k;
}

SbVec3f hermite(float u, const SbVec3f& x0, const SbVec3f& x1, const SbVec3f& t0, const SbVec3f& t1) {
    const float u2 = u * u, u3 = u2 * u;
    const float h00 = 2 * u3 - 3 * u2 + 1, h01 = -2 * u3 + 3 * u2;
    const float h10 = u3 - 2 * u2 + u, h11 = u3 - u2;
    return x0 * h00 + x1 * h01 + t0 * h10 + t1 * h11;
}

SbVec3f blend(int spline, float u, const SbVec3f& x0, const SbVec3f& x1, const SbVec3f& t0, const SbVec3f& t1) {
    return spline ? hermite(u, x0, x1, t0, t1) : x0 * (1 - u) + x1 * u;
}
}  // namespace

void HxKeyframeCameraPath::interp(int i, float u, SoCamera* camera) {
    const int n = cameras.size();
    if (n == 0) return;
    const KeyState ki = readKey(cameras[i]);
    KeyState kn;
    SbVec3f tp[2], ta[2], tv[2];  // tangents at keyframe i and at its successor

    if (closed && n > 2) {
        const int prev = i == 0 ? n - 1 : i - 1;
        const int next = (i + 1) % n, next2 = (i + 2) % n;
        const KeyState kp = readKey(cameras[prev]);
        kn = readKey(cameras[next]);
        const KeyState kn2 = readKey(cameras[next2]);
        tp[0] = ((ki.p - kp.p) + (kn.p - ki.p)) * 0.5f;
        tp[1] = ((kn.p - ki.p) + (kn2.p - kn.p)) * 0.5f;
        ta[0] = ((ki.a - kp.a) + (kn.a - ki.a)) * 0.5f;
        ta[1] = ((kn.a - ki.a) + (kn2.a - kn.a)) * 0.5f;
        tv[0] = ((ki.v - kp.v) + (kn.v - ki.v)) * 0.5f;
        tv[1] = ((kn.v - ki.v) + (kn2.v - kn.v)) * 0.5f;
    } else {
        if (i + 1 >= n) {
            setCamera(camera, ki.p, ki.a, ki.v);
            return;
        }
        kn = readKey(cameras[i + 1]);
        // At an open end the tangent is the whole one-sided difference.
        tp[0] = kn.p - ki.p;
        ta[0] = kn.a - ki.a;
        tv[0] = kn.v - ki.v;
        tp[1] = tp[0];
        ta[1] = ta[0];
        tv[1] = tv[0];
        if (i > 0) {
            const KeyState kp = readKey(cameras[i - 1]);
            tp[0] = ((ki.p - kp.p) + (kn.p - ki.p)) / 2;
            ta[0] = ((ki.a - kp.a) + (kn.a - ki.a)) / 2;
            tv[0] = ((ki.v - kp.v) + (kn.v - ki.v)) / 2;
        }
        if (i + 2 < n) {
            const KeyState kn2 = readKey(cameras[i + 2]);
            tp[1] = ((kn.p - ki.p) + (kn2.p - kn.p)) / 2;
            ta[1] = ((kn.a - ki.a) + (kn2.a - kn.a)) / 2;
            tv[1] = ((kn.v - ki.v) + (kn2.v - kn.v)) / 2;
        }
    }

    const SbVec3f U = blend(splineUpDir, u, ki.v, kn.v, tv[0], tv[1]);
    const SbVec3f A = blend(splineAimPoint, u, ki.a, kn.a, ta[0], ta[1]);
    SbVec3f P = blend(splinePosition, u, ki.p, kn.p, tp[0], tp[1]);

    if (keepAimDistance) {
        const float di = (ki.a - ki.p).length(), dn = (kn.a - kn.p).length();
        SbVec3f w = P - A;
        // Where the blended position meets the blended aim point the direction is
        // taken from the blend of the keyframes' own aim-to-camera directions.
        if (w.length() == 0) w = (ki.p - ki.a) * (1 - u) + (kn.p - kn.a) * u;
        const float len = w.length();
        if (len > 0) P = A + w * (((1 - u) * di + u * dn) / len);
    }

    setCamera(camera, P, A, U);
    if (rotationMode != 0) {
        camera->orientation.setValue(SbRotation::slerp(ki.q, kn.q, u));
        if (rotationMode == 2) {
            SbVec3f up;
            UPDIR(camera, up);
            setCamera(camera, P, A, up);
        }
    }
}

void HxKeyframeCameraPath::fillPath(int i) {
    McHandle<SoCamera> previous = copyOf(cameras[i]);
    McHandle<SoCamera> current = copyOf(cameras[i]);
    arcTable.resize(101);
    float sum = 0;
    for (int k = 0; k <= 100; ++k) {
        interp(i, k / 100.0f, current);
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

void HxKeyframeCameraPath::getCamera(float t, SoCamera& camera) {
    const int n = times.size();
    if (n == 0) return;
    if (n == 1) {
        const KeyState k = readKey(cameras[0]);
        setCamera(&camera, k.p, k.a, k.v);
        return;
    }
    int i;
    float s;
    if (t >= times[n - 1]) {
        i = n - 1;
        s = (t - times[n - 1]) / (times[n - 1] - times[n - 2]);
    } else if (t < times[0] || t < 0) {
        i = 0;
        s = 0;
    } else {
        int k = 1;
        while (!(times[k] > t)) ++k;
        i = k - 1;
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
