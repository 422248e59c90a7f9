// The keyframe path's script commands, run by vorna from real Tcl scripts.
#include "VornaRunner.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using ::testing::HasSubstr;

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
proc aims {} { return "[r [p camera 0 getAimPoint]] | [r [p camera 1 getAimPoint]] | [r [p camera 2 getAimPoint]]" }
)";

VornaRun runWithPath(const std::string& commands) {
    return runVornaScript(std::string(roundingProc) + threeKeyframes + commands);
}

void expectLines(const VornaRun& run, std::initializer_list<const char*> lines) {
    ASSERT_EQ(run.exitCode, 0) << run.err;
    for (const char* line : lines) EXPECT_THAT(run.out, HasSubstr(line));
}
}  // namespace

TEST(KeyframePathCommands, queriesAndTheirFailures) {
    expectLines(
        runWithPath(R"(
puts "pos=[p camera 0 getPosition]"
puts "aim=[r [p camera 1 getAimPoint]] words=[llength [p camera 1 getAimPoint]]"
puts "up=[r [p camera 2 getUpDir]]"
puts "n=[p getNumCameras] start=[p getStarttime] duration=[p getDuration]"
puts "code=[catch {p camera 5 getPosition}]"
puts "code=[catch {p camera -1 getPosition}]"
puts "code=[catch {p camera 1} result] result=$result"
puts "code=[catch {p camera 1 getNothing} result] result=$result"
puts "code=[catch {p camera}]"
puts "label=[p getLabel] info=[p info]"
puts "help=[p help]"
)"),
        {"pos=0 0 10\n", "aim=0.000 0.000 0.000 words=3\n", "up=0.000 1.000 0.000\n",
         "n=3 start=0.000000 duration=20.000000\n", "No such camera\ncode=1\nNo such camera\ncode=1\n",
         "code=0 result=getPosition getAimPoint getUpDir\n", "code=1 result=unknown command \"getNothing\"\n",
         "Usage: camera n <cmd>\ncode=1\n", "label=p info=Camera Path: 3 keyframes (not closed), total time 20.0\n",
         "help=camera interpRot getDuration getStarttime getNumCameras setUpDir setAimPoint append "
         "createCircularPath"});
}

TEST(KeyframePathCommands, badCallsFailWithTheirMessageAndChangeNothing) {
    VornaRun run = runWithPath(R"(
proc state {} { return "[p getNumCameras] [p camera 0 getPosition] [p camera 0 getUpDir] [aims]" }
set before [state]
foreach call {
    {camera abc getPosition} {camera -1 getPosition} {camera} {setAimPoint nan 0 0} {setAimPoint 1 2 3 x}
    {setAimPoint -3e38 3e38 0} {setUpDir 0 0 0} {setUpDir 1 0 0 0 1 2} {interpRot 5}
} {
    set code [catch {p {*}$call} msg]
    puts "$call: $code <$msg> [expr {[state] eq $before}]"
}
)");
    const char* usage = "Usage: setAimPoint x y z [first [last]] (numbers expected)";
    expectLines(run, {"camera abc getPosition: 1 <No such camera> 1\n", "camera -1 getPosition: 1 <No such camera> 1\n",
                      "camera: 1 <Usage: camera n <cmd>> 1\n",
                      (std::string("setAimPoint nan 0 0: 1 <") + usage + "> 1\n").c_str(),
                      (std::string("setAimPoint 1 2 3 x: 1 <") + usage + "> 1\n").c_str(),
                      "setAimPoint -3e38 3e38 0: 1 <p setAimPoint: a keyframe would leave the float range; nothing "
                      "changed> 1\n",
                      "setUpDir 0 0 0: 1 <p setUpDir: the up direction must not be zero> 1\n",
                      "setUpDir 1 0 0 0 1 2: 1 <Usage: setUpDir x y z [first [last]]> 1\n",
                      "interpRot 5: 1 <p interpRot: expected 0, 1 or 2, got \"5\"> 1\n"});
}

TEST(KeyframePathCommands, appendAddsAtZeroThenEveryTenSeconds) {
    expectLines(runVornaScript(R"(
create HxKeyframeCameraPath q
puts "empty: [q getNumCameras] [q getStarttime] [q getDuration]"
q append
puts "one: [q getNumCameras] [q getDuration]"
viewer 0 setCamera 5 0 0  0 0 0  0 1 0
q append
puts "two: [q getNumCameras] [q getDuration] [q camera 1 getPosition]"
)"),
                {"empty: 0 0.000000 0.000000\n", "one: 1 0.000000\n", "two: 2 10.000000 5 0 0\n"});
}

TEST(KeyframePathCommands, setAimPointAndSetUpDirChangeTheGivenRange) {
    expectLines(runWithPath(R"(
puts "code=[catch {p setAimPoint 1 2}]"
puts "code=[catch {p setUpDir 1}]"
p setUpDir 1 0 0 0 0
puts "up=[r [p camera 0 getUpDir]] aim=[r [p camera 0 getAimPoint]] pos=[r [p camera 0 getPosition]] other=[r [p camera 1 getUpDir]]"
p setAimPoint 1 2 3 1
puts "a=[aims]"
p setAimPoint 4 5 6
puts "b=[aims]"
p setAimPoint 7 8 9 0 0
puts "c=[aims]"
p setAimPoint 1 1 1 5 9
p setAimPoint 2 2 2 2 1
set up [p camera 2 getUpDir]
p setUpDir 1 0 0 2 1
puts "d=[aims] same=[expr {$up eq [p camera 2 getUpDir]}]"
p setAimPoint 3 3 3 -4 1
p setAimPoint 0 0 0 2 99
puts "e=[aims]"
puts "pos=[r [p camera 1 getPosition]]"
)"),
                {"Usage: setAimPoint x y z [first [last]]\ncode=1\n", "Usage: setUpDir x y z [first [last]]\ncode=1\n",
                 "a=0.000 0.000 0.000 | 1.000 2.000 3.000 | 1.000 2.000 3.000\n",
                 "b=4.000 5.000 6.000 | 4.000 5.000 6.000 | 4.000 5.000 6.000\n",
                 "c=7.000 8.000 9.000 | 4.000 5.000 6.000 | 4.000 5.000 6.000\n",
                 // A first keyframe beyond the last, or after the last given, changes nothing.
                 "d=7.000 8.000 9.000 | 4.000 5.000 6.000 | 4.000 5.000 6.000 same=1\n",
                 // A negative first keyframe starts at 0; a last beyond the keyframes is cut.
                 "e=3.000 3.000 3.000 | 3.000 3.000 3.000 | 0.000 0.000 0.000\n",
                 "up=1.000 0.000 0.000 aim=0.000 0.000 0.000 pos=0.000 0.000 10.000 other=0.000 1.000 0.000\n",
                 "pos=10.000 0.000 0.000\n"});
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
    expectLines(run, {"mode 0 |z|=0.000\n", "mode 2 |z|=0.000\n", "code=1 r interpRot: wrong number of arguments\n"});
    EXPECT_THAT(run.out, ::testing::ContainsRegex("mode 1 \\|z\\|=0\\.[1-9]"));
}

TEST(KeyframePathCommands, createCircularPathAndTheTimePortMoveTheMainViewer) {
    VornaRun run = runWithPath(R"(
p fire
p time setValue 10
p fire
puts "at10=[r [viewer 0 getCameraPosition]]"
p setViewerMask 0
viewer 0 setCamera 1 1 1  0 0 0  0 1 0
p time setValue 0
p fire
puts "masked=[viewer 0 getCameraPosition]"
viewer 0 setCamera 0 0 10   0 0 0   0 1 0
p createCircularPath
puts [p info]
puts "n=[p getNumCameras] d=[p getDuration]"
puts "k4=[p camera 4 getPosition]"
)");
    expectLines(run, {"at10=10.000 0.000 0.000\n", "masked=1 1 1\n",
                      "Camera Path: 17 keyframes (closed), total time 100.0\n", "n=17 d=100.000000\n"});
    // A quarter turn about +y takes (0, 0, 10) to (10, 0, 0).
    EXPECT_THAT(run.out, ::testing::ContainsRegex("k4=10 [-0-9.e]+ [-0-9.e]+\n"));
}
