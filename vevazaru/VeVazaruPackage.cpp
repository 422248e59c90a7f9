// The package's entry points: initialisation and finishing (each once per load)
// and the build record.
#include "VeVazaruBuildRecord.h"

extern "C" {
void mcInitClass_HxKeyframeCameraPath();
void mcExitClass_HxKeyframeCameraPath();
}

namespace {
bool isInitialized = false;
bool isFinished = false;
const char* version = vevazaruBuildRecord;
}  // namespace

extern "C" {

void vornapackage_vevazaru_init() {
    if (isInitialized) return;
    isInitialized = true;
    mcInitClass_HxKeyframeCameraPath();
}

void vornapackage_vevazaru_finish() {
    if (isFinished) return;
    isFinished = true;
    mcExitClass_HxKeyframeCameraPath();
}

const char* vornapackage_vevazaru() {
    // The record's signature prefix is half as long as this marker.
    static const char marker[] = VEVAZARU_RECORD_SIGNATURE VEVAZARU_RECORD_SIGNATURE;
    const unsigned long skip = (sizeof marker - 1) / 2;
    return version + skip;
}

void soconstructor_vevazaru() { vornapackage_vevazaru_init(); }
void sodestructor_vevazaru() { vornapackage_vevazaru_finish(); }

}  // extern "C"
