// The movie command from scripts: a keyframe flight over a sample scene
// rendered to numbered PNGs, and refused options; and its progress report
// in-process. Needs GL (label "render").
#include "VornaRunner.h"

#include <hxcore/HxApplication.h>
#include <hxcore/HxInterpreter.h>
#include <hxcore/HxMessage.h>
#include <viewer/HxController.h>
#include <viewer/HxMovieCommand.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QDir>
#include <QImage>
#include <fstream>
#include <tcl.h>
#include <utility>

using ::testing::HasSubstr;
using ::testing::Not;

namespace {
// Runs the script with `dir` as its working folder.
VornaRun runIn(const std::string& dir, const std::string& script, const std::vector<std::string>& env = {}) {
    return runVornaScript("cd {" + dir + "}\n" + script, env);
}

// A three-keyframe flight around the plate scene, 20 seconds long.
std::string flight() {
    return std::string("load ") + PLATE_SCENE + R"(
create HxKeyframeCameraPath Flight
viewer 0 setCamera 0 4 12   0 1 0   0 1 0
Flight append
viewer 0 setCamera 12 4 0   0 1 0   0 1 0
Flight append
viewer 0 setCamera 0 6 -12  0 1 0   0 1 0
Flight append
Flight fire
)";
}

std::string frameFile(const std::string& dir, int frame) {
    char name[32];
    std::snprintf(name, sizeof name, "/f%04d.png", frame);
    return dir + name;
}
}  // namespace

TEST(Movie, writesOnePngPerFrameOfTheRequestedSize) {
    const std::string dir = makeTempDir();
    VornaRun run = runIn(dir, flight() + R"(
viewer 0 setSize 50 40
movie -object Flight -viewer 0 -frames 5 -size 96 72 -out f%04d.png
puts "size after: [viewer 0 getSize]"
puts "time after: [Flight time getValue]"
)");
    ASSERT_EQ(run.exitCode, 0) << run.err << run.out;
    for (int i = 1; i <= 5; ++i)
        EXPECT_THAT(run.out, HasSubstr("movie: frame " + std::to_string(i) + " of 5\n"));
    EXPECT_THAT(run.out, HasSubstr("size after: 50 40\n"));
    EXPECT_THAT(run.out, HasSubstr("time after: 20"));
    std::vector<QImage> frames;
    for (int i = 0; i < 5; ++i) {
        frames.emplace_back(QString::fromStdString(frameFile(dir, i)));
        ASSERT_FALSE(frames.back().isNull()) << frameFile(dir, i);
        EXPECT_EQ(frames.back().size(), QSize(96, 72));
        // The scene is in view: not a blank frame.
        EXPECT_NE(frames.back(), QImage(96, 72, frames.back().format()).copy()) << i;
    }
    EXPECT_FALSE(QFile::exists(QString::fromStdString(frameFile(dir, 5))));
    for (int i = 1; i < 5; ++i) EXPECT_NE(frames[i - 1], frames[i]) << "frames " << i - 1 << " and " << i;
}

TEST(Movie, firstAndLastAndRangeChooseTheFrames) {
    const std::string dir = makeTempDir();
    VornaRun run = runIn(dir, flight() + R"(
movie -object Flight -port time -viewer 0 -frames 10 -range 0 10 -first 2 -last 4 -size 32 32 -out f%04d.png
puts "time after: [Flight time getValue]"
)");
    ASSERT_EQ(run.exitCode, 0) << run.err << run.out;
    EXPECT_EQ(QDir(QString::fromStdString(dir)).entryList({"f*.png"}, QDir::Files),
              QStringList({"f0002.png", "f0003.png", "f0004.png"}));
    EXPECT_THAT(run.out, HasSubstr("movie: frame 3 of 10\n"));
    EXPECT_THAT(run.out, HasSubstr("movie: frame 5 of 10\n"));
    EXPECT_THAT(run.out, Not(HasSubstr("movie: frame 6 of 10")));
    // Frame 4 of 0..9 over the range 0 .. 10.
    EXPECT_THAT(run.out, HasSubstr("time after: 4.44"));
}

TEST(Movie, stopsAtTheFirstFailedWrite) {
    const std::string dir = makeTempDir();
    std::ofstream(dir + "/plain") << "a file, not a folder";
    VornaRun run = runIn(dir, flight() + R"(
puts "[catch {movie -object Flight -viewer 0 -frames 3 -size 16 16 -out plain/f%d.png} msg] $msg"
)");
    ASSERT_EQ(run.exitCode, 0) << run.err << run.out;
    EXPECT_THAT(run.out,
                HasSubstr("1 movie: frame 0: cannot write \"plain/f0.png\": Not a directory\n"));
    EXPECT_THAT(run.out, Not(HasSubstr("movie: frame 1 of 3")));
}

struct BadMovie {
    const char* name;
    const char* options;
    const char* reason;
};

class MovieRefusal : public ::testing::TestWithParam<BadMovie> {};

TEST_P(MovieRefusal, givesTheUsage) {
    const std::string dir = makeTempDir();
    VornaRun run = runIn(dir, flight() + "create HxInventorScene NoTime\n" + "puts \"[catch {movie " +
                                  GetParam().options + "} msg] $msg\"\n");
    ASSERT_EQ(run.exitCode, 0) << run.err << run.out;
    const std::string usage =
        "usage: movie -object name [-port time] -viewer n -frames k [-range a b] [-first i -last j] -size w h "
        "-out pattern%04d.png";
    EXPECT_THAT(run.out, HasSubstr(std::string("1 movie: ") + GetParam().reason + "; " + usage + "\n"));
    EXPECT_TRUE(QDir(QString::fromStdString(dir)).entryList({"*.png"}, QDir::Files).isEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Options, MovieRefusal,
    ::testing::Values(
        BadMovie{"noObject", "-viewer 0 -frames 2 -size 8 8 -out f%d.png", "-object is required"},
        BadMovie{"noViewer", "-object Flight -frames 2 -size 8 8 -out f%d.png", "-viewer is required"},
        BadMovie{"noFrames", "-object Flight -viewer 0 -size 8 8 -out f%d.png", "-frames is required"},
        BadMovie{"noSize", "-object Flight -viewer 0 -frames 2 -out f%d.png", "-size is required"},
        BadMovie{"noOut", "-object Flight -viewer 0 -frames 2 -size 8 8", "-out is required"},
        BadMovie{"zeroFrames", "-object Flight -viewer 0 -frames 0 -size 8 8 -out f%d.png",
                 "-frames needs a whole number from 1 to 1000000"},
        BadMovie{"viewer16", "-object Flight -viewer 16 -frames 2 -size 8 8 -out f%d.png",
                 "-viewer needs a viewer number from 0 to 15"},
        BadMovie{"sizeWord", "-object Flight -viewer 0 -frames 2 -size 8 big -out f%d.png",
                 "-size needs a width and a height from 1 to 16384"},
        BadMovie{"rangeWord", "-object Flight -viewer 0 -frames 2 -range 0 x -size 8 8 -out f%d.png",
                 "-range needs two numbers"},
        BadMovie{"firstAlone", "-object Flight -viewer 0 -frames 4 -first 1 -size 8 8 -out f%d.png",
                 "-first and -last go together"},
        BadMovie{"lastTooLarge", "-object Flight -viewer 0 -frames 4 -first 1 -last 4 -size 8 8 -out f%d.png",
                 "-first and -last must satisfy 0 <= first <= last < frames"},
        BadMovie{"missingValue", "-object Flight -viewer 0 -frames 2 -size 8 8 -out", "-out is missing its value"},
        BadMovie{"unknownOption", "-object Flight -viewer 0 -frames 2 -size 8 8 -fps 25 -out f%d.png",
                 "unknown option \"-fps\""},
        BadMovie{"patternWithoutNumber", "-object Flight -viewer 0 -frames 2 -size 8 8 -out f.png",
                 "-out needs a pattern with one frame number, like frame%04d.png"},
        BadMovie{"patternWithTwoNumbers", "-object Flight -viewer 0 -frames 2 -size 8 8 -out f%d_%d.png",
                 "-out needs a pattern with one frame number, like frame%04d.png"},
        BadMovie{"patternWithString", "-object Flight -viewer 0 -frames 2 -size 8 8 -out f%s.png",
                 "-out needs a pattern with one frame number, like frame%04d.png"},
        BadMovie{"noSuchObject", "-object Nobody -viewer 0 -frames 2 -size 8 8 -out f%d.png",
                 "no object named \"Nobody\""},
        BadMovie{"noTimePort", "-object NoTime -viewer 0 -frames 2 -size 8 8 -out f%d.png",
                 "\"NoTime\" has no time port \"time\""},
        BadMovie{"wrongPortName", "-object Flight -port clock -viewer 0 -frames 2 -size 8 8 -out f%d.png",
                 "\"Flight\" has no time port \"clock\""}),
    [](const auto& param) { return std::string(param.param.name); });

TEST(Movie, withoutGLTheSnapshotFailsClearlyAndNothingCrashes) {
    const std::string dir = makeTempDir();
    // No EGL vendor library can be found: no GL context at all.
    VornaRun run = runIn(dir, flight() + R"(
viewer 0 redraw
puts "[catch {viewer 0 snapshot a.png} msg] $msg"
puts "[catch {movie -object Flight -viewer 0 -frames 2 -size 8 8 -out f%d.png} msg] $msg"
)", {"__EGL_VENDOR_LIBRARY_FILENAMES=/nonexistent/vendor.json"});
    ASSERT_EQ(run.exitCode, 0) << run.err << run.out;
    const std::string reason = "no offscreen OpenGL";
    EXPECT_THAT(run.out, HasSubstr("1 viewer snapshot: " + reason));
    EXPECT_THAT(run.out, HasSubstr("1 movie: frame 0: " + reason));
    // The console says it once, however often rendering is tried.
    const std::string notice = "viewer: no offscreen OpenGL, nothing can be rendered";
    const auto first = run.out.find(notice);
    ASSERT_NE(first, std::string::npos) << run.out;
    EXPECT_EQ(run.out.find(notice, first + 1), std::string::npos) << run.out;
}

// The report a window shows as a progress bar: one call per frame written,
// counting the frames of this run; answering false stops the movie there.
class MovieProgress : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(theInterpreter->eval("create HxTimeSource Clock"), TCL_OK); }
    void TearDown() override {
        HxMovieCommand::setProgress(nullptr);
        theInterpreter->eval("catch {remove Clock}");
        theController->reset();
        theMsg->clear();
    }
    int movie(const std::string& range) {
        return theInterpreter->eval(("movie -object Clock -viewer 0 -frames 6 " + range + " -size 8 8 -out " + dir +
                                     "/f%d.png").c_str());
    }
    QStringList written() const { return QDir(QString::fromStdString(dir)).entryList({"*.png"}, QDir::Files); }
    const std::string dir = makeTempDir();
};

TEST_F(MovieProgress, reportsEachFrameAndCancelsWhenAskedTo) {
    std::vector<std::pair<int, int>> calls;
    HxMovieCommand::setProgress([&calls](int done, int total) {
        calls.emplace_back(done, total);
        return done < 2;
    });
    EXPECT_EQ(movie("-first 1 -last 4"), TCL_ERROR);
    EXPECT_EQ(theInterpreter->result(), "movie: cancelled after 2 of 4 frames");
    EXPECT_THAT(theMsg->text(), HasSubstr("movie: frame 3 of 6\nmovie: cancelled after 2 of 4 frames\n"));
    EXPECT_EQ(calls, (std::vector<std::pair<int, int>>{{1, 4}, {2, 4}}));
    EXPECT_EQ(written(), QStringList({"f1.png", "f2.png"}));
}

// The report handles events, as the window's progress dialog does; a handler
// that takes away what the movie works on stops it there, and nothing freed
// is used (the sanitizer build checks that).
struct Removal {
    const char* name;
    void (*queue)();  // queues the event that takes something away
    const char* reason;
};

class MovieRemoval : public MovieProgress, public ::testing::WithParamInterface<Removal> {};

TEST_P(MovieRemoval, stopsTheMovieWithAMessage) {
    HxMovieCommand::setProgress([](int done, int) {
        if (done == 1) GetParam().queue();
        HxApplication::handlePendingEvents();
        return true;
    });
    EXPECT_EQ(movie("-first 0 -last 3"), TCL_ERROR);
    const std::string text = std::string("movie: stopped after 1 of 4 frames: ") + GetParam().reason;
    EXPECT_EQ(theInterpreter->result(), text);
    EXPECT_THAT(theMsg->text(), HasSubstr(text + "\n"));
    EXPECT_EQ(written(), QStringList({"f0.png"}));
}

INSTANTIATE_TEST_SUITE_P(
    Events, MovieRemoval,
    ::testing::Values(
        Removal{"afterScriptRemovesTheObject", [] { theInterpreter->eval("after idle {remove Clock}"); },
                "\"Clock\" was removed"},
        Removal{"viewersDropped", [] { HxApplication::post([] { theController->reset(); }); },
                "viewer 0 was removed"}),
    [](const auto& param) { return std::string(param.param.name); });
