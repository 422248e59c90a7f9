// Fuzz target: camera paths in data files (.vm, and .brio with its codec and
// compression): the data-file reader, then the package's reader for the
// file's content type as the host picks it, then a flight through the path.
#include <HxCircularCameraPath.h>
#include <HxKeyframeCameraPath.h>
#include <hxcore/HxObjectPool.h>
#include <vornamesh/VornaMesh.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "CameraPathFlight.h"
#include "FuzzHost.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    startQuietHost();
    vornapackage_vevazaru_init();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string error, contentType;
    const std::unique_ptr<VornaMesh> mesh = VornaMesh::read(data, size, "input.vm", error);
    if (mesh && mesh->parameters.getText("ContentType", contentType)) {
        // The content types the package's description names, with their readers.
        const auto before = theObjectPool->objects().size();
        int read = 0;
        if (contentType == "CameraPath")
            read = HxKeyframeCameraPath::readVornaMesh(mesh.get(), "input.vm");
        else if (contentType == "CircularCameraPath")
            read = HxCircularCameraPath::readVornaMesh(mesh.get(), "input.vm");
        if (read == 1 && theObjectPool->objects().size() > before)
            flyThrough(static_cast<VeVazaruPath*>(theObjectPool->objects().back().ptr()));
    }
    forgetMessages();
    return 0;
}
