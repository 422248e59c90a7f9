// Shared main of the test programs: the scene database and the host's script
// commands exist before any test runs; the console is captured, not echoed.
#include <hxcore/HxApplication.h>
#include <hxcore/HxMessage.h>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    HxApplication::initCommands();
    theMsg->setEchoToStdout(false);
    const int result = RUN_ALL_TESTS();
    HxApplication::shutdown();
    return result;
}
