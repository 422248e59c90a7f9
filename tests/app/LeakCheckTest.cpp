// The leak suppressions hide only the libraries' own one-time allocations: in a
// process that started Qt widgets and GL rendering, a leak planted in a script
// command is the one leak reported. Built with the sanitizers only.
#include "VornaRunner.h"

#include <WidgetApplication.h>
#include <hxcore/HxInterpreter.h>
#include <viewer/HxController.h>
#include <viewer/HxViewer.h>

#include <QImage>
#include <QLabel>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <cstdlib>
#include <filesystem>
#include <tcl.h>

using ::testing::HasSubstr;

// A script command that loses what it allocates.
static char* volatile lastAllocation = nullptr;
static int plantedLeakCommand(void*, Tcl_Interp*, int, const char**) {
    lastAllocation = new char[48];
    lastAllocation = nullptr;
    return TCL_OK;
}

TEST(PlantedLeak, child) {
    if (!std::getenv("VORNA_PLANT_LEAK")) GTEST_SKIP() << "runs in the child of aLeakInAScriptCommandIsReported";
    ensureWidgetApplication();
    QLabel("text").grab();
    QImage image;
    std::string error;
    EXPECT_TRUE(theController->viewer(0)->renderImage(image, error)) << error;
    theController->reset();
    theInterpreter->createCommand("plantLeak", plantedLeakCommand);
    EXPECT_EQ(theInterpreter->eval("plantLeak"), TCL_OK);
}

TEST(PlantedLeak, aLeakInAScriptCommandIsReported) {
    const VornaRun run =
        runProgram(std::filesystem::read_symlink("/proc/self/exe"), {"--gtest_filter=PlantedLeak.child"},
                   {"VORNA_PLANT_LEAK=1", "LSAN_OPTIONS=suppressions=" LSAN_SUPPRESSIONS ":print_suppressions=0"});
    EXPECT_NE(run.exitCode, 0);
    EXPECT_THAT(run.out, HasSubstr("[       OK ] PlantedLeak.child"));
    EXPECT_THAT(run.err, HasSubstr("plantedLeakCommand"));
    EXPECT_THAT(run.err, HasSubstr("SUMMARY: AddressSanitizer: 48 byte(s) leaked in 1 allocation(s).")) << run.err;
}
