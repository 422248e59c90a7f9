// vorna in batch: exit codes, console output and messages for bad input.
#include "VornaRunner.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>

using ::testing::HasSubstr;
using ::testing::Not;

TEST(VornaBatch, demoPrintsTheKeyframePathInfo) {
    VornaRun run = runProgram(VORNA_BINARY, {DEMO_SCRIPT});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_THAT(run.out, HasSubstr("Camera Path: 3 keyframes (not closed), total time 20.0\n"));
    EXPECT_THAT(run.out, HasSubstr("Camera Path: 17 keyframes (closed), total time 100.0\n"));
}

TEST(VornaBatch, errorsAndQuitEndTheScriptWithTheirCode) {
    const struct {
        const char* script;
        int exitCode;
        const char* error;
    } cases[] = {{"puts before\nthisIsNoCommand 1 2\nputs after\n", 1, "invalid command name \"thisIsNoCommand\""},
                 {"puts before\ncreate NoSuchType\nputs after\n", 1, "create: unknown type \"NoSuchType\""},
                 {"set p [create HxKeyframeCameraPath]\nputs before\n$p frobnicate\nputs after\n", 1,
                  "unknown command \"frobnicate\""},
                 {"proc leave {} { quit 3 }\nputs before\nleave\nputs after\n", 3, ""},
                 // Tcl's own exit, with an object, its port widgets and a viewer's GL state to shut down.
                 {"create HxKeyframeCameraPath\nviewer 0 redraw\n"
                  "proc leave {} { exit 3 }\nputs before\nleave\nputs after\n",
                  3, ""}};
    for (const auto& c : cases) {
        VornaRun run = runVornaScript(c.script);
        EXPECT_EQ(run.exitCode, c.exitCode) << c.script;
        EXPECT_THAT(run.out, HasSubstr("before"));
        EXPECT_THAT(run.out, Not(HasSubstr("after")));
        EXPECT_THAT(run.err, HasSubstr(c.error));
    }
    EXPECT_THAT(runVornaScript(std::string(cases[0].script)).err, HasSubstr("line 2"));
    VornaRun missing = runProgram(VORNA_BINARY, {"/nonexistent/script.tcl"});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_THAT(missing.err, HasSubstr("/nonexistent/script.tcl"));
}

TEST(VornaBatch, packageNotFoundNamesEveryPlaceLookedIn) {
    // A copy of the program in a folder without the package, and a search path
    // that leads nowhere.
    const std::string dir = makeTempDir();
    const std::string copy = dir + "/vorna";
    std::ofstream(copy, std::ios::binary) << std::ifstream(VORNA_BINARY, std::ios::binary).rdbuf();
    chmod(copy.c_str(), 0755);
    VornaRun run = runProgram(copy, {DEMO_SCRIPT}, {"VORNA_PACKAGE_PATH=/nowhere/a:/nowhere/b"});
    EXPECT_EQ(run.exitCode, 2);
    for (const std::string& place :
         {dir + "/libvevazaru.so", std::string("/nowhere/a/libvevazaru.so"), std::string("/nowhere/b/libvevazaru.so")})
        EXPECT_THAT(run.err, HasSubstr(place));
}

TEST(VornaBatch, versionIsTheProjectVersion) {
    VornaRun run = runProgram(VORNA_BINARY, {"-version"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, "vorna " VORNA_VERSION "\n");
}

// Besides its own package the program loads every package it finds on the
// search path; one that cannot be loaded stops it as a missing one does.
TEST(VornaBatch, packagesOnTheSearchPathAreLoaded) {
    const std::string script = "puts [create HostProbeData]\n";
    VornaRun without = runVornaScript(script);
    EXPECT_EQ(without.exitCode, 1);
    EXPECT_THAT(without.err, HasSubstr("create: unknown type \"HostProbeData\""));

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
    EXPECT_EQ(refused.out, "");
    EXPECT_THAT(refused.err, HasSubstr("vorna: Package \"hostbare\": " + broken +
                                       "/libhostbare.so lacks the entry point(s): vornapackage_hostbare_init"));
}
