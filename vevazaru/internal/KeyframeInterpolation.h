// The arithmetic of a keyframe camera path on keyframe quantities (positions,
// aim points, up directions, orientations), apart from the cameras that hold
// them: the blend of one segment, the arc-length lookup inside a segment, and
// re-timing by length. HxKeyframeCameraPath reads its keyframe cameras into
// these quantities and places cameras with the results.
#pragma once
#include <Inventor/SbRotation.h>
#include <Inventor/SbVec3f.h>

#include <cmath>

namespace keyframe {

// The quantities of a keyframe: position, aim point, up direction, orientation.
struct KeyState {
    SbVec3f p, a, v;
    SbRotation q;
};

// Which quantities are blended by spline (the others linearly), and whether the
// blended position is moved to the blend of the keyframes' aim distances.
struct Blending {
    bool splinePosition = true;
    bool splineAimPoint = false;
    bool splineUpDir = false;
    bool keepAimDistance = true;
};

// Inline, unlike SbVec3f::length; the same float arithmetic.
inline float norm(const SbVec3f& v) { return std::sqrt(v.dot(v)); }

// The blends are written as x0 plus weighted differences (h00 = 1 - h01), which
// is the same polynomial but gives x0 exactly where nothing changes: keyframes
// that are equal interpolate to exactly themselves, so a segment that does not
// move has a length of exactly 0.
inline SbVec3f hermite(float u, const SbVec3f& x0, const SbVec3f& x1, const SbVec3f& t0, const SbVec3f& t1) {
    const float u2 = u * u, u3 = u2 * u;
    const float h01 = -2 * u3 + 3 * u2;
    const float h10 = u3 - 2 * u2 + u, h11 = u3 - u2;
    return x0 + (x1 - x0) * h01 + t0 * h10 + t1 * h11;
}

inline SbVec3f blend(bool spline, float u, const SbVec3f& x0, const SbVec3f& x1, const SbVec3f& t0, const SbVec3f& t1) {
    return spline ? hermite(u, x0, x1, t0, t1) : x0 + (x1 - x0) * u;
}

// One segment: its two keyframes and the tangents at both.
class Segment {
public:
    // k0 and k1 bound the segment; prev and next2 are the keyframes before k0
    // and after k1, null where the path ends there. The tangents are half the
    // central difference where the neighbour exists, at an open end the whole
    // one-sided difference; only those of spline-blended quantities are formed.
    Segment(const KeyState& k0, const KeyState& k1, const KeyState* prev, const KeyState* next2, const Blending& how);

    // Position, aim point and up direction at local parameter u (0: k0, 1: k1).
    void at(float u, SbVec3f& position, SbVec3f& aim, SbVec3f& up) const {
        up = blend(how.splineUpDir, u, k0.v, k1.v, tv[0], tv[1]);
        aim = blend(how.splineAimPoint, u, k0.a, k1.a, ta[0], ta[1]);
        position = blend(how.splinePosition, u, k0.p, k1.p, tp[0], tp[1]);
        if (how.keepAimDistance) position = atBlendedAimDistance(position, aim, u);
    }
    // The orientation at u, turning at constant speed from k0's to k1's.
    SbRotation orientationAt(float u) const { return SbRotation::slerp(k0.q, k1.q, u); }

private:
    // The position moved along its line from the aim point to the blend of the
    // keyframes' aim distances.
    SbVec3f atBlendedAimDistance(const SbVec3f& position, const SbVec3f& aim, float u) const {
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

    KeyState k0, k1;
    Blending how;
    // Tangents at k0 and at k1 of the quantities blended by spline.
    SbVec3f tp[2], ta[2], tv[2];
    float d0 = 0, d1 = 0;  // distances from position to aim point
};

// The local parameter at which the fraction u of a segment's length is
// reached, by linear interpolation in `arcTable`: the segment's cumulative
// length at local parameters 0, 0.01 ... 1 (101 values). A NaN fraction gives
// 0, a fraction past the end 1.
float arcParameter(const float* arcTable, float u);

// Re-times n keyframes (n >= 3) so that each one's time is proportional to the
// length of the path up to it: lengths[i] is that length for keyframe i (1 <=
// i < n - 1) and `sum` the whole length (positive and finite). The first time
// and the last stay as they are.
void timesByLength(float* times, const float* lengths, int n, float sum);

}  // namespace keyframe
