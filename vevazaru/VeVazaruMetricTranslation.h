// The translation metric: the distance between the two camera positions (scene units).
#pragma once
#include "VeVazaruMetric.h"

class VeVazaruMetricTranslation : public VeVazaruMetric {
public:
    float dist(const SoCamera* a, const SoCamera* b) const override;
};
