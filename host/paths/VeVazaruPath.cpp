#include <paths/VeVazaruPath.h>

MC_ABSTRACT_INIT_CLASS(VeVazaruPath, HxData::getClassTypeId())

VeVazaruPath::VeVazaruPath() = default;
VeVazaruPath::~VeVazaruPath() = default;
