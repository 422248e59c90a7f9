// A minimal package: entry points, a data class with an editor, one whose editor is missing, an ".hpr" reader.
#include <hxcore/HxData.h>
#include <hxcore/HxEditor.h>

#include <fstream>
#include <string>

class HostProbeData : public HxData {
    MC_HEADER(HostProbeData)
};
MC_INIT_CLASS(HostProbeData, HxData::getClassTypeId())

class HostProbeOrphanData : public HxData {
    MC_HEADER(HostProbeOrphanData)
};
MC_INIT_CLASS(HostProbeOrphanData, HxData::getClassTypeId())

class HostProbeEditor : public HxEditor {
    MC_HEADER(HostProbeEditor)
};
MC_INIT_CLASS(HostProbeEditor, HxEditor::getClassTypeId())

namespace {
int initCalls = 0;
int finishCalls = 0;
}  // namespace

extern "C" {
void vornapackage_hostprobe_init() { ++initCalls; }
void vornapackage_hostprobe_finish() { ++finishCalls; }
const char* vornapackage_hostprobe() { return "|version_tag|hostprobe|version_patch|7"; }

// How often the loader called the entry points.
int hostprobe_init_calls() { return initCalls; }
int hostprobe_finish_calls() { return finishCalls; }

// Reads a ".hpr" file: one whose first line is "bad" is refused (0); any other
// becomes a HostProbeData object named after the file (1).
int hostprobe_read(const char* file) {
    std::ifstream in(file);
    std::string firstLine;
    std::getline(in, firstLine);
    if (firstLine == "bad") return 0;
    HostProbeData* data = HostProbeData::createInstance();
    data->setLoadCmd(file, false);
    HxData::registerData(data, file);
    return 1;
}
}
