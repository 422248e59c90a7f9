#include "VeVazaruMetricOpticalFlow.h"
#include "internal/NumberText.h"

#include <Inventor/SbViewVolume.h>
#include <Inventor/nodes/SoCamera.h>
#include <cmath>
#include <cstdio>

VeVazaruMetricOpticalFlow::VeVazaruMetricOpticalFlow(const float* bounds) {
    for (int i = 0; i < 6; ++i) bbox[i] = bounds[i];
    boxMax.setValue(bbox[1], bbox[3], bbox[5]);
    boxMin.setValue(bbox[0], bbox[2], bbox[4]);
    center = (boxMin + boxMax) * 0.5f;
    for (int i = 0; i < 2; ++i)
        for (int j = 0; j < 2; ++j)
            for (int k = 0; k < 2; ++k) corners[4 * i + 2 * j + k].setValue(bbox[i], bbox[2 + j], bbox[4 + k]);
}

namespace {
// Screen position (x'/w', y'/w') of p as a row vector times m; false when w' is
// 0 or the result is not finite.
bool project(const SbMatrix& m, const SbVec3f& p, float& sx, float& sy) {
    const float x = p[0] * m[0][0] + p[1] * m[1][0] + p[2] * m[2][0] + m[3][0];
    const float y = p[0] * m[0][1] + p[1] * m[1][1] + p[2] * m[2][1] + m[3][1];
    const float w = p[0] * m[0][3] + p[1] * m[1][3] + p[2] * m[2][3] + m[3][3];
    if (w == 0) return false;
    sx = x / w;
    sy = y / w;
    return std::isfinite(sx) && std::isfinite(sy);
}
}  // namespace

float VeVazaruMetricOpticalFlow::dist(const SoCamera* a, const SoCamera* b) const {
    const float d = displacement(a, b);
    std::printf("%s\n", numbertext::fixed(d).c_str());
    return d;
}

float VeVazaruMetricOpticalFlow::displacement(const SoCamera* a, const SoCamera* b) const {
    const SbMatrix ma = a->getViewVolume(0).getMatrix();
    const SbMatrix mb = b->getViewVolume(0).getMatrix();
    double sum = 0;
    int seen = 0;
    for (const SbVec3f& p : corners) {
        float ax, ay, bx, by;
        if (!project(ma, p, ax, ay) || !project(mb, p, bx, by)) continue;
        sum += std::sqrt(double(ax - bx) * (ax - bx) + double(ay - by) * (ay - by));
        ++seen;
    }
    return seen ? static_cast<float>(sum / seen) : 0.0f;
}
