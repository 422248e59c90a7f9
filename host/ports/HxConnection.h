// A port that may be connected to a source object (for time ports: a time
// source that drives them). The connection holds no reference; a source that
// goes away disconnects itself.
#pragma once
#include <ports/HxPort.h>

class HxObject;

class HxConnection : public HxPort {
    MC_ABSTRACT_HEADER(HxConnection)

public:
    using HxPort::HxPort;
    ~HxConnection() override;

    HxObject* getSource() const { return source; }
    // Connects to `src` (null disconnects). Returns false when the source refuses.
    virtual bool connect(HxObject* src);
    void disconnect() { connect(nullptr); }

    int parse(Tcl_Interp* interp, int argc, char** argv) override;

private:
    HxObject* source = nullptr;
};
