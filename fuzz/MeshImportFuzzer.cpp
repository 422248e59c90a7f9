// Fuzz target: the mesh reader (the import library and our conversion to
// Inventor nodes), on any bytes. The first byte chooses the file's extension
// among the common formats, or none, so that the format is found by content;
// the rest is the file. What cannot be read is refused with a reason.
#include <mc/McHandle.h>
#include <scene/HxMeshImport.h>

#include <Inventor/nodes/SoSeparator.h>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "FuzzHost.h"
#include "MeshImportFormats.h"

namespace {
std::string folder;
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    startQuietHost();
    char pattern[] = "/tmp/vorna-fuzz-mesh-XXXXXX";
    if (!mkdtemp(pattern)) std::abort();
    folder = pattern;
    std::atexit([] { std::filesystem::remove_all(folder); });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::string file = folder + "/input" + meshImportExtensions[data[0] % meshImportExtensionCount];
    std::FILE* out = std::fopen(file.c_str(), "wb");
    if (!out || std::fwrite(data + 1, 1, size - 1, out) != size - 1 || std::fclose(out) != 0) std::abort();
    std::string error;
    McHandle<SoSeparator> scene = HxMeshImport::readFile(file.c_str(), error);
    std::remove(file.c_str());
    if (!scene && error.empty()) __builtin_trap();  // a refusal without a reason
    return 0;
}
