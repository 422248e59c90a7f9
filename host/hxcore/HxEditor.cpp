#include <hxcore/HxCmd.h>
#include <hxcore/HxData.h>
#include <hxcore/HxEditor.h>
#include <hxcore/HxObjectPool.h>

#include <tcl.h>

MC_ABSTRACT_INIT_CLASS(HxEditor, HxObject::getClassTypeId())

HxEditor::HxEditor() = default;

HxEditor::~HxEditor() { detach(); }

void HxEditor::attach(HxData* data) {
    if (data == editedData) return;
    detach();
    if (!data) return;
    editedData = data;
    startEditing(data);
    if (theObjectPool->contains(this)) theObjectPool->announceChange();
}

void HxEditor::detach() {
    if (!editedData) return;
    stopEditing();
    editedData = nullptr;
    if (theObjectPool->contains(this)) theObjectPool->announceChange();
}

int HxEditor::parse(Tcl_Interp* interp, int argc, char** argv) {
    const char* word = argc > 1 ? argv[1] : "help";
    if (cmdCheck(word, "detach", "ends editing")) {
        if (int r = cmdHelp(interp, word, argc == 2, argc, argv); r != 4) return r;
        detach();
        return TCL_OK;
    }
    return HxObject::parse(interp, argc, argv);
}
