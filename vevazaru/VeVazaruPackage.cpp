// The package's entry points: initialisation and finishing (each once per load),
// the build record, and the file readers the package description names.
#include "HxCircularCameraPath.h"
#include "HxKeyframeCameraPath.h"
#include "VeVazaruBuildRecord.h"

extern "C" {
void mcInitClass_HxPortTimeSlider();
void mcExitClass_HxPortTimeSlider();
void mcInitClass_HxPortPlayerButtons();
void mcExitClass_HxPortPlayerButtons();
void mcInitClass_HxKeyframeCameraPathEditor();
void mcExitClass_HxKeyframeCameraPathEditor();
void mcInitClass_HxKeyframeCameraPath();
void mcExitClass_HxKeyframeCameraPath();
void mcInitClass_HxCircularCameraPath();
void mcExitClass_HxCircularCameraPath();
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
    mcInitClass_HxPortTimeSlider();
    mcInitClass_HxPortPlayerButtons();
    mcInitClass_HxKeyframeCameraPathEditor();
    mcInitClass_HxKeyframeCameraPath();
    mcInitClass_HxCircularCameraPath();
}

void vornapackage_vevazaru_finish() {
    if (isFinished) return;
    isFinished = true;
    mcExitClass_HxCircularCameraPath();
    mcExitClass_HxKeyframeCameraPath();
    mcExitClass_HxKeyframeCameraPathEditor();
    mcExitClass_HxPortPlayerButtons();
    mcExitClass_HxPortTimeSlider();
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

// Readers named in the package description; the host looks them up by name.
extern "C" {
int vevazaru_readInventor(const char* file) { return HxKeyframeCameraPath::readInventor(file); }
int vevazaru_readCameraPathMesh(VornaMesh* mesh, const char* file) {
    return HxKeyframeCameraPath::readVornaMesh(mesh, file);
}
int vevazaru_readCircularCameraPath(VornaMesh* mesh, const char* file) {
    return HxCircularCameraPath::readVornaMesh(mesh, file);
}
}
