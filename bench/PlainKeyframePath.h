// The keyframe interpolation of HxKeyframeCameraPath in plain floats: keyframe
// quantities read once into plain structs, no Inventor calls in the evaluation.
// It is the arithmetic limit the benchmarks compare the package against, so it
// covers only the default settings: open path, position by spline, aim point and
// up direction linear, distance correction on, orientation from the look-at
// frame, translation metric.
#pragma once
#include <algorithm>
#include <cmath>
#include <vector>

namespace plain {

struct Vec3 {
    float x, y, z;
};
inline Vec3 operator+(Vec3 a, Vec3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline Vec3 operator-(Vec3 a, Vec3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline Vec3 operator*(Vec3 a, float s) { return {a.x * s, a.y * s, a.z * s}; }
inline float dot(Vec3 a, Vec3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline float length(Vec3 a) { return std::sqrt(dot(a, a)); }
inline Vec3 cross(Vec3 a, Vec3 b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }

// One keyframe: position, orientation quaternion (x, y, z, w), aim point, up.
struct Key {
    Vec3 p;
    float q[4];
    Vec3 a, v;
};

// What the interpolation writes into a camera.
struct Camera {
    Vec3 position;
    float orientation[4];  // x, y, z, w
    float focalDistance;
};

// The quaternion of the rotation whose rows (row-vector convention) are x, y, z.
inline void quaternionFromRows(Vec3 x, Vec3 y, Vec3 z, float q[4]) {
    const float trace = x.x + y.y + z.z;
    if (trace > 0) {
        const float s = std::sqrt(trace + 1.0f);
        const float r = 0.5f / s;
        q[0] = (y.z - z.y) * r;
        q[1] = (z.x - x.z) * r;
        q[2] = (x.y - y.x) * r;
        q[3] = 0.5f * s;
    } else if (x.x >= y.y && x.x >= z.z) {
        const float s = std::sqrt(1.0f + x.x - y.y - z.z);
        const float r = 0.5f / s;
        q[0] = 0.5f * s;
        q[1] = (x.y + y.x) * r;
        q[2] = (z.x + x.z) * r;
        q[3] = (y.z - z.y) * r;
    } else if (y.y >= z.z) {
        const float s = std::sqrt(1.0f + y.y - x.x - z.z);
        const float r = 0.5f / s;
        q[0] = (x.y + y.x) * r;
        q[1] = 0.5f * s;
        q[2] = (y.z + z.y) * r;
        q[3] = (z.x - x.z) * r;
    } else {
        const float s = std::sqrt(1.0f + z.z - x.x - y.y);
        const float r = 0.5f / s;
        q[0] = (z.x + x.z) * r;
        q[1] = (y.z + z.y) * r;
        q[2] = 0.5f * s;
        q[3] = (x.y - y.x) * r;
    }
}

// The camera at `position` looking at `aim`, with `up` made perpendicular to the
// viewing direction. The benchmark paths never look along their up direction,
// so the degenerate cases are left out.
inline void lookAt(Vec3 position, Vec3 aim, Vec3 up, Camera& out) {
    const Vec3 view = aim - position;
    const float distance = length(view);
    const Vec3 forward = view * (1.0f / distance);
    Vec3 ortho = up - forward * dot(up, forward);
    ortho = ortho * (1.0f / length(ortho));
    const Vec3 back = forward * -1.0f;
    quaternionFromRows(cross(ortho, back), ortho, back, out.orientation);
    out.position = position;
    out.focalDistance = distance;
}

// Blends in the package's form: x0 plus weighted differences.
inline Vec3 hermite(float u, Vec3 x0, Vec3 x1, Vec3 t0, Vec3 t1) {
    const float u2 = u * u, u3 = u2 * u;
    return x0 + (x1 - x0) * (-2 * u3 + 3 * u2) + t0 * (u3 - 2 * u2 + u) + t1 * (u3 - u2);
}

inline Vec3 linear(float u, Vec3 x0, Vec3 x1) { return x0 + (x1 - x0) * u; }

class Path {
public:
    std::vector<Key> keys;
    std::vector<float> times;

    // The camera of segment i at local parameter u.
    void interp(int i, float u, Camera& out) const {
        const int n = static_cast<int>(keys.size());
        const Key& ki = keys[i];
        if (i + 1 >= n) {
            lookAt(ki.p, ki.a, ki.v, out);
            return;
        }
        const Key& kn = keys[i + 1];
        Vec3 t0 = kn.p - ki.p, t1 = t0;
        if (i > 0) t0 = ((ki.p - keys[i - 1].p) + (kn.p - ki.p)) * 0.5f;
        if (i + 2 < n) t1 = ((kn.p - ki.p) + (keys[i + 2].p - kn.p)) * 0.5f;
        const Vec3 up = linear(u, ki.v, kn.v);
        const Vec3 aim = linear(u, ki.a, kn.a);
        Vec3 position = hermite(u, ki.p, kn.p, t0, t1);
        const float di = length(ki.a - ki.p), dn = length(kn.a - kn.p);
        const Vec3 w = position - aim;
        const float len = length(w);
        const float scale = len > 0 ? (di + u * (dn - di)) / len : 1.0f;
        if (scale != 1.0f) position = aim + w * scale;
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
        const float lastTime = times[n - 1];
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
        const float f = lastTime / sum;
        for (int i = 1; i < n - 1; ++i) times[i] = lengths[i] * f;
        times[n - 1] = lastTime;
    }

private:
    float arcTable[101] = {};
    int arcTableSegment = -1;

    void fillPath(int i) {
        Vec3 previous = keys[i].p;
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
};

}  // namespace plain
