// The optical-flow metric: the mean on-screen displacement, in normalised device
// coordinates, of the eight corners of a fixed box (the scene's bounds).
#pragma once
#include "VeVazaruMetric.h"

#include <Inventor/SbLinear.h>

class VeVazaruMetricOpticalFlow : public VeVazaruMetric {
public:
    // bounds: xmin, xmax, ymin, ymax, zmin, zmax; copied at once.
    explicit VeVazaruMetricOpticalFlow(const float* bounds);

    // Prints the distance on standard output as well ("%f\n"). A corner on a
    // camera's plane (w' = 0) has no screen position; it is left out of the mean
    // (the sum is divided by the number of corners seen finitely by both
    // cameras, and 0 is returned when there is none).
    float dist(const SoCamera* a, const SoCamera* b) const override;
    // The same distance, printing nothing (for callers that sample many pairs).
    float displacement(const SoCamera* a, const SoCamera* b) const;

    const SbVec3f& corner(int i) const { return corners[i]; }
    const SbVec3f& getCenter() const { return center; }

private:
    float bbox[6];
    SbVec3f boxMax;
    SbVec3f boxMin;
    SbVec3f center;
    SbVec3f corners[8];
};
