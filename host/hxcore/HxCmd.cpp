#include <hxcore/HxCmd.h>
#include <hxcore/HxMessage.h>

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <tcl.h>

namespace {
// Description of the command cmdCheck() matched last, for "obj cmd help".
std::string& lastDescription() {
    static std::string text;
    return text;
}

std::string recordedNames() {
    std::string names;
    for (const CmdInfo& info : getCmdInfo()) {
        if (info.name.empty()) continue;
        if (!names.empty()) names += ' ';
        names += info.name;
    }
    return names;
}
}  // namespace

McDArray<CmdInfo>& getCmdInfo() {
    static McDArray<CmdInfo> list;
    return list;
}

bool cmdCheck(const char* word, const char* name, const char* description) {
    if (!word || !name) return false;
    if (std::strcmp(word, "help") == 0) {
        getCmdInfo().append(CmdInfo{name, description ? description : ""});
        return false;
    }
    if (std::strcmp(word, name) != 0) return false;
    lastDescription() = description ? description : "";
    return true;
}

int cmdHelp(Tcl_Interp* interp, const char* word, bool countFits, int argc, char** argv) {
    if (argc > 2 && std::strcmp(argv[2], "help") == 0) {
        Tcl_VaSetResult(interp, "%s: %s", word, lastDescription().c_str());
        return TCL_OK;
    }
    if (!countFits) {
        theMsg->printf("%s %s: wrong number of arguments", argc > 0 ? argv[0] : "", word);
        Tcl_VaSetResult(interp, "%s %s: wrong number of arguments", argc > 0 ? argv[0] : "", word);
        return TCL_ERROR;
    }
    return 4;
}

int CmdInfo::usage(Tcl_Interp* interp, const char* word) {
    std::string names = recordedNames();
    if (!word || std::strcmp(word, "help") == 0) {
        Tcl_SetObjResult(interp, Tcl_NewStringObj(names.c_str(), -1));
        return TCL_OK;
    }
    Tcl_VaSetResult(interp, "unknown command \"%s\"", word);
    return TCL_ERROR;
}

void Tcl_VaSetResult(Tcl_Interp* interp, const char* format, ...) {
    va_list args, copy;
    va_start(args, format);
    va_copy(copy, args);
    int n = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::string text(n > 0 ? static_cast<std::size_t>(n) : 0, '\0');
    if (n > 0) std::vsnprintf(text.data(), text.size() + 1, format, args);
    va_end(args);
    Tcl_SetObjResult(interp, Tcl_NewStringObj(text.c_str(), static_cast<int>(text.size())));
}

int cmdFail(Tcl_Interp* interp, const std::string& message) {
    Tcl_SetObjResult(interp, Tcl_NewStringObj(message.c_str(), static_cast<int>(message.size())));
    return TCL_ERROR;
}

int cmdTextResult(Tcl_Interp* interp, const std::string& text) {
    Tcl_SetObjResult(interp, Tcl_NewStringObj(text.c_str(), static_cast<int>(text.size())));
    return TCL_OK;
}

namespace {
// Where the digits of a word start: after one '+', which from_chars does not
// take (a '-' it does).
const char* afterPlus(const char* begin, const char* end) {
    return end - begin > 1 && *begin == '+' && begin[1] != '-' && begin[1] != '+' ? begin + 1 : begin;
}

bool readsBackAs(const char* begin, const char* end, float value) {
    float back = 0;
    const std::from_chars_result read = std::from_chars(begin, end, back);
    return read.ec == std::errc() && read.ptr == end && back == value;
}

// from_chars in the given format; a number too small for a float reads as zero,
// as a conversion from double gives.
std::from_chars_result readFloat(const char* begin, const char* end, float& value, std::chars_format format) {
    std::from_chars_result read = std::from_chars(begin, end, value, format);
    if (read.ec != std::errc::result_out_of_range) return read;
    double wide = 0;
    const std::from_chars_result again = std::from_chars(begin, end, wide, format);
    if (again.ec == std::errc() && std::fabs(wide) < 1) {
        value = static_cast<float>(wide);
        return again;
    }
    return read;
}
}  // namespace

std::from_chars_result cmdReadFloat(const char* begin, const char* end, float& value) {
    const char* start = afterPlus(begin, end);
    // Hexadecimal ("0x1.8p1", "-0x10"), as strtod reads it too.
    const bool negative = start != end && *start == '-';
    const char* hex = start + (negative ? 1 : 0);
    if (end - hex > 2 && hex[0] == '0' && (hex[1] == 'x' || hex[1] == 'X') && hex[2] != '-' && hex[2] != '+') {
        float magnitude = 0;
        const std::from_chars_result read = readFloat(hex + 2, end, magnitude, std::chars_format::hex);
        if (read.ec != std::errc::invalid_argument) {
            if (read.ec == std::errc()) value = negative ? -magnitude : magnitude;
            return read;
        }
    }
    std::from_chars_result read = readFloat(start, end, value, std::chars_format::general);
    if (read.ec == std::errc::invalid_argument) read.ptr = begin;
    return read;
}

bool parseLong(const char* word, long& value) {
    if (!word || !*word) return false;
    const char* end = word + std::strlen(word);
    long v = 0;
    const std::from_chars_result read = std::from_chars(afterPlus(word, end), end, v);
    if (read.ec != std::errc() || read.ptr != end) return false;
    value = v;
    return true;
}

bool parseFloat(const char* word, float& value) {
    if (!word || !*word) return false;
    const char* end = word + std::strlen(word);
    float v = 0;
    const std::from_chars_result read = cmdReadFloat(word, end, v);
    if (read.ec != std::errc() || read.ptr != end || !std::isfinite(v)) return false;
    value = v;
    return true;
}

std::string cmdFloatText(float value) {
    char text[32];
    std::to_chars_result written{text, std::errc()};
    for (int digits = 6; digits <= 9; ++digits) {
        written = std::to_chars(text, text + sizeof text, value, std::chars_format::general, digits);
        if (readsBackAs(text, written.ptr, value)) break;
    }
    return std::string(text, written.ptr);
}

std::string cmdFixedText(float value) {
    // Room for the largest float in full (39 digits) with its six decimals.
    char text[64];
    std::to_chars_result written = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, 6);
    if (!readsBackAs(text, written.ptr, value))
        written = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed);
    return std::string(text, written.ptr);
}
