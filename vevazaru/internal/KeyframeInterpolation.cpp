#include "KeyframeInterpolation.h"

#include <cmath>

namespace keyframe {

namespace {
// The Catmull-Rom tangent at x between its neighbours.
SbVec3f centralTangent(const SbVec3f& prev, const SbVec3f& x, const SbVec3f& next) {
    return ((x - prev) + (next - x)) * 0.5f;
}

// The tangents of one quantity at the segment's ends.
void endTangents(SbVec3f KeyState::*x, const KeyState* prev, const KeyState& k0, const KeyState& k1,
                 const KeyState* next2, SbVec3f t[2]) {
    const SbVec3f &x0 = k0.*x, &x1 = k1.*x;
    t[0] = prev ? centralTangent(prev->*x, x0, x1) : x1 - x0;
    t[1] = next2 ? centralTangent(x0, x1, next2->*x) : x1 - x0;
}
}  // namespace

Segment::Segment(const KeyState& first, const KeyState& second, const KeyState* prev, const KeyState* next2,
                 const Blending& blending)
    : k0(first), k1(second), how(blending) {
    d0 = norm(k0.a - k0.p);
    d1 = norm(k1.a - k1.p);
    if (how.splinePosition) endTangents(&KeyState::p, prev, k0, k1, next2, tp);
    if (how.splineAimPoint) endTangents(&KeyState::a, prev, k0, k1, next2, ta);
    if (how.splineUpDir) endTangents(&KeyState::v, prev, k0, k1, next2, tv);
}

float arcParameter(const float* arcTable, float u) {
    const float target = u * arcTable[100];
    int k = 0;
    if (!std::isnan(target)) {
        while (k <= 100 && !(arcTable[k] >= target)) ++k;
        if (k > 100) return 1;
    }
    if (k == 0) return 0;
    return ((k - 1) + (target - arcTable[k - 1]) / (arcTable[k] - arcTable[k - 1])) / 100;
}

void timesByLength(float* times, const float* lengths, int n, float sum) {
    const float lastTime = times[n - 1];
    const float f = lastTime / sum;
    for (int i = 1; i < n - 1; ++i) times[i] = lengths[i] * f;
    times[n - 1] = lastTime;  // the last time is kept exactly, not recomputed
}

}  // namespace keyframe
