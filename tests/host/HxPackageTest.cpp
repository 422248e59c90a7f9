// Package descriptions (read in a safe interpreter) and the loader, with the probe package built beside this test.
#include <TestFiles.h>
#include <hxcore/HxPackageDescription.h>
#include <hxcore/HxPackageLoader.h>

#include <QDir>
#include <QFile>
#include <dlfcn.h>
#include <gtest/gtest.h>

namespace {

const std::string probeDir = HOST_PROBE_DIR, probeLibrary = HOST_PROBE_LIBRARY;

// The probe package's call counters; 0 while its library is not loaded.
int probeCounter(const char* symbol) {
    void* handle = dlopen(probeLibrary.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (!handle) return 0;
    const int value = reinterpret_cast<int (*)()>(dlsym(handle, symbol))();
    dlclose(handle);  // drops only the reference taken here
    return value;
}

// A folder in which libhostprobe.so links to the probe library, with the given description or none.
struct LinkedProbe : TempFolder {
    explicit LinkedProbe(const char* description = nullptr) {
        QFile::link(QString::fromStdString(probeLibrary), QString::fromStdString(path("libhostprobe.so")));
        if (!description) return;
        QDir(dir.path()).mkpath("share/hostprobe");
        write("share/hostprobe/hostprobe.rc", description);
    }
};

TEST(HxPackageLoader, refusesMissingLibrariesAndLibrariesThatAreNoPackages) {
    HxPackageLoader loader;
    std::string error;
    EXPECT_FALSE(loader.load("hostnothere", {probeDir, "/no/such"}, error));
    EXPECT_EQ(error, "Package \"hostnothere\" not found: no libhostnothere.so in any of these places:\n  " + probeDir +
                         "/libhostnothere.so\n  /no/such/libhostnothere.so");
    // The entry points are looked up under the package's name.
    EXPECT_FALSE(loader.loadFile("otherprobe", probeLibrary, error));
    EXPECT_EQ(error, "Package \"otherprobe\": " + probeLibrary +
                         " lacks the entry point(s): vornapackage_otherprobe_init vornapackage_otherprobe_finish "
                         "vornapackage_otherprobe");
    TempFolder junk;
    junk.write("libhostjunk.so", "not a shared object\n");
    EXPECT_FALSE(loader.load("hostjunk", {junk.path()}, error));
    EXPECT_EQ(error.rfind("Package \"hostjunk\": cannot load " + junk.path("libhostjunk.so") + ": ", 0), 0u) << error;
    EXPECT_TRUE(loader.packages().empty());
}

TEST(HxPackageLoader, missingBadOrEndlessDescriptionsAreRefusedBeforeInit) {
    const int initsBefore = probeCounter("hostprobe_init_calls");
    HxPackageLoader loader;
    std::string error;
    LinkedProbe bare;
    EXPECT_FALSE(loader.load("hostprobe", {bare.path(), probeDir}, error)) << "the first folder wins, even failing";
    EXPECT_EQ(error, "Package \"hostprobe\": no description file hostprobe.rc beside " + bare.path("libhostprobe.so"));
    const int limit = HxPackageDescription::timeLimit();
    HxPackageDescription::setTimeLimit(50);
    for (const auto& [text, why] : std::initializer_list<std::pair<const char*, const char*>>{
             {"bogus command\n", "invalid command name \"bogus\""},
             {"while 1 {catch {while 1 {}}}\n", "stopped after running for 50 ms (an endless loop?)"}}) {
        LinkedProbe bad(text);
        EXPECT_FALSE(loader.load("hostprobe", {bad.path()}, error));
        const QString rc = QDir::cleanPath(QString::fromStdString(bad.path("share/hostprobe/hostprobe.rc")));
        EXPECT_EQ(error, "Package \"hostprobe\" not loaded: package description \"" + rc.toStdString() + "\": " + why);
    }
    HxPackageDescription::setTimeLimit(limit);
    EXPECT_EQ(probeCounter("hostprobe_init_calls"), initsBefore);
    EXPECT_TRUE(loader.packages().empty());
}

TEST(HxPackageLoader, loadsACompletePackageOnceAndFinishesItAtUnload) {
    HxPackageLoader loader;
    std::string error;
    const int initsBefore = probeCounter("hostprobe_init_calls");
    ASSERT_TRUE(loader.load("hostprobe", {"/no/such", probeDir}, error)) << error;
    const HxPackageLoader::Package* package = loader.find("hostprobe");
    ASSERT_NE(package, nullptr);
    EXPECT_EQ(package->libraryPath, probeDir + "/libhostprobe.so");
    EXPECT_EQ(package->description.findClass("HostProbeData")->label, "Probe data");
    EXPECT_TRUE(loader.load("hostprobe", {"/no/such"}, error)) << "already loaded: no search";
    EXPECT_EQ(probeCounter("hostprobe_init_calls"), initsBefore + 1) << "init runs once";
    const int finishesBefore = probeCounter("hostprobe_finish_calls");
    loader.unloadAll();
    EXPECT_EQ(probeCounter("hostprobe_finish_calls"), finishesBefore + 1);
}

TEST(HxPackageDescription, readsClassesEditorsAndReadersWithPlainTcl) {
    TempFolder folder;
    HxPackageDescription d;
    std::string error;
    ASSERT_TRUE(d.read(folder.write("pkg.rc", R"(dataClass HxPathData -label "Camera path" -category "Animation"
dataClass HxHidden -create 0
editor HxPathEditor -edits HxPathData
foreach ext {one two} { reader -extension $ext -format "Format $ext" -symbol read_$ext })"),
                       error))
        << error;
    EXPECT_EQ(d.findClass("HxPathData")->category + "|" + d.findClass("HxHidden")->label, "Animation|HxHidden");
    EXPECT_FALSE(d.findClass("HxHidden")->userCreatable);
    EXPECT_EQ(d.findEditorFor("HxPathData")->editorClass, "HxPathEditor");
    EXPECT_EQ(d.findReader("two")->symbol + "|" + d.findReader("two")->formatName, "read_two|Format two");
}

// Nothing is kept of a refused file, and it cannot start programs, touch files or load code.
TEST(HxPackageDescription, badOrUnsafeFilesAreRefusedWithTheirReason) {
    TempFolder folder;
    const std::string victim = folder.write("victim", "keep me");
    for (const auto& [text, message] : std::initializer_list<std::pair<std::string, std::string>>{
             {"dataClass A -colour red", "dataClass: unknown option \"-colour\""},
             {"reader -extension a", "reader: -extension and -symbol are required"},
             {"dataClass A\nreader -extension a -symbol r\nerror {stop here}", "stop here"},
             {"exec rm " + victim, "invalid command name \"exec\""},
             {"load " + victim, "invalid command name \"load\""}}) {
        HxPackageDescription fresh;
        std::string error;
        const std::string file = folder.write("bad.rc", text);
        EXPECT_FALSE(fresh.read(file, error)) << text;
        EXPECT_EQ(error, "package description \"" + file + "\": " + message);
        EXPECT_TRUE(fresh.dataClasses.empty() && fresh.readers.empty()) << text;
    }
    EXPECT_EQ(slurp(victim), "keep me");
}

}  // namespace
