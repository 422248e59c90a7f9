// Every save of the program, failing: on a full file system (a small tmpfs,
// which only root may mount) and, for saveNetwork, onto a folder. The command
// reports the system's reason, and the files already there stay byte for byte
// with no temporary file left beside them. Renders (label "render").
#include "VornaRunner.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <sys/mount.h>
#include <unistd.h>

namespace fs = std::filesystem;
using ::testing::HasSubstr;

namespace {
struct FailedSave {
    const char* name;
    bool fullDisk;                      // false: the target is a folder instead
    std::vector<const char*> existing;  // files there before the save
    const char* command;                // Tcl; %D is the folder
    const char* result;                 // the command's Tcl error
    const char* report;                 // the line that names the file and the reason
};

const FailedSave failedSaves[] = {
    {"CamerapathInventor",
     true,
     {"a.civ"},
     R"(Flight save "Camerapath Inventor" %D/a.civ)",
     R"(Flight: could not save "%D/a.civ" as "Camerapath Inventor")",
     R"(Error: Couldn't write camera file "%D/a.civ": No space left on device)"},
    {"VornaBinary",
     true,
     {"b.vm"},
     R"(Flight save "Vorna binary" %D/b.vm)",
     R"(Flight: could not save "%D/b.vm" as "Vorna binary")",
     "%D/b.vm: cannot write: No space left on device"},
    {"PexilBinary",
     true,
     {"c.vm"},
     R"(Flight save "Pexil binary" %D/c.vm)",
     R"(Flight: could not save "%D/c.vm" as "Pexil binary")",
     "%D/c.vm: cannot write: No space left on device"},
    {"PexilBrio",
     true,
     {"d.brio"},
     R"(Flight save "Pexil Brio" %D/d.brio)",
     R"(Flight: could not save "%D/d.brio" as "Pexil Brio")",
     "%D/d.brio: cannot write: No space left on device"},
    {"CircularPath",
     true,
     {"e.brio"},
     R"(Circle save "Pexil Brio" %D/e.brio)",
     R"(Circle: could not save "%D/e.brio" as "Pexil Brio")",
     "%D/e.brio: cannot write: No space left on device"},
    {"InventorScene",
     true,
     {"g.iv"},
     R"(Scene save "Inventor scene" %D/g.iv)",
     R"(Scene: could not save "%D/g.iv" as "Inventor scene")",
     R"(Scene: cannot write "%D/g.iv": No space left on device)"},
    {"Snapshot",
     true,
     {"s.png"},
     "viewer 0 snapshot %D/s.png",
     R"(viewer snapshot: cannot write "%D/s.png": No space left on device)",
     nullptr},
    {"MovieFrame",
     true,
     {"f0000.png"},
     "movie -object Flight -viewer 0 -frames 2 -size 16 16 -out %D/f%04d.png",
     R"(movie: frame 0: cannot write "%D/f0000.png": No space left on device)",
     nullptr},
    {"MovieVideo",
     true,
     {"m.mp4"},
     "movie -object Flight -viewer 0 -frames 2 -size 16 16 -out %D/m.mp4",
     R"(movie: cannot write "%D/m.mp4": No space left on device)",
     nullptr},
    {"SaveNetwork",
     true,
     {"net.tcl", "Flight.vm"},
     "saveNetwork %D/net.tcl",
     R"(saveNetwork: could not save object "Flight": cannot write "%D/Flight.vm": No space left on device)",
     "%D/Flight.vm: cannot write: No space left on device"},
    {"SaveNetworkOntoAFolder",
     false,
     {"Flight.vm"},
     "saveNetwork %D/net.tcl",
     R"(saveNetwork: cannot write "%D/net.tcl": Is a directory)",
     nullptr},
};

void PrintTo(const FailedSave& save, std::ostream* out) { *out << save.name; }

std::string expand(std::string text, const std::string& dir) {
    for (std::size_t at; (at = text.find("%D")) != std::string::npos;) text.replace(at, 2, dir);
    return text;
}

std::string slurp(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Names and contents of the files in a folder (a folder shows as "/", the
// filler by its size).
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

class FailedSaves : public ::testing::TestWithParam<FailedSave> {
protected:
    void SetUp() override {
        workDir = makeTempDir();
        dir = makeTempDir();
        if (!GetParam().fullDisk) return;
        if (mount("tmpfs", dir.c_str(), "tmpfs", 0, "size=64k") != 0)
            GTEST_SKIP() << "cannot mount a small tmpfs on " << dir << " (" << std::strerror(errno)
                         << "); this test needs root";
        mounted = true;
    }
    void TearDown() override {
        if (mounted) {
            EXPECT_EQ(umount(dir.c_str()), 0) << std::strerror(errno);
        }
        std::error_code ignored;
        fs::remove_all(dir, ignored);
        fs::remove_all(workDir, ignored);
    }
    // Takes every free block: the next write of a byte fails.
    void fillUp() {
        const int fd = open((dir + "/filler").c_str(), O_WRONLY | O_CREAT, 0644);
        ASSERT_GE(fd, 0) << std::strerror(errno);
        const std::vector<char> block(4096);
        while (::write(fd, block.data(), block.size()) > 0) {}
        EXPECT_EQ(errno, ENOSPC);
        close(fd);
    }
    VornaRun run(const std::string& command) {
        std::ofstream(workDir + "/script.tcl") << R"(
create HxKeyframeCameraPath Flight
viewer 0 setCamera 0 0 10   0 0 0   0 1 0
Flight append
viewer 0 setCamera 10 2 0   0 0 0   0 1 0
Flight append
Flight fire
create HxCircularCameraPath Circle
loadDefaultScene Scene
puts "caught [catch {)" + command + R"(} msg]: $msg"
)";
        // The sanitizer build's leak check at the child's exit now and then
        // crashes in its own thread tracer while the GL driver's threads end;
        // leaks of the program are checked by the other script tests.
        return runProgram(VORNA_BINARY, {workDir + "/script.tcl"}, {"ASAN_OPTIONS=detect_leaks=0"}, workDir);
    }
    std::string workDir, dir;
    bool mounted = false;
};
}  // namespace

TEST_P(FailedSaves, reportTheReasonAndKeepTheOldFiles) {
    const FailedSave& save = GetParam();
    for (const char* file : save.existing) std::ofstream(dir + "/" + file) << "old " << file << "\n";
    if (save.fullDisk)
        fillUp();
    else
        fs::create_directory(dir + "/net.tcl");
    const auto before = contents(dir);

    const VornaRun result = run(expand(save.command, dir));
    ASSERT_EQ(result.exitCode, 0) << result.err << result.out;
    EXPECT_THAT(result.out, HasSubstr("caught 1: " + expand(save.result, dir) + "\n"));
    if (save.report) {
        EXPECT_THAT(result.out, HasSubstr(expand(save.report, dir) + "\n"));
    }
    EXPECT_EQ(contents(dir), before);
}

INSTANTIATE_TEST_SUITE_P(EveryWriter, FailedSaves, ::testing::ValuesIn(failedSaves),
                         [](const ::testing::TestParamInfo<FailedSave>& row) { return std::string(row.param.name); });
