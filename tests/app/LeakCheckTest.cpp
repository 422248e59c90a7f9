// The leak suppressions hide only the libraries' own one-time allocations: a
// leak planted in a script command, in a process that has also started the
// scene database, the interpreter, Qt widgets and GL rendering, is the one
// leak LeakSanitizer reports. Built with the sanitizers only.
#include "VornaRunner.h"

#include <WidgetApplication.h>
#include <hxcore/HxInterpreter.h>
#include <viewer/HxController.h>
#include <viewer/HxViewer.h>

#include <QImage>
#include <QLabel>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <climits>
#include <cstdlib>
#include <tcl.h>
#include <unistd.h>

using ::testing::HasSubstr;

namespace {
const char* const childVariable = "VORNA_PLANT_LEAK";

char* volatile lastAllocation = nullptr;

// A script command that loses what it allocates.
int plantedLeakCommand(void*, Tcl_Interp*, int, const char**) {
    lastAllocation = new char[48];
    lastAllocation = nullptr;
    return TCL_OK;
}

std::string thisProgram() {
    char path[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    return n > 0 ? std::string(path, static_cast<size_t>(n)) : std::string();
}
}  // namespace

// Runs only in the child process of the test below.
TEST(PlantedLeak, child) {
    if (!std::getenv(childVariable)) GTEST_SKIP() << "runs in the child of aLeakInAScriptCommandIsReported";
    ensureWidgetApplication();
    QLabel label("text");
    label.grab();
    QImage image;
    std::string error;
    EXPECT_TRUE(theController->viewer(0)->renderImage(image, error)) << error;
    theController->reset();
    theInterpreter->createCommand("plantLeak", plantedLeakCommand);
    EXPECT_EQ(theInterpreter->eval("plantLeak"), TCL_OK);
}

TEST(PlantedLeak, aLeakInAScriptCommandIsReported) {
    const VornaRun run = runProgram(
        thisProgram(), {"--gtest_filter=PlantedLeak.child"},
        {std::string(childVariable) + "=1", "LSAN_OPTIONS=suppressions=" LSAN_SUPPRESSIONS ":print_suppressions=0"});
    EXPECT_NE(run.exitCode, 0);
    EXPECT_THAT(run.out, HasSubstr("[       OK ] PlantedLeak.child"));
    EXPECT_THAT(run.err, HasSubstr("ERROR: LeakSanitizer: detected memory leaks"));
    EXPECT_THAT(run.err, HasSubstr("plantedLeakCommand"));
    EXPECT_THAT(run.err, HasSubstr("SUMMARY: AddressSanitizer: 48 byte(s) leaked in 1 allocation(s).")) << run.err;
}
