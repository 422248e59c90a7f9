// Every save of the program, failing on a full tmpfs (mounted by root) and, for
// saveNetwork, onto a folder: the command reports the system's reason, and the
// old files stay byte for byte, with no temporary file left. Renders.
#include "VornaRunner.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <map>
#include <sys/mount.h>
#include <unistd.h>
#include <utility>

namespace fs = std::filesystem;
using ::testing::HasSubstr;

namespace {
// %D: the folder, full or holding a folder named net.tcl; %E: the full disk's reason.
const struct {
    bool fullDisk;
    const char* command;
    const char* result;  // the command's Tcl error
    const char* report;  // the console line that names the file and the reason
} failedSaves[] = {
    {true, R"(Flight save "Camerapath Inventor" %D/a.civ)",
     R"(Flight: could not save "%D/a.civ" as "Camerapath Inventor")",
     R"(Error: Couldn't write camera file "%D/a.civ": %E)"},
    {true, R"(Flight save "Vorna binary" %D/b.vm)", R"(Flight: could not save "%D/b.vm" as "Vorna binary")",
     "%D/b.vm: cannot write: %E"},
    {true, R"(Flight save "Pexil Brio" %D/d.brio)", R"(Flight: could not save "%D/d.brio" as "Pexil Brio")",
     "%D/d.brio: cannot write: %E"},
    {true, R"(Circle save "Pexil Brio" %D/e.brio)", R"(Circle: could not save "%D/e.brio" as "Pexil Brio")",
     "%D/e.brio: cannot write: %E"},
    {true, R"(Scene save "Inventor scene" %D/g.iv)", R"(Scene: could not save "%D/g.iv" as "Inventor scene")",
     R"(Scene: cannot write "%D/g.iv": %E)"},
    {true, "viewer 0 snapshot %D/s.png", R"(viewer snapshot: cannot write "%D/s.png": %E)", ""},
    {true, "movie -object Flight -viewer 0 -frames 2 -size 16 16 -out %D/f%04d.png",
     R"(movie: frame 0: cannot write "%D/f0000.png": %E)", ""},
    {true, "movie -object Flight -viewer 0 -frames 2 -size 16 16 -out %D/m.mp4",
     R"(movie: cannot write "%D/m.mp4": %E)", ""},
    {true, "saveNetwork %D/net.tcl", R"(saveNetwork: could not save object "Flight": cannot write "%D/Flight.vm": %E)",
     "%D/Flight.vm: cannot write: %E"},
    {false, "saveNetwork %D/net.tcl", R"(saveNetwork: cannot write "%D/net.tcl": Is a directory)", ""},
};

// Names and contents of a folder's files (a folder shows as "/", the filler by its size).
std::map<std::string, std::string> contents(const std::string& dir) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::directory_iterator(dir)) {
        const std::string name = entry.path().filename().string();
        files[name] = entry.is_directory() ? "/"
                      : name == "filler"   ? std::to_string(entry.file_size())
                                           : slurp(entry.path());
    }
    return files;
}

std::string expand(std::string text, const std::string& dir) {
    for (const auto& [from, to] : {std::pair<std::string, std::string>{"%D", dir}, {"%E", std::strerror(ENOSPC)}})
        for (std::size_t at; (at = text.find(from)) != std::string::npos;) text.replace(at, 2, to);
    return text;
}

// A small tmpfs on a fresh folder, taken away however the test ends.
struct SmallDisk {
    const std::string dir = makeTempDir();
    const bool mounted = mount("tmpfs", dir.c_str(), "tmpfs", 0, "size=64k") == 0;
    ~SmallDisk() {
        if (mounted) umount(dir.c_str());
        fs::remove_all(dir);
    }
};
}  // namespace

TEST(FailedSaves, reportTheReasonAndKeepTheOldFiles) {
    const SmallDisk full;
    if (!full.mounted) GTEST_SKIP() << "cannot mount a small tmpfs (" << std::strerror(errno) << "); needs root";
    for (const char* file :
         {"a.civ", "b.vm", "d.brio", "e.brio", "g.iv", "s.png", "f0000.png", "m.mp4", "net.tcl", "Flight.vm"})
        std::ofstream(full.dir + "/" + file) << "old " << file << "\n";
    // Takes every free block: the next write of a byte fails.
    const int fd = open((full.dir + "/filler").c_str(), O_WRONLY | O_CREAT, 0644);
    for (const std::vector<char> block(4096); ::write(fd, block.data(), block.size()) > 0;) {}
    EXPECT_EQ(errno, ENOSPC);
    close(fd);
    const std::string other = makeTempDir();
    std::ofstream(other + "/Flight.vm") << "old Flight.vm\n";
    fs::create_directory(other + "/net.tcl");
    const auto before = contents(full.dir), otherBefore = contents(other);

    std::string script = std::string(flightScript) + "create HxCircularCameraPath Circle\nloadDefaultScene Scene\n";
    for (const auto& save : failedSaves)
        script +=
            "puts \"caught [catch {" + expand(save.command, save.fullDisk ? full.dir : other) + "} msg]: $msg\"\n";
    // The sanitizer's leak check at exit now and then crashes in its thread
    // tracer while the GL driver's threads end; other tests check for leaks.
    const VornaRun run = runVornaScript(script, {"ASAN_OPTIONS=detect_leaks=0"});
    ASSERT_EQ(run.exitCode, 0) << run.err << run.out;
    for (const auto& save : failedSaves) {
        const std::string& dir = save.fullDisk ? full.dir : other;
        EXPECT_THAT(run.out, HasSubstr("caught 1: " + expand(save.result, dir) + "\n"));
        EXPECT_THAT(run.out, HasSubstr(*save.report ? expand(save.report, dir) + "\n" : ""));
    }
    EXPECT_EQ(contents(full.dir), before);
    EXPECT_EQ(contents(other), otherBefore);
}
