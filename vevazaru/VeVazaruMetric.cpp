#include "VeVazaruMetric.h"

VeVazaruMetric::~VeVazaruMetric() = default;
