// The circular camera path in real Tcl scripts run by vorna: the time port turns
// the main viewer's camera, the four vector commands, the action port, saving.
#include "VornaRunner.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

using ::testing::HasSubstr;

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

void expectLines(const std::string& commands, std::initializer_list<const char*> lines) {
    VornaRun run = runVornaScript(std::string(roundingProc) + atProc + commands);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    for (const char* line : lines) EXPECT_THAT(run.out, HasSubstr(line));
    EXPECT_THAT(run.out, ::testing::Not(HasSubstr("cannot be saved as a file")));
}
}  // namespace

TEST(CircularCameraPathCommands, timeTurnsTheMainViewerAndTheVectorCommandsSetTheTurn) {
    // Right-handed about +y: +z goes to +x, then to -z and -x.
    expectLines(
        R"(
viewer 0 setCamera 0 0 10  0 0 0  0 1 0
puts "name=[create HxCircularCameraPath c] range=[c time getMinMax]"
at 90
at 180
at 270
at 360
puts "aim=[r [lrange [viewer 0 getCamera] 3 5]] up=[r [lrange [viewer 0 getCamera] 6 8]]"
puts "set=[c setPosition 1 2 3]|[c setAimPoint 1 2 0]|[c setUpDirection 0 1 0]|[c setAxis 0 2 0]"
puts "code=[catch {c setPosition 5 5} msg] $msg"
puts "code=[catch {c setAxis 1 2 3 4} msg] $msg"
at 0
at 90
puts "aim=[r [lrange [viewer 0 getCamera] 3 5]]"
)",
        {"name=c range=0 360\n", "at90=10.000 0.000 0.000\n", "at180=0.000 0.000 -10.000\n",
         "at270=-10.000 0.000 0.000\n", "at360=0.000 0.000 10.000\n", "aim=0.000 0.000 0.000 up=0.000 1.000 0.000\n",
         "set=|||\n", "c setPosition: wrong number of arguments\ncode=1 c setPosition: wrong number of arguments\n",
         "code=1 c setAxis: wrong number of arguments\n",
         // The offset (0, 0, 3) from the aim point turns about y.
         "at0=1.000 2.000 3.000\n", "at90=4.000 2.000 0.000\n", "aim=1.000 2.000 0.000\n"});
}

TEST(CircularCameraPathCommands, recomputeTakesTheViewersCameraAndOnlyModeThreeViewersInTheMaskMove) {
    expectLines(
        R"(
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
viewer 0 setCamera 0 0 10  0 0 0  0 1 0
c action setOptValue 2
c time setValue 0
c fire
viewer 0 setNavigationMode 1
at 91
viewer 0 setNavigationMode 3
c setViewerMask 2
at 180
c setViewerMask 1
at 270
)",
        {"pressed=0\nafter=-1\n",
         // Up along z: the most vertical axis is z, and +x turns to +y.
         "at90=0.000 10.000 0.000\n",
         // The x axis: +z turns to -y.
         "at90=0.000 -10.000 0.000\n", "code=1 action setOptValue: no option \"5\" (options are numbered 0 to 4)\n",
         "option=1\n", "at91=0.000 0.000 10.000\n", "at180=0.000 0.000 10.000\n", "at270=-10.000 0.000 0.000\n"});
}

TEST(CircularCameraPathCommands, brioFileAndSavedNetworkBringTheVectorsBack) {
    // The vectors: (0, 2.5, 0) from the aim point turns about z to (-2.5, 0, 0).
    expectLines(R"(
viewer 0 setCamera 0 0 10  0 0 0  0 1 0
create HxCircularCameraPath c
puts "formats=[c getSaveFormats]"
c action setOptValue 3
c time setValue 0
c fire
c setPosition 1 2.5 -3
c setAimPoint 1 0 -3
c setUpDirection 1 0 0
c setAxis 0 0 0.5
c save {Pexil Brio} out.brio
set d [load out.brio]
puts "loaded=$d"
remove $d
saveNetwork net.tcl
set f [open net.tcl]
puts "saved:\n[read $f]"
close $f
puts "brio=[llength [glob -nocomplain *.brio]]"
remove c
[load out.brio] setLabel c
at 90
remove c
viewer 0 setCamera 0 0 10  0 0 0  0 1 0
source net.tcl
c time setValue 90
c fire
puts "net=[r [viewer 0 getCameraPosition]]"
)",
                {"formats={Pexil Brio}\n", "loaded=out\n", "at90=-1.500 0.000 -3.000\n", "net=-1.500 0.000 -3.000\n",
                 "create HxCircularCameraPath {c}\n{c} time setMinMax 0 360\n{c} time setValue 0\n"
                 "{c} action setOptValue 3\n{c} fire\n\"c\" setPosition 1 2.5 -3\n\"c\" setAimPoint 1 0 -3\n"
                 "\"c\" setUpDirection 1 0 0\n\"c\" setAxis 0 0 0.5\n",
                 "brio=1\n"});
}
