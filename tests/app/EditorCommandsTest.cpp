// The keyframe path editor driven from Tcl scripts by vorna: attaching, the
// keyframe buttons, the player buttons, its own commands, and closing the path
// viewer.
#include "VornaRunner.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

using ::testing::HasSubstr;

namespace {
// Reads the three numbers of the first output line that begins with `prefix`.
bool numbersAfter(const std::string& out, const std::string& prefix, float v[3]) {
    const size_t at = out.find("\n" + prefix);
    return at != std::string::npos &&
           std::sscanf(out.c_str() + at + 1 + prefix.size(), "%f %f %f", &v[0], &v[1], &v[2]) == 3;
}
}  // namespace

TEST(EditorCommands, buttonsAddJumpToAndRemoveKeyframesUntilThePathViewerCloses) {
    VornaRun run = runVornaScript(R"(
set p [create HxKeyframeCameraPath p]
p setViewerMask 1
set e [edit p]
puts "edit=$e time=[p time isVisible] pathViewer=[viewer 5 isVisible]"
proc state {} { return "ticks=[cameraPathEditor portTimeSlider getKeyframes] n=[p getNumCameras]" }
foreach x {0 5 10} {
    viewer 0 setCamera $x 0 10  0 0 0  0 1 0
    $e portKCPEButtons hit 0
    $e fire
}
puts "added: [state] slider=[$e portTimeSlider getValue]"
$e portTimeSlider setValue 3.3
$e portKCPEButtons hit 1
$e fire
puts "between keyframes: [state]"
$e portPlayerButtons hit 5
puts "jumped to [$e portTimeSlider getValue]"
$e portKCPEButtons hit 1
$e fire
puts "removed: [state] second=[p camera 1 getPosition]"
viewer 5 hide
puts "closed: time=[p time isVisible] mask=[p getViewerMask] constv=[catch {$e constv} msg] $msg"
)");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    for (const char* line : {"edit=cameraPathEditor time=0 pathViewer=1\n", "added: ticks=0 10 20 n=3 slider=30\n",
                             "Please use step buttons to select a keyframe.\nbetween keyframes: ticks=0 10 20 n=3\n",
                             "jumped to 10\n", "removed: ticks=0 20 n=2 second=10 0 10\n",
                             "closed: time=1 mask=65535 constv=1 cameraPathEditor constv: the editor is not attached"})
        EXPECT_THAT(run.out, HasSubstr(line));
}

TEST(EditorCommands, commandsCheckTheirArgumentsAndProjectThroughTheMainCamera) {
    // Twin paths that mostly turn, so that the metric decides their re-timing:
    // an unknown metric name is refused and leaves one measuring as its twin does.
    VornaRun run = runVornaScript(R"(
foreach name {p twin} {
    create HxKeyframeCameraPath $name
    foreach aimX {0 1 20} {
        viewer 0 setCamera 0 0 10  $aimX 0 0  0 1 0
        $name append
    }
}
set e [edit twin]
$e constv
set twinTimes [$e portTimeSlider getKeyframes]
set e [edit p]
foreach command {fps project {project 1 2} {metric zflow}} {
    puts "$command: [catch {$e {*}$command} msg] $msg"
}
puts "<[catch {$e metric linear}]>"
$e constv
set times [$e portTimeSlider getKeyframes]
puts "retimed=[expr {$times ne {0 10 20}}] asTwin=[expr {$times eq $twinTimes}]"
$e metric zflow 1
viewer 0 setCamera 0 0 10  0 0 0  0 1 0
$e project 0 0 0
puts "--"
$e project 1 0 0
)");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    for (const char* line :
         {"usage: cameraPathEditor fps value\n", "fps: 1 cameraPathEditor fps: wrong number of arguments\n",
          "usage: cameraPathEditor project x y z\n", "project: 1 cameraPathEditor project: wrong number",
          "project 1 2: 1 cameraPathEditor project: wrong number",
          "usage: cameraPathEditor metric translation|optical|zflow n\n",
          "metric zflow: 1 cameraPathEditor metric: wrong number", "<1>\nretimed=1 asTwin=1\n", "use zflow = 1\n"})
        EXPECT_THAT(run.out, HasSubstr(line));

    // The aim point projects to the centre; a point beside it lies on the
    // same horizontal line, and the screen position is the clip one mapped
    // from -1 .. 1 to 0 .. 1.
    float clip[3], screen[3], clipBeside[3], screenBeside[3];
    ASSERT_TRUE(numbersAfter(run.out, "Camera: ", clip) && numbersAfter(run.out, "ViewVo: ", screen)) << run.out;
    const std::string beside = run.out.substr(run.out.find("--\n"));
    ASSERT_TRUE(numbersAfter(beside, "Camera: ", clipBeside) && numbersAfter(beside, "ViewVo: ", screenBeside));
    EXPECT_NEAR(clip[0], 0, 1e-5);
    EXPECT_NEAR(clip[1], 0, 1e-5);
    EXPECT_NEAR(screen[0], 0.5, 1e-5);
    EXPECT_NEAR(screen[1], 0.5, 1e-5);
    EXPECT_GT(clipBeside[0], 0.05f);
    EXPECT_NEAR(clipBeside[1], 0, 1e-5);
    EXPECT_NEAR(screenBeside[0], (clipBeside[0] + 1) / 2, 1e-5);
    EXPECT_NEAR(screenBeside[1], 0.5, 1e-5);
}
