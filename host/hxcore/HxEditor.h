// Base of editors: an editor is attached to one data object at a time and holds
// a counted reference to it while attached.
#pragma once
#include <hxcore/HxObject.h>
#include <mc/McHandle.h>

class HxData;

class HxEditor : public HxObject {
    MC_ABSTRACT_HEADER(HxEditor)

public:
    HxEditor();
    ~HxEditor() override;

    // Attaches to `data` (ending any earlier editing first), then startEditing().
    // An editor in the object pool announces each start and end to the pool's observers.
    void attach(HxData* data);
    // Ends editing: stopEditing(), then releases the data object. Safe to repeat.
    void detach();
    HxData* getData() const { return editedData; }
    bool isAttached() const { return editedData != nullptr; }

    int parse(Tcl_Interp* interp, int argc, char** argv) override;

protected:
    virtual void startEditing(HxData*) {}
    virtual void stopEditing() {}

private:
    McHandle<HxData> editedData;
};
