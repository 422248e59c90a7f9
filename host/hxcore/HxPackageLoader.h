// Finds a package's shared library, loads it, calls its entry points and reads
// its build record and description. Packages stay loaded until unloadAll().
#pragma once
#include <hxcore/HxPackageDescription.h>

#include <string>
#include <vector>

class HxPackageLoader {
public:
    struct Package {
        std::string name;
        std::string libraryPath;
        std::string buildRecord;  // "|version_tag|...|version_patch|N"
        HxPackageDescription description;
        void* handle = nullptr;
        void (*finish)() = nullptr;
    };

    // Environment variable with extra folders to search, separated by ':'.
    static constexpr const char* searchPathVariable = "VORNA_PACKAGE_PATH";

    // The folders searched for lib<name>.so, in order: the program's folder, then
    // each folder of VORNA_PACKAGE_PATH.
    static std::vector<std::string> defaultSearchDirs();

    // A package found in a folder: lib<name>.so with its description file.
    struct Found {
        std::string name;
        std::string libraryPath;
    };
    // Every package in `dirs`, folder by folder and by name within a folder: each
    // lib<name>.so whose description lies where loading looks for it. A name
    // found again in a later folder is left out, as load() would take the first.
    static std::vector<Found> findAll(const std::vector<std::string>& dirs);

    // Loads the package from the first folder that has it. On failure returns
    // false and sets `error` to a message naming what is missing and every place
    // looked in. Loading a package twice returns the loaded one.
    bool load(const std::string& name, const std::vector<std::string>& dirs, std::string& error);
    // Loads one library file directly (tests use the file just built).
    bool loadFile(const std::string& name, const std::string& libraryPath, std::string& error);
    // Calls every package's finishing entry point, newest first.
    void unloadAll();

    const Package* find(const std::string& name) const;
    const std::vector<Package>& packages() const { return loaded; }
    // Looks `symbol` up in the loaded packages; null when none has it.
    void* findSymbol(const std::string& symbol) const;

private:
    std::vector<Package> loaded;
};
