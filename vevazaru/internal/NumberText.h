// Numbers in the package's messages and console lines, written as printf's
// "%g" and "%f" write them in the "C" locale, whatever locale the process runs
// in (Qt sets it from the environment, so printf would write "0,5" under some).
#pragma once
#include <charconv>
#include <string>

namespace numbertext {

// As "%g": six significant digits, trailing zeros dropped.
inline std::string general(double value) {
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 6);
    return std::string(buffer, result.ptr);
}

// As "%f": six decimals.
inline std::string fixed(double value) {
    char buffer[512];  // the largest double has 309 digits before the point
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 6);
    return std::string(buffer, result.ptr);
}

}  // namespace numbertext
