// vorna in batch: exit codes, console output and messages for bad input.
#include "VornaRunner.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <fstream>
#include <sys/stat.h>

using ::testing::HasSubstr;

TEST(VornaBatch, demoPrintsTheKeyframePathInfo) {
    VornaRun run = runProgram(VORNA_BINARY, {DEMO_SCRIPT});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_THAT(run.out, HasSubstr("Camera Path: 3 keyframes (not closed), total time 20.0\n"));
    EXPECT_THAT(run.out, HasSubstr("Camera Path: 17 keyframes (closed), total time 100.0\n"));
}

TEST(VornaBatch, scriptErrorExitsNonZeroWithTheLine) {
    VornaRun run = runVornaScript("puts before\nthisIsNoCommand 1 2\nputs after\n");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_THAT(run.out, HasSubstr("before"));
    EXPECT_THAT(run.out, ::testing::Not(HasSubstr("after")));
    EXPECT_THAT(run.err, HasSubstr("invalid command name \"thisIsNoCommand\""));
    EXPECT_THAT(run.err, HasSubstr("line 2"));
}

TEST(VornaBatch, unknownTypeIsAClearError) {
    VornaRun run = runVornaScript("create NoSuchType\n");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_THAT(run.err, HasSubstr("create: unknown type \"NoSuchType\""));
}

TEST(VornaBatch, unknownObjectCommandIsAnError) {
    VornaRun run = runVornaScript("set p [create HxKeyframeCameraPath]\n$p frobnicate\n");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_THAT(run.err, HasSubstr("unknown command \"frobnicate\""));
}

TEST(VornaBatch, quitEndsTheScriptWithItsCode) {
    VornaRun run = runVornaScript("proc leave {} { quit 3 }\nputs one\nleave\nputs two\n");
    EXPECT_EQ(run.exitCode, 3);
    EXPECT_THAT(run.out, HasSubstr("one"));
    EXPECT_THAT(run.out, ::testing::Not(HasSubstr("two")));
}

TEST(VornaBatch, missingScriptFileFails) {
    VornaRun run = runProgram(VORNA_BINARY, {"/nonexistent/script.tcl"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_THAT(run.err, HasSubstr("/nonexistent/script.tcl"));
}

TEST(VornaBatch, packageNotFoundNamesEveryPlaceLookedIn) {
    // A copy of the program in a folder without the package, and a search path
    // that leads nowhere.
    const std::string dir = makeTempDir();
    const std::string copy = dir + "/vorna";
    {
        std::ifstream in(VORNA_BINARY, std::ios::binary);
        std::ofstream out(copy, std::ios::binary);
        out << in.rdbuf();
    }
    chmod(copy.c_str(), 0755);
    VornaRun run = runProgram(copy, {DEMO_SCRIPT}, {"VORNA_PACKAGE_PATH=/nowhere/a:/nowhere/b"});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_THAT(run.err, HasSubstr("libvevazaru.so"));
    EXPECT_THAT(run.err, HasSubstr(dir + "/libvevazaru.so"));
    EXPECT_THAT(run.err, HasSubstr("/nowhere/a/libvevazaru.so"));
    EXPECT_THAT(run.err, HasSubstr("/nowhere/b/libvevazaru.so"));
}
