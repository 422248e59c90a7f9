// The keyframe path's script commands, run by vorna from real Tcl scripts.
#include "VornaRunner.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using ::testing::HasSubstr;
using ::testing::Not;

namespace {
// A path "p" with three keyframes at 0, 10 and 20, looking at the origin.
const char* threeKeyframes = R"(
set p [create HxKeyframeCameraPath p]
viewer 0 setCamera 0 0 10   0 0 0   0 1 0
p append
viewer 0 setCamera 10 0 0   0 0 0   0 1 0
p append
viewer 0 setCamera 0 0 -10  0 0 0   0 1 0
p append
)";

// Runs the commands after the set-up and returns what was printed.
VornaRun runWithPath(const std::string& commands) {
    return runVornaScript(std::string(roundingProc) + threeKeyframes + commands);
}
}  // namespace

TEST(KeyframePathCommands, cameraQueriesReturnThreeNumbers) {
    VornaRun run = runWithPath(R"(
puts "pos=[p camera 0 getPosition]"
puts "aim=[r [p camera 1 getAimPoint]] words=[llength [p camera 1 getAimPoint]]"
puts "up=[r [p camera 2 getUpDir]]"
)");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_THAT(run.out, HasSubstr("pos=0 0 10\n"));
    EXPECT_THAT(run.out, HasSubstr("aim=0.000 0.000 0.000 words=3\n"));
    EXPECT_THAT(run.out, HasSubstr("up=0.000 1.000 0.000\n"));
}

TEST(KeyframePathCommands, cameraOutOfRangePrintsNoSuchCameraAndFails) {
    VornaRun run = runWithPath(R"(
puts "code=[catch {p camera 5 getPosition}]"
puts "code=[catch {p camera -1 getPosition}]"
)");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_THAT(run.out, HasSubstr("No such camera\ncode=1\nNo such camera\ncode=1\n"));
}

TEST(KeyframePathCommands, cameraWithoutSubcommandListsTheSubcommands) {
    VornaRun run = runWithPath(R"(
puts "code=[catch {p camera 1} result] result=$result"
puts "code=[catch {p camera 1 getNothing} result] result=$result"
)");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_THAT(run.out, HasSubstr("code=0 result=getPosition getAimPoint getUpDir\n"));
    EXPECT_THAT(run.out, HasSubstr("code=1 result=unknown command \"getNothing\"\n"));
}

TEST(KeyframePathCommands, cameraWithoutNumberPrintsUsage) {
    VornaRun run = runWithPath("puts \"code=[catch {p camera}]\"\n");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_THAT(run.out, HasSubstr("Usage: camera n <cmd>\ncode=1\n"));
}

TEST(KeyframePathCommands, appendAddsAtZeroThenEveryTenSeconds) {
    VornaRun run = runVornaScript(R"(
create HxKeyframeCameraPath q
puts "empty: [q getNumCameras] [q getStarttime] [q getDuration]"
q append
puts "one: [q getNumCameras] [q getDuration]"
viewer 0 setCamera 5 0 0  0 0 0  0 1 0
q append
puts "two: [q getNumCameras] [q getDuration] [q camera 1 getPosition]"
)");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_THAT(run.out, HasSubstr("empty: 0 0.000000 0.000000\n"));
    EXPECT_THAT(run.out, HasSubstr("one: 1 0.000000\n"));
    EXPECT_THAT(run.out, HasSubstr("two: 2 10.000000 5 0 0\n"));
}

TEST(KeyframePathCommands, setAimPointReaimsTheGivenRange) {
    VornaRun run = runWithPath(R"(
p setAimPoint 1 2 3 1
puts "a=[r [p camera 0 getAimPoint]] | [r [p camera 1 getAimPoint]] | [r [p camera 2 getAimPoint]]"
p setAimPoint 4 5 6
puts "b=[r [p camera 0 getAimPoint]] | [r [p camera 1 getAimPoint]] | [r [p camera 2 getAimPoint]]"
p setAimPoint 7 8 9 0 0
puts "c=[r [p camera 0 getAimPoint]] | [r [p camera 1 getAimPoint]]"
puts "pos=[r [p camera 1 getPosition]]"
)");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_THAT(run.out, HasSubstr("a=0.000 0.000 0.000 | 1.000 2.000 3.000 | 1.000 2.000 3.000\n"));
    EXPECT_THAT(run.out, HasSubstr("b=4.000 5.000 6.000 | 4.000 5.000 6.000 | 4.000 5.000 6.000\n"));
    EXPECT_THAT(run.out, HasSubstr("c=7.000 8.000 9.000 | 4.000 5.000 6.000\n"));
    EXPECT_THAT(run.out, HasSubstr("pos=10.000 0.000 0.000\n"));  // re-aiming never moves the camera
}

TEST(KeyframePathCommands, setAimPointWithTooFewNumbersPrintsUsage) {
    VornaRun run = runWithPath(R"(
puts "code=[catch {p setAimPoint 1 2}]"
puts "code=[catch {p setUpDir 1}]"
puts "aim=[r [p camera 0 getAimPoint]] up=[r [p camera 0 getUpDir]]"
)");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_THAT(run.out, HasSubstr("Usage: setAimPoint x y z [first [last]]\ncode=1\n"));
    EXPECT_THAT(run.out, HasSubstr("Usage: setUpDir x y z [first [last]]\ncode=1\n"));
    EXPECT_THAT(run.out, HasSubstr("aim=0.000 0.000 0.000 up=0.000 1.000 0.000\n"));
}

TEST(KeyframePathCommands, rangesOutsideTheKeyframesAreCutToThem) {
    VornaRun run = runWithPath(R"(
p setAimPoint 1 1 1 1 99
puts "a=[r [p camera 0 getAimPoint]] | [r [p camera 2 getAimPoint]]"
p setAimPoint 2 2 2 5 9
puts "b=[r [p camera 0 getAimPoint]] | [r [p camera 2 getAimPoint]]"
p setAimPoint 3 3 3 -4 0
puts "c=[r [p camera 0 getAimPoint]] | [r [p camera 1 getAimPoint]]"
)");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_THAT(run.out, HasSubstr("a=0.000 0.000 0.000 | 1.000 1.000 1.000\n"));
    // A first keyframe beyond the last one changes nothing.
    EXPECT_THAT(run.out, HasSubstr("b=0.000 0.000 0.000 | 1.000 1.000 1.000\n"));
    // A negative first keyframe starts at keyframe 0.
    EXPECT_THAT(run.out, HasSubstr("c=3.000 3.000 3.000 | 1.000 1.000 1.000\n"));
}

TEST(KeyframePathCommands, firstAfterLastChangesNothing) {
    VornaRun run = runWithPath(R"(
set before [list [p camera 1 getUpDir] [p camera 2 getUpDir] [p camera 1 getAimPoint]]
p setUpDir 1 0 0 2 1
p setAimPoint 5 5 5 2 1
set after [list [p camera 1 getUpDir] [p camera 2 getUpDir] [p camera 1 getAimPoint]]
puts "same=[expr {$before eq $after}]"
)");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_THAT(run.out, HasSubstr("same=1\n"));
}

TEST(KeyframePathCommands, setUpDirTurnsTheCameraAboutItsViewingDirection) {
    VornaRun run = runWithPath(R"(
p setUpDir 1 0 0 0 0
puts "up=[r [p camera 0 getUpDir]] aim=[r [p camera 0 getAimPoint]] pos=[r [p camera 0 getPosition]]"
puts "other=[r [p camera 1 getUpDir]]"
)");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_THAT(run.out, HasSubstr("up=1.000 0.000 0.000 aim=0.000 0.000 0.000 pos=0.000 0.000 10.000\n"));
    EXPECT_THAT(run.out, HasSubstr("other=0.000 1.000 0.000\n"));
}

TEST(KeyframePathCommands, queriesFormatTheirNumbers) {
    VornaRun run = runWithPath(R"(
puts "n=[p getNumCameras] start=[p getStarttime] duration=[p getDuration]"
)");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_THAT(run.out, HasSubstr("n=3 start=0.000000 duration=20.000000\n"));
}

TEST(KeyframePathCommands, interpRotChoosesHowOrientationsBlend) {
    // Keyframe 1 looks away from the line its aim point moves on, so a slerped
    // orientation (mode 1) no longer looks at the blended aim point, while modes
    // 0 and 2 do (the aim point then stays on the x axis: z = 0).
    VornaRun run = runVornaScript(R"(
create HxKeyframeCameraPath r
viewer 0 setCamera 0 0 10   0 0 0   0 1 0
r append
viewer 0 setCamera 10 0 10  20 0 0  0 1 0
r append
r fire
foreach mode {0 1 2} {
    r interpRot $mode
    r time setValue 5
    r fire
    set aim [lrange [viewer 0 getCamera] 3 5]
    puts "mode $mode |z|=[format %.3f [expr {abs([lindex $aim 2])}]]"
}
puts "code=[catch {r interpRot} msg] $msg"
)");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_THAT(run.out, HasSubstr("mode 0 |z|=0.000\n"));
    EXPECT_THAT(run.out, HasSubstr("mode 2 |z|=0.000\n"));
    EXPECT_THAT(run.out, ::testing::ContainsRegex("mode 1 \\|z\\|=0\\.[1-9]"));
    EXPECT_THAT(run.out, HasSubstr("code=1 r interpRot: wrong number of arguments\n"));
}

TEST(KeyframePathCommands, createCircularPathCirclesTheMainViewersCamera) {
    VornaRun run = runVornaScript(R"(
create HxKeyframeCameraPath c
viewer 0 setCamera 0 0 10   0 0 0   0 1 0
c append
c createCircularPath
puts [c info]
puts "n=[c getNumCameras] d=[c getDuration]"
puts "k4=[c camera 4 getPosition]"
puts "k16=[c camera 16 getPosition]"
)");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_THAT(run.out, HasSubstr("Camera Path: 17 keyframes (closed), total time 100.0\n"));
    EXPECT_THAT(run.out, HasSubstr("n=17 d=100.000000\n"));
    // A quarter turn about +y takes (0, 0, 10) to (10, 0, 0).
    EXPECT_THAT(run.out, ::testing::ContainsRegex("k4=10 [-0-9.e]+ [-0-9.e]+\n"));
}

TEST(KeyframePathCommands, timePortMovesTheMainViewersCamera) {
    VornaRun run = runWithPath(R"(
p fire
p time setValue 10
p fire
puts "at10=[r [viewer 0 getCameraPosition]]"
p time setValue 20
p fire
puts "at20=[r [viewer 0 getCameraPosition]]"
p setViewerMask 0
viewer 0 setCamera 1 1 1  0 0 0  0 1 0
p time setValue 0
p fire
puts "masked=[viewer 0 getCameraPosition]"
)");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_THAT(run.out, HasSubstr("at10=10.000 0.000 0.000\n"));
    EXPECT_THAT(run.out, HasSubstr("at20=0.000 0.000 -10.000\n"));
    EXPECT_THAT(run.out, HasSubstr("masked=1 1 1\n"));
}

TEST(KeyframePathCommands, unknownWordsGoToTheGenericCommands) {
    VornaRun run = runWithPath(R"(
puts "label=[p getLabel]"
p setLabel renamed
puts "info=[renamed info]"
puts "help=[renamed help]"
)");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_THAT(run.out, HasSubstr("label=p\n"));
    EXPECT_THAT(run.out, HasSubstr("info=Camera Path: 3 keyframes (not closed), total time 20.0\n"));
    EXPECT_THAT(run.out, HasSubstr("help=camera interpRot getDuration getStarttime getNumCameras setUpDir setAimPoint "
                                   "append createCircularPath"));
}
