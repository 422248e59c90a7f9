// What a package offers the host, read from its description file: the classes
// users may create, which editor edits which data class, and which reader
// handles which file extension.
//
// The file is a Tcl script evaluated in a safe interpreter that knows only
// these commands:
//   dataClass Name -label "Shown name" [-category "Group"] [-create 0|1]
//   editor EditorClass -edits DataClass
//   reader -extension ext -format "Format name" -symbol exported_function
//   contentReader -contentType Type -symbol exported_function
// A reader is `int f(const char* file)`; a content reader, which takes data
// files whose "ContentType" parameter names its type, is
// `int f(VornaMesh* mesh, const char* file)`. Both return 1 on success, having
// added the new object to the object pool.
#pragma once
#include <string>
#include <vector>

struct HxPackageDescription {
    struct DataClass {
        std::string name, label, category;
        bool userCreatable = true;
    };
    struct Editor {
        std::string editorClass, dataClass;
    };
    struct Reader {
        std::string extension, formatName, symbol;
    };

    std::vector<DataClass> dataClasses;
    std::vector<Editor> editors;
    std::vector<Reader> readers;
    struct ContentReader {
        std::string contentType, symbol;
    };
    std::vector<ContentReader> contentReaders;

    // Reads a description file; on failure returns false and sets `error`.
    bool read(const std::string& file, std::string& error);
    // Reads a description from its text (UTF-8, as Tcl holds it); `source` names
    // it in messages.
    bool parse(const std::string& text, const std::string& source, std::string& error);

    // How long a description may run, in milliseconds (default 2000): one that
    // runs longer is stopped and refused, so an endless loop cannot hang the host.
    static void setTimeLimit(int milliseconds);
    static int timeLimit();

    const DataClass* findClass(const std::string& name) const;
    const Editor* findEditorFor(const std::string& dataClass) const;
    const Reader* findReader(const std::string& extension) const;
    const ContentReader* findContentReader(const std::string& contentType) const;
};
