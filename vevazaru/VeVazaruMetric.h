// A camera metric: how far apart two cameras are. Held through McHandle; lives
// until its last handle lets go.
#pragma once
#include <mc/McHandable.h>

class SoCamera;

class VeVazaruMetric : public McHandable {
public:
    ~VeVazaruMetric() override;
    // The distance between two cameras: 0 or more, symmetric in a and b.
    virtual float dist(const SoCamera* a, const SoCamera* b) const = 0;
};
