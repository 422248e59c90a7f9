// The keyframe interpolation of HxKeyframeCameraPath without cameras: keyframe
// quantities read once into plain structs and the package's own interpolation
// arithmetic (internal/KeyframeInterpolation.h) applied to them, with no
// Inventor fields read or written. It is the arithmetic limit the benchmarks
// compare the package against, so it covers only the default settings: open
// path, position by spline, aim point and up direction linear, distance
// correction on, orientation from the look-at frame, translation metric.
#pragma once
#include <internal/KeyframeInterpolation.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <vector>

namespace plain {

// Inline, unlike SbVec3f's own, which are library calls.
inline float length(const SbVec3f& a) { return std::sqrt(a.dot(a)); }
inline SbVec3f cross(const SbVec3f& a, const SbVec3f& b) {
    return SbVec3f(a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]);
}

// What the interpolation writes into a camera.
struct Camera {
    SbVec3f position;
    float orientation[4];  // x, y, z, w
    float focalDistance;
};

// The quaternion of the rotation whose rows (row-vector convention) are x, y, z.
inline void quaternionFromRows(const SbVec3f& x, const SbVec3f& y, const SbVec3f& z, float q[4]) {
    const float trace = x[0] + y[1] + z[2];
    if (trace > 0) {
        const float s = std::sqrt(trace + 1.0f);
        const float r = 0.5f / s;
        q[0] = (y[2] - z[1]) * r;
        q[1] = (z[0] - x[2]) * r;
        q[2] = (x[1] - y[0]) * r;
        q[3] = 0.5f * s;
    } else if (x[0] >= y[1] && x[0] >= z[2]) {
        const float s = std::sqrt(1.0f + x[0] - y[1] - z[2]);
        const float r = 0.5f / s;
        q[0] = 0.5f * s;
        q[1] = (x[1] + y[0]) * r;
        q[2] = (z[0] + x[2]) * r;
        q[3] = (y[2] - z[1]) * r;
    } else if (y[1] >= z[2]) {
        const float s = std::sqrt(1.0f + y[1] - x[0] - z[2]);
        const float r = 0.5f / s;
        q[0] = (x[1] + y[0]) * r;
        q[1] = 0.5f * s;
        q[2] = (y[2] + z[1]) * r;
        q[3] = (z[0] - x[2]) * r;
    } else {
        const float s = std::sqrt(1.0f + z[2] - x[0] - y[1]);
        const float r = 0.5f / s;
        q[0] = (z[0] + x[2]) * r;
        q[1] = (y[2] + z[1]) * r;
        q[2] = 0.5f * s;
        q[3] = (x[1] - y[0]) * r;
    }
}

// The camera at `position` looking at `aim`, with `up` made perpendicular to the
// viewing direction. The benchmark paths never look along their up direction,
// so the degenerate cases are left out.
inline void lookAt(const SbVec3f& position, const SbVec3f& aim, const SbVec3f& up, Camera& out) {
    const SbVec3f view = aim - position;
    const float distance = length(view);
    const SbVec3f forward = view * (1.0f / distance);
    SbVec3f ortho = up - forward * up.dot(forward);
    ortho = ortho * (1.0f / length(ortho));
    const SbVec3f back = -forward;
    quaternionFromRows(cross(ortho, back), ortho, back, out.orientation);
    out.position = position;
    out.focalDistance = distance;
}

class Path {
public:
    std::vector<keyframe::KeyState> keys;
    std::vector<float> times;

    // The camera of segment i at local parameter u.
    void interp(int i, float u, Camera& out) const {
        const int n = static_cast<int>(keys.size());
        const keyframe::KeyState& ki = keys[i];
        if (i + 1 >= n) {
            lookAt(ki.p, ki.a, ki.v, out);
            return;
        }
        keyframe::Blending defaults;  // a new path's settings
        defaults.splinePosition = true;
        defaults.splineAimPoint = false;
        defaults.splineUpDir = false;
        defaults.keepAimDistance = true;
        const keyframe::Segment segment(ki, keys[i + 1], i > 0 ? &keys[i - 1] : nullptr,
                                        i + 2 < n ? &keys[i + 2] : nullptr, defaults);
        SbVec3f position, aim, up;
        segment.at(u, position, aim, up);
        lookAt(position, aim, up, out);
    }

    // The camera at time t, at constant speed inside each segment.
    void getCamera(float t, Camera& out) {
        const int n = static_cast<int>(times.size());
        if (n == 0) return;
        if (n == 1) {
            lookAt(keys[0].p, keys[0].a, keys[0].v, out);
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
            i = static_cast<int>(std::upper_bound(times.begin() + 1, times.end(), t) - times.begin()) - 1;
            s = (t - times[i]) / (times[i + 1] - times[i]);
        }
        interp(i, realTime(i, s), out);
    }

    // Re-times the keyframes by the lengths of their segments (10 chords each).
    void makeConstVelocity() {
        const int n = static_cast<int>(times.size());
        if (n < 3) return;
        std::vector<float> lengths(n);
        float sum = 0;
        Camera previous, current;
        for (int i = 0; i < n - 1; ++i) {
            interp(i, 0, previous);
            for (int k = 1; k <= 10; ++k) {
                interp(i, k / 10.0f, current);
                sum += length(current.position - previous.position);
                previous = current;
            }
            lengths[i + 1] = sum;
        }
        if (!(sum > 0)) return;
        keyframe::timesByLength(times.data(), lengths.data(), n, sum);
    }

private:
    // Each segment's arc-length table, filled at its first use and kept, as
    // the package keeps them (its keyframes never change here).
    std::vector<float> arcTables;
    std::vector<char> arcTableFilled;

    void fillPath(int i, float* arcTable) const {
        SbVec3f previous = keys[i].p;
        float sum = 0;
        Camera current;
        for (int k = 0; k <= 100; ++k) {
            interp(i, k / 100.0f, current);
            sum += length(current.position - previous);
            previous = current.position;
            arcTable[k] = sum;
        }
    }

    float realTime(int i, float u) {
        if (i < 0) return 0;
        const std::size_t segment = static_cast<std::size_t>(i);
        if (arcTableFilled.size() <= segment) {
            arcTableFilled.resize(keys.size(), 0);
            arcTables.resize(keys.size() * 101);
        }
        float* arcTable = &arcTables[segment * 101];
        if (!arcTableFilled[segment]) {
            fillPath(i, arcTable);
            arcTableFilled[segment] = 1;
        }
        return keyframe::arcParameter(arcTable, u);
    }
};

}  // namespace plain
