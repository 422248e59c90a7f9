#include "VeVazaruMetricTranslation.h"

#include <Inventor/nodes/SoCamera.h>
#include <cmath>

float VeVazaruMetricTranslation::dist(const SoCamera* a, const SoCamera* b) const {
    const SbVec3f& pa = a->position.getValue();
    const SbVec3f& pb = b->position.getValue();
    const float dx = pa[0] - pb[0], dy = pa[1] - pb[1], dz = pa[2] - pb[2];
    return std::sqrt(dx * dx + dy * dy + dz * dz);
}
