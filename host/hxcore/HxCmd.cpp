#include <hxcore/HxCmd.h>
#include <hxcore/HxMessage.h>

#include <cerrno>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
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

bool parseLong(const char* word, long& value) {
    if (!word || !*word) return false;
    char* end = nullptr;
    errno = 0;
    long v = std::strtol(word, &end, 10);
    if (errno || *end) return false;
    value = v;
    return true;
}

bool parseFloat(const char* word, float& value) {
    if (!word || !*word) return false;
    char* end = nullptr;
    errno = 0;
    double v = std::strtod(word, &end);
    if (errno || *end || !std::isfinite(v) || std::fabs(v) > 3.4e38) return false;
    value = static_cast<float>(v);
    return true;
}

std::string cmdFloatText(float value) {
    char text[32];
    for (int digits = 6; digits <= 9; ++digits) {
        std::snprintf(text, sizeof text, "%.*g", digits, static_cast<double>(value));
        if (std::strtof(text, nullptr) == value) break;
    }
    return text;
}
