// Fuzz target: what this process does with a mesh file itself. The import
// library reads it in a child process of its own (a crash there refuses the
// file), so what is left here is building the nodes from the child's result,
// which takes the bytes as such a result, and finding a file's format by its
// content, which takes them as a file. The seeds are a few meshes and the
// results of reading them.
#include <mc/McHandle.h>
#include <scene/HxMeshImport.h>

#include <Inventor/nodes/SoSeparator.h>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "FuzzHost.h"

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
    // A result as the child leaves it: in memory aligned for its words.
    std::vector<std::uint32_t> result(size / sizeof(std::uint32_t) + 1);
    if (size > 0) std::memcpy(result.data(), data, size);
    std::string error;
    McHandle<SoSeparator> scene = HxMeshImport::buildScene(result.data(), size, "input", error);
    if (!scene && error.empty()) __builtin_trap();  // a refusal without a reason

    const std::string file = folder + "/input";
    std::FILE* out = std::fopen(file.c_str(), "wb");
    if (!out || std::fwrite(data, 1, size, out) != size || std::fclose(out) != 0) std::abort();
    HxMeshImport::contentFormat(file.c_str());
    std::remove(file.c_str());
    return 0;
}
