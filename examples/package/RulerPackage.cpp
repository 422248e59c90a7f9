// The entry points the host calls when it loads the package: initialisation and
// finishing (each once per load) and the build record.
#include "HxRuler.h"

extern "C" {

void vornapackage_ruler_init() { HxRuler::initClass(); }

void vornapackage_ruler_finish() { HxRuler::exitClass(); }

const char* vornapackage_ruler() { return "|version_tag|ruler|product|ruler|version_patch|0"; }

}  // extern "C"
