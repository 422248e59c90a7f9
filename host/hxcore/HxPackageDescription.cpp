#include <hxcore/HxPackageDescription.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <tcl.h>

namespace {
// Reads "-option value" pairs after the leading words; false on an unknown option.
bool readOptions(Tcl_Interp* interp, int first, int argc, const char** argv,
                 std::initializer_list<std::pair<const char*, std::string*>> options) {
    if ((argc - first) % 2 != 0) {
        Tcl_AppendResult(interp, argv[0], ": options come in pairs", nullptr);
        return false;
    }
    for (int i = first; i < argc; i += 2) {
        bool known = false;
        for (const auto& [name, target] : options) {
            if (std::strcmp(argv[i], name) == 0) {
                *target = argv[i + 1];
                known = true;
            }
        }
        if (!known) {
            Tcl_AppendResult(interp, argv[0], ": unknown option \"", argv[i], "\"", nullptr);
            return false;
        }
    }
    return true;
}

int dataClassCmd(ClientData data, Tcl_Interp* interp, int argc, const char** argv) {
    auto* d = static_cast<HxPackageDescription*>(data);
    if (argc < 2) {
        Tcl_AppendResult(interp, "usage: dataClass Name -label text [-category text] [-create 0|1]", nullptr);
        return TCL_ERROR;
    }
    HxPackageDescription::DataClass entry;
    entry.name = argv[1];
    std::string create = "1";
    if (!readOptions(interp, 2, argc, argv,
                     {{"-label", &entry.label}, {"-category", &entry.category}, {"-create", &create}}))
        return TCL_ERROR;
    entry.userCreatable = create != "0";
    if (entry.label.empty()) entry.label = entry.name;
    d->dataClasses.push_back(entry);
    return TCL_OK;
}

int editorCmd(ClientData data, Tcl_Interp* interp, int argc, const char** argv) {
    auto* d = static_cast<HxPackageDescription*>(data);
    HxPackageDescription::Editor entry;
    if (argc != 4) {
        Tcl_AppendResult(interp, "usage: editor EditorClass -edits DataClass", nullptr);
        return TCL_ERROR;
    }
    entry.editorClass = argv[1];
    if (!readOptions(interp, 2, argc, argv, {{"-edits", &entry.dataClass}})) return TCL_ERROR;
    d->editors.push_back(entry);
    return TCL_OK;
}

int readerCmd(ClientData data, Tcl_Interp* interp, int argc, const char** argv) {
    auto* d = static_cast<HxPackageDescription*>(data);
    HxPackageDescription::Reader entry;
    if (!readOptions(interp, 1, argc, argv,
                     {{"-extension", &entry.extension}, {"-format", &entry.formatName}, {"-symbol", &entry.symbol}}))
        return TCL_ERROR;
    if (entry.extension.empty() || entry.symbol.empty()) {
        Tcl_AppendResult(interp, "reader: -extension and -symbol are required", nullptr);
        return TCL_ERROR;
    }
    d->readers.push_back(entry);
    return TCL_OK;
}
int contentReaderCmd(ClientData data, Tcl_Interp* interp, int argc, const char** argv) {
    auto* d = static_cast<HxPackageDescription*>(data);
    HxPackageDescription::ContentReader entry;
    if (!readOptions(interp, 1, argc, argv, {{"-contentType", &entry.contentType}, {"-symbol", &entry.symbol}}))
        return TCL_ERROR;
    if (entry.contentType.empty() || entry.symbol.empty()) {
        Tcl_AppendResult(interp, "contentReader: -contentType and -symbol are required", nullptr);
        return TCL_ERROR;
    }
    d->contentReaders.push_back(entry);
    return TCL_OK;
}

int timeLimitMs = 2000;
}  // namespace

void HxPackageDescription::setTimeLimit(int milliseconds) { timeLimitMs = std::max(1, milliseconds); }

int HxPackageDescription::timeLimit() { return timeLimitMs; }

bool HxPackageDescription::read(const std::string& file, std::string& error) {
    // A safe interpreter cannot open files itself: read the text here.
    Tcl_Channel channel = Tcl_OpenFileChannel(nullptr, file.c_str(), "r", 0);
    if (!channel) {
        error = "cannot open package description \"" + file + "\"";
        return false;
    }
    Tcl_Obj* text = Tcl_NewObj();
    Tcl_IncrRefCount(text);
    Tcl_ReadChars(channel, text, -1, 0);
    Tcl_Close(nullptr, channel);
    int length = 0;
    const char* bytes = Tcl_GetStringFromObj(text, &length);
    const bool ok = parse(std::string(bytes, static_cast<std::size_t>(length)), file, error);
    Tcl_DecrRefCount(text);
    return ok;
}

bool HxPackageDescription::parse(const std::string& text, const std::string& source, std::string& error) {
    HxPackageDescription parsed;
    Tcl_Interp* interp = Tcl_CreateInterp();
    Tcl_MakeSafe(interp);
    Tcl_CreateCommand(interp, "dataClass", dataClassCmd, &parsed, nullptr);
    Tcl_CreateCommand(interp, "editor", editorCmd, &parsed, nullptr);
    Tcl_CreateCommand(interp, "reader", readerCmd, &parsed, nullptr);
    Tcl_CreateCommand(interp, "contentReader", contentReaderCmd, &parsed, nullptr);
    // Past the limit every command fails, and no catch in the script can stop that.
    Tcl_Time deadline;
    Tcl_GetTime(&deadline);
    deadline.sec += timeLimitMs / 1000;
    deadline.usec += (timeLimitMs % 1000) * 1000;
    if (deadline.usec >= 1000000) {
        deadline.sec += 1;
        deadline.usec -= 1000000;
    }
    Tcl_LimitSetTime(interp, &deadline);
    Tcl_LimitTypeSet(interp, TCL_LIMIT_TIME);

    Tcl_Obj* script = Tcl_NewStringObj(text.data(), static_cast<int>(std::min<std::size_t>(text.size(), INT_MAX)));
    Tcl_IncrRefCount(script);
    const bool ok = Tcl_EvalObjEx(interp, script, 0) == TCL_OK;
    Tcl_DecrRefCount(script);
    // A child interpreter the script made stops at the same time with an error
    // of its own: the clock tells that case too.
    Tcl_Time now;
    Tcl_GetTime(&now);
    const bool late = now.sec > deadline.sec || (now.sec == deadline.sec && now.usec >= deadline.usec);
    if (!ok && (Tcl_LimitExceeded(interp) || late))
        error = "package description \"" + source + "\": stopped after running for " + std::to_string(timeLimitMs) +
                " ms (an endless loop?)";
    else if (!ok)
        error = "package description \"" + source + "\": " + Tcl_GetStringResult(interp);
    Tcl_DeleteInterp(interp);
    if (ok) *this = std::move(parsed);
    return ok;
}

const HxPackageDescription::DataClass* HxPackageDescription::findClass(const std::string& name) const {
    for (const auto& c : dataClasses)
        if (c.name == name) return &c;
    return nullptr;
}

const HxPackageDescription::Editor* HxPackageDescription::findEditorFor(const std::string& dataClass) const {
    for (const auto& e : editors)
        if (e.dataClass == dataClass) return &e;
    return nullptr;
}

const HxPackageDescription::Reader* HxPackageDescription::findReader(const std::string& extension) const {
    for (const auto& r : readers)
        if (r.extension == extension) return &r;
    return nullptr;
}

const HxPackageDescription::ContentReader* HxPackageDescription::findContentReader(
    const std::string& contentType) const {
    for (const auto& r : contentReaders)
        if (r.contentType == contentType) return &r;
    return nullptr;
}
