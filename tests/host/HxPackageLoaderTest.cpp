// HxPackageLoader: finding a package's library in a list of folders, refusing
// libraries that are not packages, and loading a complete one (the probe
// package built beside this test).
#include <hxcore/HxPackageLoader.h>
#include <mc/McTypeInfo.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
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

std::string pathIn(const QTemporaryDir& dir, const std::string& name) {
    return QDir(dir.path()).filePath(QString::fromStdString(name)).toStdString();
}

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
int finishCalls() { return probeCounter("hostprobe_finish_calls"); }

// A folder in which libhostprobe.so is a link to the probe library but no
// description sits beside it (or a given one).
class LinkedProbeFolder {
public:
    explicit LinkedProbeFolder(const char* description = nullptr) {
        EXPECT_TRUE(QFile::link(QString::fromStdString(probeLibrary), QString::fromStdString(library())));
        if (description) {
            QDir(dir.path()).mkpath("share/hostprobe");
            std::ofstream(pathIn(dir, "share/hostprobe/hostprobe.rc")) << description;
        }
    }
    std::string path() const { return dir.path().toStdString(); }
    std::string library() const { return pathIn(dir, "libhostprobe.so"); }

private:
    QTemporaryDir dir;
};

TEST(HxPackageLoader, buildProvidesTheProbeLibraries) {
    EXPECT_TRUE(QFileInfo::exists(QString::fromStdString(probeLibrary))) << probeLibrary;
    EXPECT_TRUE(QFileInfo::exists(QString::fromStdString(bareLibrary))) << bareLibrary;
    EXPECT_EQ(QFileInfo(QString::fromStdString(bareLibrary)).absolutePath().toStdString(), probeDir);
}

TEST(HxPackageLoader, missingLibraryNamesTheFileAndEveryFolder) {
    QTemporaryDir first, second;
    const std::string a = first.path().toStdString(), b = second.path().toStdString();
    HxPackageLoader loader;
    std::string error;
    EXPECT_FALSE(loader.load("hostnothere", {a, b, "/no/such/folder"}, error));
    EXPECT_EQ(error, "Package \"hostnothere\" not found: no libhostnothere.so in any of these places:\n  " + a +
                         "/libhostnothere.so\n  " + b + "/libhostnothere.so\n  /no/such/folder/libhostnothere.so");
    EXPECT_TRUE(loader.packages().empty());
    EXPECT_EQ(loader.find("hostnothere"), nullptr);
}

TEST(HxPackageLoader, noFoldersToLookIn) {
    HxPackageLoader loader;
    std::string error;
    EXPECT_FALSE(loader.load("hostnothere", {}, error));
    EXPECT_EQ(error, "Package \"hostnothere\" not found: no libhostnothere.so in any of these places:");
}

TEST(HxPackageLoader, libraryWithoutEntryPointsIsRefused) {
    QTemporaryDir empty;
    HxPackageLoader loader;
    std::string error;
    EXPECT_FALSE(loader.load("hostbare", {empty.path().toStdString(), probeDir}, error));
    EXPECT_EQ(error, "Package \"hostbare\": " + probeDir +
                         "/libhostbare.so lacks the entry point(s): vornapackage_hostbare_init "
                         "vornapackage_hostbare_finish vornapackage_hostbare");
    EXPECT_TRUE(loader.packages().empty());
}

TEST(HxPackageLoader, loadFileOfALibraryWithoutEntryPoints) {
    HxPackageLoader loader;
    std::string error;
    EXPECT_FALSE(loader.loadFile("hostbare", bareLibrary, error));
    EXPECT_EQ(error, "Package \"hostbare\": " + bareLibrary +
                         " lacks the entry point(s): vornapackage_hostbare_init vornapackage_hostbare_finish "
                         "vornapackage_hostbare");
    EXPECT_EQ(loader.find("hostbare"), nullptr);
}

TEST(HxPackageLoader, entryPointsAreLookedUpUnderThePackagesName) {
    // The probe library under another package name has none of that name's entry points.
    HxPackageLoader loader;
    std::string error;
    EXPECT_FALSE(loader.loadFile("otherprobe", probeLibrary, error));
    EXPECT_EQ(error, "Package \"otherprobe\": " + probeLibrary +
                         " lacks the entry point(s): vornapackage_otherprobe_init vornapackage_otherprobe_finish "
                         "vornapackage_otherprobe");
}

TEST(HxPackageLoader, fileThatIsNotALibrary) {
    QTemporaryDir dir;
    const std::string junk = pathIn(dir, "libhostjunk.so");
    std::ofstream(junk) << "not a shared object\n";
    HxPackageLoader loader;
    std::string error;
    EXPECT_FALSE(loader.load("hostjunk", {dir.path().toStdString()}, error));
    const std::string prefix = "Package \"hostjunk\": cannot load " + junk + ": ";
    EXPECT_EQ(error.rfind(prefix, 0), 0u) << error;
    EXPECT_GT(error.size(), prefix.size()) << "the system's reason follows";
}

TEST(HxPackageLoader, missingDescriptionIsRefusedBeforeInit) {
    LinkedProbeFolder folder;
    const int initsBefore = initCalls();
    HxPackageLoader loader;
    std::string error;
    EXPECT_FALSE(loader.load("hostprobe", {folder.path()}, error));
    EXPECT_EQ(error, "Package \"hostprobe\": no description file hostprobe.rc beside " + folder.library());
    EXPECT_EQ(initCalls(), initsBefore);
    EXPECT_TRUE(loader.packages().empty());
}

TEST(HxPackageLoader, badDescriptionIsRefusedBeforeInit) {
    LinkedProbeFolder folder("dataClass Fine\nbogus command\n");
    const int initsBefore = initCalls();
    HxPackageLoader loader;
    std::string error;
    EXPECT_FALSE(loader.load("hostprobe", {folder.path()}, error));
    const std::string description =
        QDir::cleanPath(QString::fromStdString(folder.path() + "/share/hostprobe/hostprobe.rc")).toStdString();
    EXPECT_EQ(error, "package description \"" + description + "\": invalid command name \"bogus\"");
    EXPECT_EQ(initCalls(), initsBefore);
    EXPECT_TRUE(loader.packages().empty());
}

TEST(HxPackageLoader, firstFolderWithTheLibraryWins) {
    LinkedProbeFolder withoutDescription;
    QTemporaryDir empty;
    HxPackageLoader loader;
    std::string error;
    // The linked copy comes first and fails; the complete one after it is not tried.
    EXPECT_FALSE(loader.load("hostprobe", {empty.path().toStdString(), withoutDescription.path(), probeDir}, error));
    EXPECT_NE(error.find(withoutDescription.library()), std::string::npos) << error;
    // In the other order the complete one loads.
    EXPECT_TRUE(loader.load("hostprobe", {probeDir, withoutDescription.path()}, error)) << error;
    ASSERT_NE(loader.find("hostprobe"), nullptr);
    EXPECT_EQ(loader.find("hostprobe")->libraryPath, probeDir + "/libhostprobe.so");
    loader.unloadAll();
}

TEST(HxPackageLoader, loadsACompletePackage) {
    HxPackageLoader loader;
    std::string error;
    const int initsBefore = initCalls();
    ASSERT_TRUE(loader.load("hostprobe", {probeDir}, error)) << error;

    const HxPackageLoader::Package* package = loader.find("hostprobe");
    ASSERT_NE(package, nullptr);
    EXPECT_EQ(package->name, "hostprobe");
    EXPECT_EQ(package->libraryPath, probeDir + "/libhostprobe.so");
    EXPECT_EQ(package->buildRecord, "|version_tag|hostprobe|version_patch|7");
    EXPECT_NE(package->handle, nullptr);
    ASSERT_NE(package->description.findClass("HostProbeData"), nullptr);
    EXPECT_EQ(package->description.findClass("HostProbeData")->label, "Probe data");
    ASSERT_NE(package->description.findReader("hpr"), nullptr);
    EXPECT_EQ(package->description.findReader("hpr")->symbol, "hostprobe_read");
    EXPECT_EQ(initCalls(), initsBefore + 1);
    // The package's classes are registered once its library is loaded.
    EXPECT_NE(McTypeInfo::fromName("HostProbeData"), nullptr);
    EXPECT_NE(McTypeInfo::fromName("HostProbeEditor"), nullptr);

    EXPECT_NE(loader.findSymbol("hostprobe_read"), nullptr);
    EXPECT_EQ(loader.findSymbol("hostprobe_no_such_reader"), nullptr);

    const int finishesBefore = finishCalls();
    loader.unloadAll();
    EXPECT_EQ(finishCalls(), finishesBefore + 1);
    EXPECT_TRUE(loader.packages().empty());
    EXPECT_EQ(loader.findSymbol("hostprobe_read"), nullptr);
}

TEST(HxPackageLoader, loadingTwiceKeepsTheLoadedPackage) {
    HxPackageLoader loader;
    std::string error;
    ASSERT_TRUE(loader.loadFile("hostprobe", probeLibrary, error)) << error;
    const int inits = initCalls();
    EXPECT_TRUE(loader.load("hostprobe", {"/no/such/folder"}, error)) << "already loaded: no search";
    EXPECT_TRUE(loader.loadFile("hostprobe", "/no/such/libhostprobe.so", error));
    EXPECT_EQ(loader.packages().size(), 1u);
    EXPECT_EQ(initCalls(), inits) << "init runs once";
    loader.unloadAll();
}

TEST(HxPackageLoader, emptyLoaderFindsNothing) {
    HxPackageLoader loader;
    EXPECT_EQ(loader.find("hostprobe"), nullptr);
    EXPECT_EQ(loader.findSymbol("hostprobe_read"), nullptr);
    loader.unloadAll();  // nothing to finish
}

// ---------------------------------------------------------------------------
// Search folders

class HxPackageLoaderSearchPath : public ::testing::Test {
protected:
    void SetUp() override {
        if (const char* old = std::getenv(HxPackageLoader::searchPathVariable)) {
            saved = old;
            hadValue = true;
        }
    }
    void TearDown() override {
        if (hadValue)
            setenv(HxPackageLoader::searchPathVariable, saved.c_str(), 1);
        else
            unsetenv(HxPackageLoader::searchPathVariable);
    }
    static std::string canonical(const std::string& dir) {
        return QDir(QString::fromStdString(dir)).canonicalPath().toStdString();
    }

    std::string saved;
    bool hadValue = false;
};

TEST_F(HxPackageLoaderSearchPath, programFolderComesFirst) {
    unsetenv(HxPackageLoader::searchPathVariable);
    const auto dirs = HxPackageLoader::defaultSearchDirs();
    ASSERT_EQ(dirs.size(), 1u);
    EXPECT_EQ(canonical(dirs[0]), canonical(HOST_TEST_PROGRAM_DIR));
}

TEST_F(HxPackageLoaderSearchPath, variableAddsFoldersInOrderSkippingEmptyOnes) {
    setenv(HxPackageLoader::searchPathVariable, ":/opt/one::/opt/two:", 1);
    const auto dirs = HxPackageLoader::defaultSearchDirs();
    ASSERT_EQ(dirs.size(), 3u);
    EXPECT_EQ(canonical(dirs[0]), canonical(HOST_TEST_PROGRAM_DIR));
    EXPECT_EQ(dirs[1], "/opt/one");
    EXPECT_EQ(dirs[2], "/opt/two");
}

TEST_F(HxPackageLoaderSearchPath, emptyVariableAddsNothing) {
    setenv(HxPackageLoader::searchPathVariable, "", 1);
    EXPECT_EQ(HxPackageLoader::defaultSearchDirs().size(), 1u);
}

}  // namespace
