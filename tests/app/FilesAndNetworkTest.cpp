// Saving and loading keyframe paths from scripts, and saved networks restored in
// a fresh vorna.
#include "VornaRunner.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

using ::testing::HasSubstr;

namespace {
VornaRun runIn(const std::string& dir, const std::string& name, const std::string& script) {
    std::ofstream(dir + "/" + name) << script;
    return runProgram(VORNA_BINARY, {dir + "/" + name}, {}, dir);
}

std::string slurp(const std::string& file) {
    std::ifstream in(file);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

const char* buildFlight = R"(
create HxKeyframeCameraPath Flight
viewer 0 setCamera 0 0 10   0 0 0   0 1 0
Flight append
viewer 0 setCamera 10 2 0   0 0 0   0 1 0
Flight append
viewer 0 setCamera 0 4 -10  0 0 0   0 1 0
Flight append
Flight fire
)";
}  // namespace

TEST(FilesAndNetwork, everyFormatLoadsBackAndBadFilesAreClearErrors) {
    const std::string dir = makeTempDir();
    std::ofstream(dir + "/cube.civ") << "#Inventor V2.1 ascii\n\nSeparator { Cube { } }\n";
    std::ofstream(dir + "/junk.vm") << "definitely not a data file";
    VornaRun run = runIn(dir, "formats.tcl", std::string(roundingProc) + buildFlight + R"(
foreach {format file} {"Camerapath Inventor" a.civ "Vorna binary" b.vm "Pexil binary" c.vm "Pexil Brio" d.brio} {
    Flight save $format $file
    set p [load $file]
    puts "$file -> $p: [$p getNumCameras] [$p getDuration] [r [$p camera 1 getPosition]] [$p time getMinMax]"
}
puts "1 [catch {load missing.civ} msg] $msg"
puts "2 [catch {load cube.civ} msg] $msg"
puts "3 [catch {load junk.vm} msg]"
puts "4 [catch {Flight save "No such format" x.civ} msg] $msg"
puts "objects: [info commands cube*] [info commands junk*] [info commands missing*]"
)");
    ASSERT_EQ(run.exitCode, 0) << run.err << run.out;
    for (const char* line :
         {"a.civ -> a: 3 20.000000 10.000 2.000 0.000 0 20\n", "b.vm -> b: 3 20.000000 10.000 2.000 0.000 0 20\n",
          "c.vm -> c: 3 20.000000 10.000 2.000 0.000 0 20\n", "d.brio -> d: 3 20.000000 10.000 2.000 0.000 0 20\n",
          "1 1 load: cannot read file \"missing.civ\"\n", "2 1 load: could not read \"cube.civ\"\n", "3 1\n",
          "Flight: no save format \"No such format\"\n", "4 1 Flight: could not save \"x.civ\" as \"No such format\"\n",
          "objects:   \n"})
        EXPECT_THAT(run.out, HasSubstr(line));
}

TEST(FilesAndNetwork, savedNetworkRestoresTheSessionInAFreshVorna) {
    const std::string dir = makeTempDir();
    VornaRun save = runIn(dir, "save.tcl", std::string(roundingProc) + buildFlight + R"(
Flight time setValue 5
Flight fire
create HxKeyframeCameraPath Empty
Empty setViewerMask 3
viewer 0 setCamera 1 2 3   0 0 0   0 0 1
puts "before: [r [viewer 0 getCamera]]"
saveNetwork net.tcl
)");
    ASSERT_EQ(save.exitCode, 0) << save.err;
    const std::string network = slurp(dir + "/net.tcl");
    EXPECT_THAT(network, HasSubstr("create HxKeyframeCameraPath {Empty}\n"));
    EXPECT_THAT(network, HasSubstr("{Flight.vm}]] setLabel {Flight}\n"));

    VornaRun restore = runIn(dir, "restore.tcl", std::string(roundingProc) + R"(
source net.tcl
puts "Flight: [Flight getNumCameras] [Flight time getValue] [Flight time getMinMax]"
puts "Empty: [Empty getNumCameras] [Empty getViewerMask]"
puts "after: [r [viewer 0 getCamera]]"
puts "[catch {saveNetwork /nonexistent/folder/net.tcl} msg] $msg"
puts "[catch {saveNetwork} msg] $msg"
)");
    ASSERT_EQ(restore.exitCode, 0) << restore.err << restore.out;
    EXPECT_THAT(restore.out, HasSubstr("Flight: 3 5 0 20\n"));
    EXPECT_THAT(restore.out, HasSubstr("Empty: 0 3\n"));
    const std::string before = save.out.substr(save.out.find("before: ") + 8);
    EXPECT_THAT(restore.out, HasSubstr("after: " + before.substr(0, before.find('\n'))));
    // A failed save keeps the old script.
    EXPECT_THAT(restore.out,
                HasSubstr("1 saveNetwork: cannot write \"/nonexistent/folder/net.tcl\": No such file or directory\n"));
    EXPECT_THAT(restore.out, HasSubstr("1 usage: saveNetwork file.tcl\n"));
    EXPECT_EQ(slurp(dir + "/net.tcl"), network);
}

// Qt takes the C library's locale from the environment; under a comma locale
// numbers in scripts, results, files and saved networks still use a point.
TEST(FilesAndNetwork, aCommaLocaleChangesNoNumber) {
    const std::string dir = makeTempDir();
    std::ofstream(dir + "/locale.tcl") << R"(
viewer 0 setCamera 0.5 0 10   0 0 0   0 1 0
create HxKeyframeCameraPath p
p append
viewer 0 setCamera 10.25 0 0   0 0 0   0 1 0
p append
p save "Camerapath Inventor" p.civ
p time setMinMax 0 2.5
saveNetwork net.tcl
puts "position: [viewer 0 getCameraPosition] duration: [p getDuration] format: [format %g 0.5]"
set q [load p.civ]
puts "loaded: [$q getDuration] [$q camera 0 getPosition]"
)";
    const VornaRun run = runProgram(VORNA_BINARY, {dir + "/locale.tcl"}, {"LC_ALL=de_DE.UTF-8"}, dir);
    ASSERT_EQ(run.exitCode, 0) << run.err << run.out;
    EXPECT_THAT(run.out, HasSubstr("position: 10.25 0 0 duration: 10.000000 format: 0.5\n"));
    EXPECT_THAT(run.out, HasSubstr("loaded: 10.000000 0.5 0 10\n"));
    EXPECT_THAT(slurp(dir + "/p.civ"), HasSubstr("string \"10.000000\""));
    const std::string network = slurp(dir + "/net.tcl");
    EXPECT_THAT(network, HasSubstr("{p} time setMinMax 0 2.5\n"));
    EXPECT_THAT(network, HasSubstr("\nviewer 0 setCamera 10.25 0 0  "));
}
