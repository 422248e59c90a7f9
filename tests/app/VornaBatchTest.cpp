// vorna in batch: exit codes, console output and messages for bad input.
#include "VornaRunner.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <filesystem>
#include <fstream>
#include <tuple>

using ::testing::HasSubstr;
using ::testing::Not;

TEST(VornaBatch, errorsAndQuitEndTheScriptWithTheirCode) {
    const std::tuple<const char*, int, const char*> cases[] = {
        {"thisIsNoCommand 1 2", 1, "invalid command name \"thisIsNoCommand\""},
        {"proc leave {} { quit 3 }\nleave", 3, ""},
        // Tcl's own exit, with an object, its port widgets and a viewer's GL state to shut down.
        {"create HxKeyframeCameraPath\nviewer 0 redraw\nexit 3", 3, ""}};
    for (const auto& [script, exitCode, error] : cases) {
        VornaRun run = runVornaScript(std::string("puts before\n") + script + "\nputs after\n");
        EXPECT_EQ(run.exitCode, exitCode) << script;
        EXPECT_THAT(run.out, HasSubstr("before"));
        EXPECT_THAT(run.out, Not(HasSubstr("after")));
        EXPECT_THAT(run.err, HasSubstr(error));
        EXPECT_THAT(run.err, HasSubstr(exitCode == 1 ? "line 2" : ""));
    }
    VornaRun missing = runProgram(VORNA_BINARY, {"/nonexistent/script.tcl"});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_THAT(missing.err, HasSubstr("/nonexistent/script.tcl"));
}

TEST(VornaPrompt, withoutScriptOrDisplayCommandsAreReadFromTheTerminal) {
    const VornaRun run = runProgram(VORNA_BINARY, {}, {"DISPLAY=", "WAYLAND_DISPLAY="}, {}, 60,
                                    "puts [expr {1+2}]\nnosuch\ncreate HxKeyframeCameraPath\nquit 4\nputs after\n");
    EXPECT_EQ(run.exitCode, 4);
    EXPECT_THAT(run.out, HasSubstr("3\n"));
    EXPECT_THAT(run.out, HasSubstr("HxKeyframeCameraPath\n"));
    EXPECT_THAT(run.out + run.err, HasSubstr("invalid command name \"nosuch\""));
    EXPECT_THAT(run.out, Not(HasSubstr("after")));
}

TEST(VornaBatch, packageNotFoundNamesEveryPlaceLookedIn) {
    // A copy of the program in a folder without the package, and a search path
    // that leads nowhere.
    const std::string dir = makeTempDir();
    std::filesystem::copy_file(VORNA_BINARY, dir + "/vorna");
    VornaRun run = runProgram(dir + "/vorna", {DEMO_SCRIPT}, {"VORNA_PACKAGE_PATH=/nowhere/a:/nowhere/b"});
    EXPECT_EQ(run.exitCode, 2);
    for (const std::string& place : {dir, std::string("/nowhere/a"), std::string("/nowhere/b")})
        EXPECT_THAT(run.err, HasSubstr(place + "/libvevazaru.so"));
}

TEST(VornaBatch, everyPackageOnTheSearchPathLoadsAndABrokenOneStopsTheProgram) {
    const std::string script = "puts [create HostProbeData]\n";
    const std::string probeDir = std::filesystem::path(HOST_PROBE_LIBRARY).parent_path();
    VornaRun with = runVornaScript(script, {"VORNA_PACKAGE_PATH=/nowhere:" + probeDir});
    EXPECT_EQ(with.exitCode, 0) << with.err;
    EXPECT_EQ(with.out, "HostProbeData\n");

    // Under another name the probe library lacks that name's entry points.
    const std::string broken = makeTempDir();
    std::filesystem::create_symlink(HOST_PROBE_LIBRARY, broken + "/libhostbare.so");
    std::filesystem::create_directories(broken + "/share/hostbare");
    std::ofstream(broken + "/share/hostbare/hostbare.rc") << "dataClass HostBare\n";
    VornaRun refused = runVornaScript(script, {"VORNA_PACKAGE_PATH=" + probeDir + ":" + broken});
    EXPECT_EQ(refused.exitCode, 2);
    EXPECT_THAT(refused.err, HasSubstr("vorna: Package \"hostbare\": " + broken +
                                       "/libhostbare.so lacks the entry point(s): vornapackage_hostbare_init"));
}
