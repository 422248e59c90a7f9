// Fuzz target: the keyframe path's own file format (.civ), a camera-path scene
// in Inventor text or binary form, read and flown through.
#include <HxKeyframeCameraPath.h>

#include <cstddef>
#include <cstdint>

#include "CameraPathFlight.h"
#include "FuzzHost.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    startQuietHost();
    vornapackage_vevazaru_init();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // As the reader the host calls does it with a file.
    McHandle<HxKeyframeCameraPath> path = new HxKeyframeCameraPath;
    if (path->readBytes(data, size) == 1) {
        HxData::registerData(path, "input.civ");
        flyThrough(path);
    }
    forgetMessages();
    return 0;
}
