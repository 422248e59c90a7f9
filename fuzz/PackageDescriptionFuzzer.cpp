// Fuzz target: the package description, a script run in a safe interpreter
// under a time limit, on any text.
#include <hxcore/HxPackageDescription.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <tcl.h>

#include "FuzzHost.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    startQuietHost();
    // Short, so that the fuzzer spends its time elsewhere than in endless loops.
    HxPackageDescription::setTimeLimit(100);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The file's bytes as the host's read() hands them on: in Tcl's own UTF-8.
    Tcl_DString text;
    Tcl_ExternalToUtfDString(nullptr, reinterpret_cast<const char*>(data), static_cast<int>(size), &text);
    HxPackageDescription description;
    std::string error;
    const std::string utf8(Tcl_DStringValue(&text), static_cast<std::size_t>(Tcl_DStringLength(&text)));
    Tcl_DStringFree(&text);
    if (!description.parse(utf8, "input.rc", error) && error.empty()) __builtin_trap();  // a refusal without a reason
    return 0;
}
