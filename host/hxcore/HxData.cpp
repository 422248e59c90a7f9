#include <hxcore/HxCmd.h>
#include <hxcore/HxData.h>
#include <hxcore/HxMessage.h>
#include <hxcore/HxObjectPool.h>
#include <hxcore/HxUndoHistory.h>

#include <QFileInfo>
#include <cstring>
#include <tcl.h>

MC_ABSTRACT_INIT_CLASS(HxData, HxObject::getClassTypeId())

HxData::HxData() = default;
HxData::~HxData() { theUndoHistory->forget(this); }

void HxData::registerData(HxData* data, const char* name) {
    if (!data) return;
    QString base = QFileInfo(QString::fromUtf8(name ? name : "")).completeBaseName();
    if (base.isEmpty()) base = QString::fromUtf8(data->getTypeId()->getName());
    theObjectPool->add(data, base.toUtf8().constData());
}

void HxData::setLoadCmd(const char* command, bool isScript) {
    loadCmd = command ? command : "";
    loadCmdIsScript = isScript;
}

int HxData::saveCreation(FILE* fp, const char* dataDir, unsigned int) {
    const HxSaveFormatInfo* format = nullptr;
    for (const HxSaveFormatInfo* f = saveFormatTable; f && f->name; ++f) {
        if (!format || (f->flag == 1 && format->flag != 1)) format = f;
    }
    if (!format || !format->writer) {
        theMsg->printf("%s: no file format to save it in; the saved network re-creates it empty", getName());
        return HxObject::saveCreation(fp, dataDir, 0);
    }
    const std::string fileName = std::string(getName()) + "." + format->extension;
    const std::string path = std::string(dataDir && *dataDir ? dataDir : ".") + "/" + fileName;
    if (!(this->*(format->writer))(path.c_str())) {
        theMsg->printf("%s: could not save its data to \"%s\"", getName(), path.c_str());
        return 1;
    }
    // The data file sits beside the script: find it from the script's folder.
    const int n = std::fprintf(fp, "[load [file join [file dirname [info script]] {%s}]] setLabel {%s}\n",
                               fileName.c_str(), getName());
    return n < 0 ? 1 : 0;
}

int HxData::saveAs(const char* formatName, const char* file) {
    for (const HxSaveFormatInfo* f = saveFormatTable; f && f->name; ++f) {
        if (std::strcmp(f->name, formatName) != 0 || !f->writer) continue;
        const int saved = (this->*(f->writer))(file);
        if (saved) theUndoHistory->markSaved(this);
        return saved;
    }
    theMsg->printf("%s: no save format \"%s\"", getName(), formatName);
    return 0;
}

int HxData::parse(Tcl_Interp* interp, int argc, char** argv) {
    const char* word = argc > 1 ? argv[1] : "help";
    if (cmdCheck(word, "save", "save \"Format name\" file")) {
        if (int r = cmdHelp(interp, word, argc == 4, argc, argv); r != 4) return r;
        if (!saveAs(argv[2], argv[3])) {
            Tcl_VaSetResult(interp, "%s: could not save \"%s\" as \"%s\"", getName(), argv[3], argv[2]);
            return TCL_ERROR;
        }
        return TCL_OK;
    }
    if (cmdCheck(word, "getSaveFormats", "lists the save format names")) {
        Tcl_Obj* list = Tcl_NewListObj(0, nullptr);
        for (const HxSaveFormatInfo* f = saveFormatTable; f && f->name; ++f)
            Tcl_ListObjAppendElement(interp, list, Tcl_NewStringObj(f->name, -1));
        Tcl_SetObjResult(interp, list);
        return TCL_OK;
    }
    return HxObject::parse(interp, argc, argv);
}
