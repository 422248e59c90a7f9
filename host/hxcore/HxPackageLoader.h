// Finds a package's shared library, loads it, calls its entry points and reads
// its build record and description. Packages stay loaded until unloadAll().
// Also the table of file readers: the packages' readers (from their
// descriptions) and the host's own, which register here in the same way.
#pragma once
#include <hxcore/HxPackageDescription.h>

#include <functional>
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

    // Reads `file`, adds the new object to the object pool and returns true,
    // or returns false with the reason in `error`.
    using ReadFunction = std::function<bool(const char* file, std::string& error)>;
    // A reader that comes with the program rather than with a package (the
    // host's scene reader). `claims`, when set, also takes files of other
    // extensions by their content.
    struct HostReader {
        HxPackageDescription::Reader entry;  // its extension and format name
        ReadFunction read;
        std::function<bool(const char* file)> claims;
    };
    // Adds a host reader; it stays when the packages are unloaded.
    void addHostReader(HostReader reader) { hostReaderList.push_back(std::move(reader)); }
    const std::vector<HostReader>& hostReaders() const { return hostReaderList; }

    // The reader of `file`, whose extension (lower case) is `extension`: a
    // package's reader of the extension first, then a host reader of it, then
    // a host reader that claims the file. False when none reads it; true with
    // `read` empty and `error` set when a package names a reader it lacks.
    bool findFileReader(const std::string& extension, const char* file, ReadFunction& read, std::string& error) const;

private:
    std::vector<Package> loaded;
    std::vector<HostReader> hostReaderList;
};
