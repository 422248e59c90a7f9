// Host-wide script commands: create, remove, load, edit, quit, undo, redo.
#include <hxcore/HxUndoHistory.h>
#include <hxcore/HxApplication.h>
#include <hxcore/HxCmd.h>
#include <hxcore/HxData.h>
#include <hxcore/HxEditor.h>
#include <hxcore/HxInterpreter.h>
#include <hxcore/HxMessage.h>
#include <hxcore/HxObjectPool.h>
#include <vornamesh/VornaMesh.h>

#include <QFileInfo>
#include <cstring>
#include <memory>
#include <QUndoStack>
#include <tcl.h>

namespace {
int createCmd(ClientData, Tcl_Interp* interp, int argc, const char** argv) {
    if (argc < 2 || argc > 3) return cmdFail(interp, "usage: create Type [name]");
    const McTypeInfo* type = McTypeInfo::fromName(argv[1]);
    if (!type || !type->isDerivedFrom(HxObject::getClassTypeId()) || !type->factory())
        return cmdFail(interp, std::string("create: unknown type \"") + argv[1] + "\"");
    McTypedObject* created = type->createInstance();
    auto* object = static_cast<HxObject*>(created);
    std::string name = theObjectPool->add(object, argc == 3 ? argv[2] : argv[1]);
    object->updateInfo(false);
    Tcl_SetObjResult(interp, Tcl_NewStringObj(name.c_str(), -1));
    return TCL_OK;
}

int removeCmd(ClientData, Tcl_Interp* interp, int argc, const char** argv) {
    if (argc < 2) return cmdFail(interp, "usage: remove name [name ...]");
    for (int i = 1; i < argc; ++i)
        if (!theObjectPool->find(argv[i]))
            return cmdFail(interp, std::string("remove: no object named \"") + argv[i] + "\"");
    for (int i = 1; i < argc; ++i) theObjectPool->remove(theObjectPool->find(argv[i]));
    return TCL_OK;
}

// The object a reader added to the pool: announced, updated and named as the result.
int finishLoad(Tcl_Interp* interp, std::size_t poolSizeBefore, const char* file) {
    const auto& objects = theObjectPool->objects();
    if (objects.size() <= poolSizeBefore)
        return cmdFail(interp, std::string("load: the reader of \"") + file + "\" added no object");
    HxObject* object = objects.back();
    object->updateInfo(false);
    object->fire();  // a new object computes once, as after any change
    Tcl_SetObjResult(interp, Tcl_NewStringObj(object->getName(), -1));
    return TCL_OK;
}

// Data files: the package whose content reader handles their "ContentType".
int loadDataFile(Tcl_Interp* interp, const char* file) {
    std::string error;
    std::unique_ptr<VornaMesh> mesh = VornaMesh::read(file, error);
    if (!mesh) return cmdFail(interp, "load: " + error);
    std::string contentType;
    if (!mesh->parameters.getText("ContentType", contentType))
        return cmdFail(interp, std::string("load: \"") + file + "\" does not say what it holds (no ContentType)");
    for (const auto& package : HxApplication::packages().packages()) {
        const auto* reader = package.description.findContentReader(contentType);
        if (!reader) continue;
        auto read =
            reinterpret_cast<int (*)(VornaMesh*, const char*)>(HxApplication::packages().findSymbol(reader->symbol));
        if (!read) return cmdFail(interp, "load: reader " + reader->symbol + " missing in package " + package.name);
        const auto before = theObjectPool->objects().size();
        if (read(mesh.get(), file) != 1) return cmdFail(interp, std::string("load: could not read \"") + file + "\"");
        return finishLoad(interp, before, file);
    }
    return cmdFail(interp, "load: no reader for data of type \"" + contentType + "\"");
}

int loadCmd(ClientData, Tcl_Interp* interp, int argc, const char** argv) {
    if (argc != 2) return cmdFail(interp, "usage: load file");
    QFileInfo file(QString::fromLocal8Bit(argv[1]));
    if (!file.isFile() || !file.isReadable())
        return cmdFail(interp, std::string("load: cannot read file \"") + argv[1] + "\"");
    const std::string extension = file.suffix().toLower().toStdString();
    if (extension == "vm" || extension == "brio") return loadDataFile(interp, argv[1]);
    // The packages' readers and the host's own (Inventor and VRML scenes).
    HxPackageLoader::ReadFunction read;
    std::string error;
    if (HxApplication::packages().findFileReader(extension, argv[1], read, error)) {
        if (!read) return cmdFail(interp, "load: " + error);
        const auto before = theObjectPool->objects().size();
        if (!read(argv[1], error)) return cmdFail(interp, "load: " + error);
        return finishLoad(interp, before, argv[1]);
    }
    if (extension.empty())
        return cmdFail(interp, std::string("load: \"") + argv[1] + "\" has no file extension to tell its type");
    return cmdFail(interp, "load: no reader for files of type \"." + extension + "\"");
}

int editCmd(ClientData, Tcl_Interp* interp, int argc, const char** argv) {
    if (argc != 2) return cmdFail(interp, "usage: edit name");
    auto* data = dynamic_cast<HxData*>(theObjectPool->find(argv[1]));
    if (!data) return cmdFail(interp, std::string("edit: no data object named \"") + argv[1] + "\"");
    const char* dataClass = data->getTypeId()->getName();
    for (const auto& package : HxApplication::packages().packages()) {
        const auto* entry = package.description.findEditorFor(dataClass);
        if (!entry) continue;
        const McTypeInfo* type = McTypeInfo::fromName(entry->editorClass.c_str());
        if (!type || !type->isDerivedFrom(HxEditor::getClassTypeId()))
            return cmdFail(interp, "edit: editor class " + entry->editorClass + " is not registered");
        // One editor of a class serves the session: attaching moves it.
        auto* editor = static_cast<HxEditor*>(theObjectPool->findOfType(type));
        if (!editor) {
            editor = static_cast<HxEditor*>(type->createInstance());
            if (!editor) return cmdFail(interp, "edit: editor class " + entry->editorClass + " cannot be created");
            // An editor that named itself keeps its name.
            const std::string wanted = *editor->getName() ? editor->getName() : entry->editorClass;
            theObjectPool->add(editor, wanted.c_str());
        }
        editor->attach(data);
        Tcl_SetObjResult(interp, Tcl_NewStringObj(editor->getName(), -1));
        return TCL_OK;
    }
    return cmdFail(interp, std::string("edit: no editor for objects of type ") + dataClass);
}

int quitCmd(ClientData, Tcl_Interp* interp, int argc, const char** argv) {
    long code = 0;
    if (argc > 2 || (argc == 2 && !parseLong(argv[1], code))) return cmdFail(interp, "usage: quit [exitCode]");
    theInterpreter->requestQuit(static_cast<int>(code));
    // An error unwinds every procedure of the running script; the program sees
    // the request and exits with the code.
    Tcl_SetObjResult(interp, Tcl_NewStringObj("quit", -1));
    Tcl_SetErrorCode(interp, "VORNA", "QUIT", nullptr);
    return TCL_ERROR;
}
// undo and redo: a step of the edited object's history (see HxUndoHistory).
int historyStep(Tcl_Interp* interp, int argc, const char** argv, bool back) {
    const std::string word = argv[0];
    if (argc != 1) return cmdFail(interp, "usage: " + word);
    QUndoStack* stack = theUndoHistory->activeStack();
    if (!stack) return cmdFail(interp, word + ": no object is being edited");
    if (back ? !stack->canUndo() : !stack->canRedo()) return cmdFail(interp, word + ": nothing to " + word);
    const QString step = back ? stack->undoText() : stack->redoText();
    back ? stack->undo() : stack->redo();
    Tcl_SetObjResult(interp, Tcl_NewStringObj(step.toUtf8().constData(), -1));
    return TCL_OK;
}

int undoCmd(ClientData, Tcl_Interp* interp, int argc, const char** argv) {
    return historyStep(interp, argc, argv, true);
}

int redoCmd(ClientData, Tcl_Interp* interp, int argc, const char** argv) {
    return historyStep(interp, argc, argv, false);
}
}  // namespace

void hxRegisterHostCommands() {
    theInterpreter->createCommand("create", createCmd);
    theInterpreter->createCommand("remove", removeCmd);
    theInterpreter->createCommand("load", loadCmd);
    theInterpreter->createCommand("edit", editCmd);
    theInterpreter->createCommand("quit", quitCmd);
    theInterpreter->createCommand("undo", undoCmd);
    theInterpreter->createCommand("redo", redoCmd);
}
