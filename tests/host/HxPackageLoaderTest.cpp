// HxPackageLoader: finding a package's library in a list of folders, refusing
// libraries that are not packages, and loading the probe package built beside this test.
#include <hxcore/HxPackageLoader.h>
#include <mc/McTypeInfo.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstdlib>
#include <dlfcn.h>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

const std::string probeDir = HOST_PROBE_DIR;
const std::string probeLibrary = HOST_PROBE_LIBRARY;
const std::string bareLibrary = HOST_BARE_LIBRARY;

// The probe package's call counters; 0 while its library is not loaded.
int probeCounter(const char* symbol) {
    void* handle = dlopen(probeLibrary.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (!handle) return 0;
    auto counter = reinterpret_cast<int (*)()>(dlsym(handle, symbol));
    const int value = counter ? counter() : -1;
    dlclose(handle);  // drops only the reference taken here
    return value;
}
int initCalls() { return probeCounter("hostprobe_init_calls"); }

// A folder in which libhostprobe.so links to the probe library, with the given description or none.
struct LinkedProbeFolder {
    explicit LinkedProbeFolder(const char* description = nullptr) {
        EXPECT_TRUE(QFile::link(QString::fromStdString(probeLibrary), QString::fromStdString(library())));
        if (!description) return;
        QDir(dir.path()).mkpath("share/hostprobe");
        std::ofstream(path() + "/share/hostprobe/hostprobe.rc") << description;
    }
    std::string path() const { return dir.path().toStdString(); }
    std::string library() const { return path() + "/libhostprobe.so"; }
    QTemporaryDir dir;
};

std::string lacks(const std::string& name, const std::string& library) {
    return "Package \"" + name + "\": " + library + " lacks the entry point(s): vornapackage_" + name +
           "_init vornapackage_" + name + "_finish vornapackage_" + name;
}

TEST(HxPackageLoader, missingLibraryNamesTheFileInEveryFolder) {
    QTemporaryDir first;
    const std::string a = first.path().toStdString();
    HxPackageLoader loader;
    std::string error;
    EXPECT_FALSE(loader.load("hostnothere", {a, "/no/such/folder"}, error));
    EXPECT_EQ(error, "Package \"hostnothere\" not found: no libhostnothere.so in any of these places:\n  " + a +
                         "/libhostnothere.so\n  /no/such/folder/libhostnothere.so");
    EXPECT_FALSE(loader.load("hostnothere", {}, error));
    EXPECT_EQ(error, "Package \"hostnothere\" not found: no libhostnothere.so in any of these places:");
    EXPECT_TRUE(loader.packages().empty());
}

TEST(HxPackageLoader, librariesWithoutTheEntryPointsAreRefused) {
    QTemporaryDir empty;
    HxPackageLoader loader;
    std::string error;
    EXPECT_FALSE(loader.load("hostbare", {empty.path().toStdString(), probeDir}, error));
    EXPECT_EQ(error, lacks("hostbare", probeDir + "/libhostbare.so"));
    EXPECT_FALSE(loader.loadFile("hostbare", bareLibrary, error));
    EXPECT_EQ(error, lacks("hostbare", bareLibrary));
    // The entry points are looked up under the package's name.
    EXPECT_FALSE(loader.loadFile("otherprobe", probeLibrary, error));
    EXPECT_EQ(error, lacks("otherprobe", probeLibrary));
    EXPECT_TRUE(loader.packages().empty());

    const std::string junk = empty.path().toStdString() + "/libhostjunk.so";
    std::ofstream(junk) << "not a shared object\n";
    EXPECT_FALSE(loader.load("hostjunk", {empty.path().toStdString()}, error));
    const std::string prefix = "Package \"hostjunk\": cannot load " + junk + ": ";
    EXPECT_EQ(error.rfind(prefix, 0), 0u) << error;
    EXPECT_GT(error.size(), prefix.size()) << "the system's reason follows";
}

TEST(HxPackageLoader, missingOrBadDescriptionIsRefusedBeforeInit) {
    const int initsBefore = initCalls();
    HxPackageLoader loader;
    std::string error;
    LinkedProbeFolder bare;
    EXPECT_FALSE(loader.load("hostprobe", {bare.path()}, error));
    EXPECT_EQ(error, "Package \"hostprobe\": no description file hostprobe.rc beside " + bare.library());
    const auto notLoaded = [](const LinkedProbeFolder& folder, const std::string& why) {
        const std::string description =
            QDir::cleanPath(QString::fromStdString(folder.path() + "/share/hostprobe/hostprobe.rc")).toStdString();
        return "Package \"hostprobe\" not loaded: package description \"" + description + "\": " + why;
    };
    LinkedProbeFolder bad("dataClass Fine\nbogus command\n");
    EXPECT_FALSE(loader.load("hostprobe", {bad.path()}, error));
    EXPECT_EQ(error, notLoaded(bad, "invalid command name \"bogus\""));
    // A description that never ends is stopped at the time limit.
    const int limit = HxPackageDescription::timeLimit();
    HxPackageDescription::setTimeLimit(50);
    LinkedProbeFolder endless("dataClass Fine\nwhile 1 {catch {while 1 {}}}\n");
    EXPECT_FALSE(loader.load("hostprobe", {endless.path()}, error));
    EXPECT_EQ(error, notLoaded(endless, "stopped after running for 50 ms (an endless loop?)"));
    HxPackageDescription::setTimeLimit(limit);
    EXPECT_EQ(initCalls(), initsBefore);
    EXPECT_TRUE(loader.packages().empty());
    // The first folder holding the library wins, even when it fails.
    EXPECT_FALSE(loader.load("hostprobe", {bare.path(), probeDir}, error));
    EXPECT_NE(error.find(bare.library()), std::string::npos) << error;
}

TEST(HxPackageLoader, loadsACompletePackageOnce) {
    HxPackageLoader loader;
    std::string error;
    const int initsBefore = initCalls();
    ASSERT_TRUE(loader.load("hostprobe", {probeDir, "/no/such/folder"}, error)) << error;
    const HxPackageLoader::Package* package = loader.find("hostprobe");
    ASSERT_NE(package, nullptr);
    EXPECT_EQ(package->libraryPath, probeDir + "/libhostprobe.so");
    EXPECT_EQ(package->buildRecord, "|version_tag|hostprobe|version_patch|7");
    ASSERT_NE(package->description.findClass("HostProbeData"), nullptr);
    EXPECT_EQ(package->description.findClass("HostProbeData")->label, "Probe data");
    EXPECT_EQ(initCalls(), initsBefore + 1);
    EXPECT_NE(McTypeInfo::fromName("HostProbeEditor"), nullptr) << "its classes are registered";
    EXPECT_NE(loader.findSymbol("hostprobe_read"), nullptr);
    EXPECT_EQ(loader.findSymbol("hostprobe_no_such_reader"), nullptr);

    EXPECT_TRUE(loader.load("hostprobe", {"/no/such/folder"}, error)) << "already loaded: no search";
    EXPECT_TRUE(loader.loadFile("hostprobe", "/no/such/libhostprobe.so", error));
    EXPECT_EQ(loader.packages().size(), 1u);
    EXPECT_EQ(initCalls(), initsBefore + 1) << "init runs once";

    const int finishesBefore = probeCounter("hostprobe_finish_calls");
    loader.unloadAll();
    EXPECT_EQ(probeCounter("hostprobe_finish_calls"), finishesBefore + 1);
    EXPECT_TRUE(loader.packages().empty());
    EXPECT_EQ(loader.findSymbol("hostprobe_read"), nullptr);
}

// The packages a folder offers are the libraries that have a description where
// loading looks for it: in share/<name>/ beside the library or one folder up.
TEST(HxPackageLoader, findAllListsEachLibraryWithADescriptionOnce) {
    using Found = HxPackageLoader::Found;
    const auto names = [](const std::vector<Found>& found) {
        std::vector<std::string> text;
        for (const Found& f : found) text.push_back(f.name + " " + f.libraryPath);
        return text;
    };
    using List = std::vector<std::string>;
    // The probe folder also holds libhostbare.so, which has no description.
    EXPECT_EQ(names(HxPackageLoader::findAll({probeDir})), List{"hostprobe " + probeLibrary});

    LinkedProbeFolder undescribed;
    LinkedProbeFolder described("dataClass Fine\n");
    QTemporaryDir installed;
    const std::string bin = installed.path().toStdString() + "/bin";
    QDir(installed.path()).mkpath("bin");
    QDir(installed.path()).mkpath("share/hostprobe");
    std::ofstream(installed.path().toStdString() + "/share/hostprobe/hostprobe.rc") << "dataClass Fine\n";
    EXPECT_TRUE(QFile::link(QString::fromStdString(probeLibrary), QString::fromStdString(bin + "/libhostprobe.so")));

    EXPECT_EQ(names(HxPackageLoader::findAll({undescribed.path()})), List{});
    EXPECT_EQ(names(HxPackageLoader::findAll({bin})), List{"hostprobe " + bin + "/libhostprobe.so"});
    EXPECT_EQ(names(HxPackageLoader::findAll({"/no/such/folder", undescribed.path(), described.path(), bin})),
              List{"hostprobe " + described.library()})
        << "the first folder that has the package wins";
    EXPECT_EQ(names(HxPackageLoader::findAll({})), List{});
}

TEST(HxPackageLoader, searchFoldersStartWithTheProgramsFolder) {
    const char* variable = HxPackageLoader::searchPathVariable;
    const char* old = std::getenv(variable);
    const std::string saved = old ? old : "";
    const auto canonical = [](const std::string& dir) {
        return QDir(QString::fromStdString(dir)).canonicalPath().toStdString();
    };
    unsetenv(variable);
    auto dirs = HxPackageLoader::defaultSearchDirs();
    ASSERT_EQ(dirs.size(), 1u);
    EXPECT_EQ(canonical(dirs[0]), canonical(HOST_TEST_PROGRAM_DIR));
    setenv(variable, ":/opt/one::/opt/two:", 1);
    dirs = HxPackageLoader::defaultSearchDirs();
    ASSERT_EQ(dirs.size(), 3u);
    EXPECT_EQ(canonical(dirs[0]), canonical(HOST_TEST_PROGRAM_DIR));
    EXPECT_EQ(dirs[1], "/opt/one");
    EXPECT_EQ(dirs[2], "/opt/two");
    if (old)
        setenv(variable, saved.c_str(), 1);
    else
        unsetenv(variable);
}

}  // namespace
