// Fuzz target: the data-file reader, on any bytes. What it cannot read it
// refuses with a message.
#include <vornamesh/VornaMesh.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzHost.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    startQuietHost();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string error;
    const std::unique_ptr<VornaMesh> mesh = VornaMesh::read(data, size, "input.vm", error);
    if (!mesh && error.empty()) __builtin_trap();  // a refusal without a reason
    return 0;
}
