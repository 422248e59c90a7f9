// Files and a saved network brought back in a fresh vorna, whose keyframe editor
// takes the restored path. The saving session runs under a comma locale, which Qt
// hands to the C library: numbers in scripts, results, files and networks keep a point.
#include "VornaRunner.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using ::testing::HasSubstr;

namespace {
// The main camera's position, aim point and up direction (made square to the view), to a thousandth.
const char* const cameraProc = "proc camera {} { lmap x [viewer 0 getCamera] {expr {round($x * 1000) / 1000.0}} }\n";
const char* const camera = "camera: 1.5 2.0 3.0 0.0 0.0 0.0 -0.461 -0.615 0.64\n";
}  // namespace

TEST(FilesAndNetwork, filesAndASavedNetworkBringTheSessionBack) {
    const std::string dir = makeTempDir();
    VornaRun save = runVornaScript(std::string(flightScript) + cameraProc + R"(
foreach {format file} {"Camerapath Inventor" a.civ "Vorna binary" b.vm "Pexil binary" c.vm "Pexil Brio" d.brio} {
    Flight save $format $file
    set p [load $file]
    puts "$file -> $p: [$p getNumCameras] [$p getDuration] [$p camera 1 getPosition] [$p time getMinMax]"
    remove $p
}
puts "[catch {Flight save "No such format" x.civ} msg] $msg"
Flight time setValue 5.5
Flight fire
create HxKeyframeCameraPath Empty
Empty setViewerMask 3
viewer 0 setCamera 1.5 2 3   0 0 0   0 0 1
puts "position: [viewer 0 getCameraPosition] [format %g 0.5]\ncamera: [camera]"
edit Flight
saveNetwork net.tcl
)",
                                   {"LC_ALL=de_DE.UTF-8"}, dir);
    ASSERT_EQ(save.exitCode, 0) << save.err << save.out;
    for (const char* line :
         {"a.civ -> a: 3 20.000000 10.5 2 0 0 20\n", "b.vm -> b: 3 20.000000 10.5 2 0 0 20\n",
          "c.vm -> c: 3 20.000000 10.5 2 0 0 20\n", "d.brio -> d: 3 20.000000 10.5 2 0 0 20\n",
          "Flight: no save format \"No such format\"\n", "1 Flight: could not save \"x.civ\" as \"No such format\"\n",
          "position: 1.5 2 3 0.5\n", camera})
        EXPECT_THAT(save.out, HasSubstr(line));
    EXPECT_THAT(slurp(dir + "/a.civ"), HasSubstr("string \"20.000000\""));
    const std::string network = slurp(dir + "/net.tcl");
    EXPECT_THAT(network, HasSubstr("{Flight} time setValue 5.5\n"));

    VornaRun restore = runVornaScript(cameraProc + std::string(R"(
source net.tcl
puts "attached: [cameraPathEditor portTimeSlider getKeyframes] [viewer 5 isVisible]"
puts "Flight: [Flight getNumCameras] [Flight time getValue] [Flight time getMinMax]"
puts "Empty: [Empty getNumCameras] [Empty getViewerMask]"
puts "camera: [camera]"
set e [edit Flight]; $e portTimeSlider setValue 10; $e portKCPEButtons hit 1; $e fire
puts "edited: [$e portTimeSlider getKeyframes]"
puts "[catch {saveNetwork /nonexistent/folder/net.tcl} msg] $msg"
puts "[catch {saveNetwork} msg] $msg"
)"),
                                      {}, dir);
    ASSERT_EQ(restore.exitCode, 0) << restore.err << restore.out;
    for (const char* line : {"attached: 0 10 20 1\n", "Flight: 3 5.5 0 20\n", "Empty: 0 3\n", camera, "edited: 0 20\n",
                             "1 saveNetwork: cannot write \"/nonexistent/folder/net.tcl\": No such file or directory\n",
                             "1 usage: saveNetwork file.tcl\n"})
        EXPECT_THAT(restore.out, HasSubstr(line));
    EXPECT_EQ(slurp(dir + "/net.tcl"), network);  // a failed save keeps the old script
}
