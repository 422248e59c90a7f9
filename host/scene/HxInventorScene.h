// An Inventor scene as a data object: the nodes of an Inventor or VRML file
// (or of the built-in default scene), shown in the viewers of the object's
// viewer mask. Saved as an Inventor file.
#pragma once
#include <hxcore/HxData.h>
#include <mc/McHandle.h>

#include <string>

class SoSeparator;

class HxInventorScene : public HxData {
    MC_HEADER(HxInventorScene)

public:
    HxInventorScene();
    ~HxInventorScene() override;

    // The node the viewers show; the scene's nodes are its children. Owned by
    // the object.
    SoSeparator* getRoot() const { return root; }
    // Replaces the scene's nodes with `scene` (null: empty).
    void setScene(SoSeparator* scene);

    // Reads any file the Inventor library reads (Inventor 1/2 ascii or binary,
    // VRML 1 and 97). Null, with the reason in `error`, when it cannot; a file
    // without a single node counts as unreadable.
    static SoSeparator* readFile(const char* file, std::string& error);
    // Whether `load` should read the file as a scene: Inventor and VRML
    // extensions, or any file with an Inventor or VRML header.
    static bool isSceneFile(const char* file, const std::string& extension);
    // A new scene object from `file`, added to the object pool under the file's
    // base name; null (and nothing added) with the reason in `error`.
    static HxInventorScene* load(const char* file, std::string& error);
    // A small scene around the origin: a grey ground plate from -3 to 3 in x and
    // z (its top at y = -1) with a red cube, a green sphere and a blue cone on it.
    static SoSeparator* defaultScene();

    // Registers the scene reader in the host's reader table (the extensions
    // iv, wrl and vrml, and any file with an Inventor or VRML header) and the
    // "loadDefaultScene [name]" script command. Once, at session start.
    static void registerReaderAndCommands();

    // Writes the scene as an Inventor ascii file; the old file stays when that
    // fails. Returns 1 on success, 0 (with a console message) on failure.
    int writeInventor(const char* file);

    // The file (an absolute path) that saved networks load the scene from
    // again, for scenes read from a file that only another library reads;
    // empty (the default): saved networks save an Inventor copy beside them.
    void setSourceFile(const std::string& file) { sourceFile = file; }
    const std::string& getSourceFile() const { return sourceFile; }
    // With a source file, the line that loads it, by a path relative to the
    // network's folder when the file lies in or below it; else as for any data.
    int saveCreation(FILE* fp, const char* dataDir, unsigned int flags) override;

private:
    McHandle<SoSeparator> root;
    std::string sourceFile;
};
