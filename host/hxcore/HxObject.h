// A host object that users see in the object pool: info text and saved-network lines.
#pragma once
#include <hxcore/HxBase.h>

#include <cstdio>

class HxObject : public HxBase {
    MC_ABSTRACT_HEADER(HxObject)

public:
    HxObject();
    ~HxObject() override;

    // Composes the info text through infoTag(); the default shows the type name.
    virtual void info();
    // Recomputes the info text; with printNow it also goes to the console.
    void updateInfo(bool printNow);
    // Sets the info text to "label text".
    void infoTag(const QString& label, const QString& text);
    const std::string& getInfoText() const { return infoText; }

    // Writes the script lines that re-create the object (by type and name) into a
    // saved network. Returns 0 on success, non-zero when a write failed.
    virtual int saveCreation(FILE* fp, const char* dataDir, unsigned int flags);
    // Writes one "name port setValue v" line per port that has a value (the
    // port chooses the command word), each followed by "name fire" when the port
    // fires on network save.
    virtual void savePorts(FILE* fp);

    virtual HxObject* duplicate() const { return nullptr; }

    int parse(Tcl_Interp* interp, int argc, char** argv) override;

private:
    std::string infoText;
};
