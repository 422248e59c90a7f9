// The circular camera path in real Tcl scripts run by vorna: the time port turns
// the main viewer's camera, the four vector commands, the action port, saving.
#include "VornaRunner.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

using ::testing::HasSubstr;
using ::testing::Not;

namespace {
// "at t" sets the time of path c, fires it and prints the main viewer's
// position, rounded by "r".
const char* atProc = R"(
proc at {t} {
    c time setValue $t
    c fire
    puts "at$t=[r [viewer 0 getCameraPosition]]"
}
)";

VornaRun runScript(const std::string& commands) { return runVornaScript(std::string(roundingProc) + atProc + commands); }
}  // namespace

TEST(CircularCameraPathCommands, timeTurnsTheMainViewerAboutTheVerticalAxis) {
    VornaRun run = runScript(R"(
viewer 0 setCamera 0 0 10  0 0 0  0 1 0
puts "name=[create HxCircularCameraPath c]"
puts "range=[c time getMinMax]"
at 90
at 180
at 270
at 360
puts "aim=[r [lrange [viewer 0 getCamera] 3 5]] up=[r [lrange [viewer 0 getCamera] 6 8]]"
)");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_THAT(run.out, HasSubstr("name=c\n"));
    EXPECT_THAT(run.out, HasSubstr("range=0 360\n"));
    // Right-handed about +y: +z goes to +x, then to -z and -x.
    EXPECT_THAT(run.out, HasSubstr("at90=10.000 0.000 0.000\n"));
    EXPECT_THAT(run.out, HasSubstr("at180=0.000 0.000 -10.000\n"));
    EXPECT_THAT(run.out, HasSubstr("at270=-10.000 0.000 0.000\n"));
    EXPECT_THAT(run.out, HasSubstr("at360=0.000 0.000 10.000\n"));
    EXPECT_THAT(run.out, HasSubstr("aim=0.000 0.000 0.000 up=0.000 1.000 0.000\n"));
}

TEST(CircularCameraPathCommands, vectorCommandsSetTheTurn) {
    VornaRun run = runScript(R"(
create HxCircularCameraPath c
puts "set=[c setPosition 1 2 3]|[c setAimPoint 1 2 0]|[c setUpDirection 0 1 0]|[c setAxis 0 2 0]"
at 0
at 90
at 180
puts "aim=[r [lrange [viewer 0 getCamera] 3 5]]"
)");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_THAT(run.out, HasSubstr("set=|||\n")) << "the commands leave the result empty";
    // The offset (0, 0, 3) from the aim point turns about y.
    EXPECT_THAT(run.out, HasSubstr("at0=1.000 2.000 3.000\n"));
    EXPECT_THAT(run.out, HasSubstr("at90=4.000 2.000 0.000\n"));
    EXPECT_THAT(run.out, HasSubstr("at180=1.000 2.000 -3.000\n"));
    EXPECT_THAT(run.out, HasSubstr("aim=1.000 2.000 0.000\n"));
}

TEST(CircularCameraPathCommands, wrongCountIsRefusedAndThePositionStays) {
    VornaRun run = runScript(R"(
create HxCircularCameraPath c
c setPosition 0 0 5
c setAimPoint 0 0 0
puts "code=[catch {c setPosition 1 2} msg] $msg"
puts "code=[catch {c setAxis 1 2 3 4} msg] $msg"
at 0
)");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_THAT(run.out, HasSubstr("c setPosition: wrong number of arguments\n"
                                   "code=1 c setPosition: wrong number of arguments\n"));
    EXPECT_THAT(run.out, HasSubstr("code=1 c setAxis: wrong number of arguments\n"));
    EXPECT_THAT(run.out, HasSubstr("at0=0.000 0.000 5.000\n"));
}

TEST(CircularCameraPathCommands, recomputeTakesTheViewersCameraAndTheChosenAxis) {
    VornaRun run = runScript(R"(
create HxCircularCameraPath c
viewer 0 setCamera 10 0 0  0 0 0  0 0 1
c action hit 0
puts "pressed=[c action getValue]"
c fire
puts "after=[c action getValue]"
at 90
viewer 0 setCamera 0 0 10  0 0 0  0 1 0
c action setOptValue 1
c time setValue 0
c fire
at 90
puts "code=[catch {c action setOptValue 5} msg] $msg"
puts "option=[c action getOptValue]"
)");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_THAT(run.out, HasSubstr("pressed=0\nafter=-1\n"));
    // Up along z: the most vertical axis is z, and +x turns to +y.
    EXPECT_THAT(run.out, HasSubstr("at90=0.000 10.000 0.000\n"));
    // The x axis: +z turns to -y.
    EXPECT_THAT(run.out, HasSubstr("at90=0.000 -10.000 0.000\n"));
    EXPECT_THAT(run.out, HasSubstr("code=1 action setOptValue: no option \"5\" (options are numbered 0 to 4)\n"));
    EXPECT_THAT(run.out, HasSubstr("option=1\n"));
}

TEST(CircularCameraPathCommands, viewersInAnotherNavigationModeStay) {
    VornaRun run = runScript(R"(
viewer 0 setCamera 0 0 10  0 0 0  0 1 0
create HxCircularCameraPath c
viewer 0 setNavigationMode 1
at 90
viewer 0 setNavigationMode 3
c setViewerMask 2
at 180
c setViewerMask 1
at 270
)");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_THAT(run.out, HasSubstr("at90=0.000 0.000 10.000\n"));
    EXPECT_THAT(run.out, HasSubstr("at180=0.000 0.000 10.000\n"));
    EXPECT_THAT(run.out, HasSubstr("at270=-10.000 0.000 0.000\n"));
}

TEST(CircularCameraPathCommands, brioFileLoadsBackAsACircularPath) {
    VornaRun run = runScript(R"(
viewer 0 setCamera 0 0 10  0 0 0  0 1 0
create HxCircularCameraPath c
puts "formats=[c getSaveFormats]"
c setPosition 1 2.5 -3
c setAimPoint 1 0 -3
c setAxis 0 0 0.5
c save {Pexil Brio} out.brio
set d [load out.brio]
puts "loaded=$d"
remove c
$d setLabel c
at 90
)");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_THAT(run.out, HasSubstr("formats={Pexil Brio}\n"));
    EXPECT_THAT(run.out, HasSubstr("loaded=out\n"));
    // The loaded vectors: (0, 2.5, 0) from the aim point turns about z to (-2.5, 0, 0).
    EXPECT_THAT(run.out, HasSubstr("at90=-1.500 0.000 -3.000\n"));
}

TEST(CircularCameraPathCommands, savedNetworkKeepsTheVectorsAndFiresAfterTheAction) {
    VornaRun run = runScript(R"(
viewer 0 setCamera 0 0 10  0 0 0  0 1 0
create HxCircularCameraPath c
c action setOptValue 3
c time setValue 0
c fire
c setPosition 1 2.5 -3
c setAimPoint 1 0 -3
c setUpDirection 1 0 0
c setAxis 0 0 0.5
saveNetwork net.tcl
set f [open net.tcl]
set text [read $f]
close $f
puts "saved:\n$text"
puts "brio=[llength [glob -nocomplain *.brio]]"
remove c
source net.tcl
at 90
)");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_THAT(run.out, HasSubstr("create HxCircularCameraPath {c}\n"
                                   "{c} time setMinMax 0 360\n"
                                   "{c} time setValue 0\n"
                                   "{c} action setOptValue 3\n"
                                   "{c} fire\n"
                                   "\"c\" setPosition 1 2.5 -3\n"
                                   "\"c\" setAimPoint 1 0 -3\n"
                                   "\"c\" setUpDirection 1 0 0\n"
                                   "\"c\" setAxis 0 0 0.5\n"));
    EXPECT_THAT(run.out, HasSubstr("brio=0\n"));
    EXPECT_THAT(run.out, Not(HasSubstr("cannot be saved as a file")));
    // The reloaded vectors: (0, 2.5, 0) from the aim point turns about z to (-2.5, 0, 0).
    EXPECT_THAT(run.out, HasSubstr("at90=-1.500 0.000 -3.000\n"));
}
