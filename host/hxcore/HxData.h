// A data object: the save formats it offers and how the host reloads it.
#pragma once
#include <hxcore/HxObject.h>
#include <vornamesh/HxParamBundle.h>

class HxData;

// One save format. A table of these ends with an entry whose name is null.
struct HxSaveFormatInfo {
    using Writer = int (HxData::*)(const char* file);
    const char* name;       // shown to users, e.g. "Camerapath Inventor"
    const char* extension;  // without the dot
    Writer writer;          // returns non-zero on success
    Writer second;          // unused by the host; kept empty
    int flag;               // 1: the format may be used for saved networks
};

class HxData : public HxObject {
    MC_ABSTRACT_HEADER(HxData)

public:
    HxData();
    ~HxData() override;

    // Adds a new data object to the object pool under a name derived from `name`
    // (a file name loses its folder and extension). The pool takes a reference.
    static void registerData(HxData* data, const char* name);

    // Records the command that reloads the object (normally the file it came
    // from); `isScript` says whether it is a whole Tcl command.
    void setLoadCmd(const char* command, bool isScript);
    const std::string& getLoadCmd() const { return loadCmd; }

    // Saves the data into `dataDir` (as <name>.<extension>, through the first
    // save format flagged for networks, else the first one) and writes the line
    // that loads it back under the same name. Returns 0 on success.
    int saveCreation(FILE* fp, const char* dataDir, unsigned int flags) override;

    // The object's parameters and a second bundle; data files store both.
    HxParamBundle parameters;
    HxParamBundle parameters2;

    const HxSaveFormatInfo* saveFormats() const { return saveFormatTable; }
    // Saves through the format of that name; returns the writer's result, or 0 with
    // a console message when the format is unknown.
    int saveAs(const char* formatName, const char* file);

    int parse(Tcl_Interp* interp, int argc, char** argv) override;

protected:
    void setSaveFormats(const HxSaveFormatInfo* table) { saveFormatTable = table; }

private:
    const HxSaveFormatInfo* saveFormatTable = nullptr;
    std::string loadCmd;
    bool loadCmdIsScript = false;
};
