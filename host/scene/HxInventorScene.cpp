#include <hxcore/HxApplication.h>
#include <hxcore/HxInterpreter.h>
#include <hxcore/HxMessage.h>
#include <hxcore/HxObjectPool.h>
#include <mc/McSafeFile.h>
#include <scene/HxInventorScene.h>

#include <Inventor/SoDB.h>
#include <Inventor/SoInput.h>
#include <Inventor/SoOutput.h>
#include <Inventor/actions/SoWriteAction.h>
#include <Inventor/errors/SoReadError.h>
#include <Inventor/nodes/SoSeparator.h>
#include <QDir>
#include <cstring>
#include <tcl.h>

MC_INIT_CLASS(HxInventorScene, HxData::getClassTypeId())

namespace {
const HxSaveFormatInfo sceneFormats[] = {
    {"Inventor scene", "iv", static_cast<HxSaveFormatInfo::Writer>(&HxInventorScene::writeInventor), nullptr, 1},
    {nullptr, nullptr, nullptr, nullptr, 0},
};

const char* const defaultSceneText = R"(#Inventor V2.1 ascii
Separator {
  Separator {
    Material { diffuseColor 0.6 0.6 0.6 }
    Translation { translation 0 -1.1 0 }
    Cube { width 6 height 0.2 depth 6 }
  }
  Separator {
    Material { diffuseColor 0.9 0.1 0.1 }
    Translation { translation -1.8 -0.5 0 }
    Cube { width 1 height 1 depth 1 }
  }
  Separator {
    Material { diffuseColor 0.1 0.8 0.1 }
    Translation { translation 0 -0.2 0 }
    Sphere { radius 0.8 }
  }
  Separator {
    Material { diffuseColor 0.1 0.2 0.9 }
    Translation { translation 1.8 -0.25 0 }
    Cone { bottomRadius 0.6 height 1.5 }
  }
}
)";

// Collects the Inventor library's read errors while a file is read, instead of
// letting them go to standard error.
class ReadErrorCollector {
public:
    ReadErrorCollector() : previous(SoReadError::getHandlerCallback()), previousData(SoReadError::getHandlerData()) {
        SoReadError::setHandlerCallback(collect, this);
    }
    ~ReadErrorCollector() { SoReadError::setHandlerCallback(previous, previousData); }
    ReadErrorCollector(const ReadErrorCollector&) = delete;
    ReadErrorCollector& operator=(const ReadErrorCollector&) = delete;
    const std::string& first() const { return text; }

private:
    static void collect(const SoError* error, void* data) {
        auto* self = static_cast<ReadErrorCollector*>(data);
        if (self->text.empty()) self->text = error->getDebugString().getString();
    }
    SoErrorCB* previous;
    void* previousData;
    std::string text;
};

// The first line of a multi-line library message is the one worth showing.
std::string firstLine(const std::string& text) {
    const std::size_t end = text.find('\n');
    return end == std::string::npos ? text : text.substr(0, end);
}
}  // namespace

HxInventorScene::HxInventorScene() : root(new SoSeparator) {
    setSaveFormats(sceneFormats);
    showGeom(root);
}

HxInventorScene::~HxInventorScene() { hideGeom(root); }

void HxInventorScene::setScene(SoSeparator* scene) {
    root->removeAllChildren();
    if (scene) root->addChild(scene);
}

SoSeparator* HxInventorScene::readFile(const char* file, std::string& error) {
    ReadErrorCollector errors;
    SoInput in;
    if (!in.openFile(file, TRUE)) {
        error = std::string("cannot open \"") + file + "\"";
        return nullptr;
    }
    if (!in.isValidFile()) {
        error = std::string("\"") + file + "\" is not an Inventor or VRML file";
        return nullptr;
    }
    SoSeparator* scene = SoDB::readAll(&in);
    if (!scene) {
        error = std::string("could not read scene \"") + file + "\"";
        if (!errors.first().empty()) error += ": " + firstLine(errors.first());
        return nullptr;
    }
    if (scene->getNumChildren() == 0) {
        scene->ref();
        scene->unref();
        error = std::string("\"") + file + "\" holds no scene";
        return nullptr;
    }
    return scene;
}

bool HxInventorScene::isSceneFile(const char* file, const std::string& extension) {
    if (extension == "iv" || extension == "wrl" || extension == "vrml") return true;
    SoInput in;
    // Opening fails quietly here: the caller reports unreadable files.
    ReadErrorCollector quiet;
    return in.openFile(file, TRUE) && in.isValidFile();
}

HxInventorScene* HxInventorScene::load(const char* file, std::string& error) {
    SoSeparator* scene = readFile(file, error);
    if (!scene) return nullptr;
    HxInventorScene* object = createInstance();
    object->setScene(scene);
    object->setLoadCmd(file, false);
    registerData(object, file);
    return object;
}

SoSeparator* HxInventorScene::defaultScene() {
    SoInput in;
    in.setBuffer(defaultSceneText, std::strlen(defaultSceneText));
    return SoDB::readAll(&in);
}

int HxInventorScene::writeInventor(const char* file) {
    McSafeFile out(file);
    if (out.stream()) {
        SoOutput output;
        output.setFilePointer(out.stream());
        SoWriteAction writer(&output);
        // The root's children are the scene; the root itself is the object's holder.
        for (int i = 0; i < root->getNumChildren(); ++i) writer.apply(root->getChild(i));
    }
    if (!out.commit()) {
        theMsg->printf("%s: %s", getName(), out.error().c_str());
        return 0;
    }
    return 1;
}

int HxInventorScene::saveCreation(FILE* fp, const char* dataDir, unsigned int flags) {
    if (sourceFile.empty()) return HxData::saveCreation(fp, dataDir, flags);
    const QString source = QString::fromLocal8Bit(sourceFile.c_str());
    const QString relative = QDir(QString::fromLocal8Bit(dataDir && *dataDir ? dataDir : ".")).relativeFilePath(source);
    // A file outside the network's folder is found by its absolute path.
    const bool outside = relative.startsWith("../");
    const std::string path = (outside ? source : relative).toLocal8Bit().toStdString();
    const std::string where = outside ? "{" + path + "}" : "[file join [file dirname [info script]] {" + path + "}]";
    return std::fprintf(fp, "[load %s] setLabel {%s}\n", where.c_str(), getName()) < 0 ? 1 : 0;
}

namespace {
int loadDefaultSceneCmd(ClientData, Tcl_Interp* interp, int argc, const char** argv) {
    if (argc > 2 || (argc == 2 && !*argv[1])) {
        Tcl_SetObjResult(interp, Tcl_NewStringObj("usage: loadDefaultScene [name]", -1));
        return TCL_ERROR;
    }
    HxInventorScene* object = HxInventorScene::createInstance();
    object->setScene(HxInventorScene::defaultScene());
    const std::string name = theObjectPool->add(object, argc == 2 ? argv[1] : "DefaultScene");
    object->updateInfo(false);
    Tcl_SetObjResult(interp, Tcl_NewStringObj(name.c_str(), -1));
    return TCL_OK;
}
}  // namespace

void HxInventorScene::registerReaderAndCommands() {
    const HxPackageLoader::ReadFunction read = [](const char* file, std::string& error) {
        return load(file, error) != nullptr;
    };
    // Files of other extensions count as scenes by their header.
    const auto claims = [](const char* file) { return isSceneFile(file, std::string()); };
    HxPackageLoader& readers = HxApplication::packages();
    readers.addHostReader({{"iv", "Inventor scene", ""}, read, claims});
    readers.addHostReader({{"wrl", "VRML scene", ""}, read, nullptr});
    readers.addHostReader({{"vrml", "VRML scene", ""}, read, nullptr});
    theInterpreter->createCommand("loadDefaultScene", loadDefaultSceneCmd);
}
