#include <hxcore/HxPackageLoader.h>

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <cstdlib>
#include <dlfcn.h>
#include <unistd.h>

namespace {
std::string programDir() {
    char buffer[4096];
    ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0) return ".";
    buffer[n] = '\0';
    return QFileInfo(QString::fromLocal8Bit(buffer)).absolutePath().toStdString();
}

// The description sits beside the library, or in the share folder of an
// installed layout.
std::string findDescription(const std::string& libraryPath, const std::string& name) {
    QDir dir = QFileInfo(QString::fromStdString(libraryPath)).absoluteDir();
    const QString file = QString::fromStdString(name) + ".rc";
    for (const QString& candidate : {dir.filePath("share/" + QString::fromStdString(name) + "/" + file),
                                     dir.filePath("../share/" + QString::fromStdString(name) + "/" + file)}) {
        if (QFileInfo::exists(candidate)) return QDir::cleanPath(candidate).toStdString();
    }
    return {};
}
}  // namespace

std::vector<std::string> HxPackageLoader::defaultSearchDirs() {
    std::vector<std::string> dirs{programDir()};
    if (const char* extra = std::getenv(searchPathVariable)) {
        for (const QString& dir : QString::fromLocal8Bit(extra).split(':', Qt::SkipEmptyParts))
            dirs.push_back(dir.toStdString());
    }
    return dirs;
}

std::vector<HxPackageLoader::Found> HxPackageLoader::findAll(const std::vector<std::string>& dirs) {
    std::vector<Found> found;
    const auto known = [&found](const std::string& name) {
        for (const Found& f : found)
            if (f.name == name) return true;
        return false;
    };
    for (const std::string& dir : dirs) {
        const QDir folder(QString::fromStdString(dir));
        for (const QFileInfo& file : folder.entryInfoList({"lib*.so"}, QDir::Files, QDir::Name)) {
            const QString base = file.fileName();
            const std::string name = base.mid(3, base.size() - 6).toStdString();
            const std::string path = file.filePath().toStdString();
            if (name.empty() || known(name) || findDescription(path, name).empty()) continue;
            found.push_back({name, path});
        }
    }
    return found;
}

const HxPackageLoader::Package* HxPackageLoader::find(const std::string& name) const {
    for (const auto& p : loaded)
        if (p.name == name) return &p;
    return nullptr;
}

bool HxPackageLoader::load(const std::string& name, const std::vector<std::string>& dirs, std::string& error) {
    if (find(name)) return true;
    const std::string file = "lib" + name + ".so";
    std::string looked;
    for (const std::string& dir : dirs) {
        std::string path = dir + "/" + file;
        looked += "\n  " + path;
        if (QFileInfo::exists(QString::fromStdString(path))) return loadFile(name, path, error);
    }
    error = "Package \"" + name + "\" not found: no " + file + " in any of these places:" + looked;
    return false;
}

bool HxPackageLoader::loadFile(const std::string& name, const std::string& libraryPath, std::string& error) {
    if (find(name)) return true;
    void* handle = dlopen(libraryPath.c_str(), RTLD_NOW | RTLD_GLOBAL);
    if (!handle) {
        error = "Package \"" + name + "\": cannot load " + libraryPath + ": " + dlerror();
        return false;
    }
    const std::string prefix = "vornapackage_" + name;
    auto init = reinterpret_cast<void (*)()>(dlsym(handle, (prefix + "_init").c_str()));
    auto finish = reinterpret_cast<void (*)()>(dlsym(handle, (prefix + "_finish").c_str()));
    auto record = reinterpret_cast<const char* (*)()>(dlsym(handle, prefix.c_str()));
    std::string missing;
    if (!init) missing += " " + prefix + "_init";
    if (!finish) missing += " " + prefix + "_finish";
    if (!record) missing += " " + prefix;
    if (!missing.empty()) {
        error = "Package \"" + name + "\": " + libraryPath + " lacks the entry point(s):" + missing;
        // The library stays mapped: its static type records are already registered.
        return false;
    }

    Package package;
    package.name = name;
    package.libraryPath = libraryPath;
    package.handle = handle;
    package.finish = finish;
    const std::string descriptionFile = findDescription(libraryPath, name);
    if (descriptionFile.empty()) {
        error = "Package \"" + name + "\": no description file " + name + ".rc beside " + libraryPath;
        return false;
    }
    if (!package.description.read(descriptionFile, error)) {
        error = "Package \"" + name + "\" not loaded: " + error;
        return false;
    }

    init();
    const char* text = record();
    package.buildRecord = text ? text : "";
    loaded.push_back(std::move(package));
    return true;
}

void HxPackageLoader::unloadAll() {
    while (!loaded.empty()) {
        // The library is not unmapped: objects and type records of the package
        // may still be referenced until the process ends.
        if (loaded.back().finish) loaded.back().finish();
        loaded.pop_back();
    }
}

void* HxPackageLoader::findSymbol(const std::string& symbol) const {
    for (const auto& p : loaded)
        if (void* s = dlsym(p.handle, symbol.c_str())) return s;
    return nullptr;
}

bool HxPackageLoader::findFileReader(const std::string& extension, const char* file, ReadFunction& read,
                                     std::string& error) const {
    for (const auto& package : loaded) {
        const HxPackageDescription::Reader* reader = package.description.findReader(extension);
        if (!reader) continue;
        auto function = reinterpret_cast<int (*)(const char*)>(findSymbol(reader->symbol));
        if (!function) {
            error = "reader " + reader->symbol + " missing in package " + package.name;
            read = nullptr;
            return true;
        }
        // A package's reader says only whether it read the file.
        read = [function](const char* path, std::string& why) {
            if (function(path) == 1) return true;
            why = std::string("could not read \"") + path + "\"";
            return false;
        };
        return true;
    }
    for (const HostReader& reader : hostReaderList) {
        if (reader.entry.extension != extension) continue;
        read = reader.read;
        return true;
    }
    for (const HostReader& reader : hostReaderList) {
        if (!reader.claims || !reader.claims(file)) continue;
        read = reader.read;
        return true;
    }
    return false;
}
