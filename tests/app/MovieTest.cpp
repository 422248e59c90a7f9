// The movie command from scripts: a keyframe flight over a sample scene
// rendered to numbered PNGs, and refused options; and its progress report
// in-process. Needs GL (label "render").
#include "VornaRunner.h"

#include <hxcore/HxApplication.h>
#include <hxcore/HxInterpreter.h>
#include <hxcore/HxMessage.h>
#include <mc/McWatch.h>
#include <session/HxMovieCommand.h>
#include <viewer/HxController.h>
#include <viewer/HxOffscreenContext.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QDir>
#include <cmath>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}
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
    EXPECT_THAT(run.out, HasSubstr("movie: frame 1 of 5\n"));
    EXPECT_THAT(run.out, HasSubstr("movie: frame 5 of 5, "));
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
    EXPECT_THAT(run.out, HasSubstr("movie: frame 5 of 10, "));
    EXPECT_THAT(run.out, Not(HasSubstr("movie: frame 6 of 10")));
    // Frame 4 of 0..9 over the range 0 .. 10.
    EXPECT_THAT(run.out, HasSubstr("time after: 4.44"));
}

TEST(Movie, aClosedPathLeavesOutItsEndSoTheMovieLoops) {
    const std::string dir = makeTempDir();
    VornaRun run = runIn(dir, flight() + R"(
create HxCircularCameraPath Circle
movie -object Circle -viewer 0 -frames 4 -size 16 16 -out c%d.png
puts "closed: [Circle time getValue]"
movie -object Circle -viewer 0 -frames 4 -range 0 90 -size 16 16 -out c%d.png
puts "closed with a range: [Circle time getValue]"
)");
    ASSERT_EQ(run.exitCode, 0) << run.err << run.out;
    EXPECT_THAT(run.out, HasSubstr("closed: 270\n"));
    EXPECT_THAT(run.out, HasSubstr("closed with a range: 90\n"));
}

TEST(Movie, overwritesALongerSequenceOnlyWhenAskedTo) {
    const std::string dir = makeTempDir();
    for (int i = 0; i < 5; ++i) std::ofstream(frameFile(dir, i)) << "old";
    std::ofstream(dir + "/f7.png") << "not of the pattern";
    VornaRun run = runIn(dir, flight() + R"(
puts "[catch {movie -object Flight -viewer 0 -frames 3 -size 16 16 -out f%04d.png} msg] $msg"
movie -object Flight -viewer 0 -frames 3 -size 16 16 -overwrite -out f%04d.png
)");
    ASSERT_EQ(run.exitCode, 0) << run.err << run.out;
    EXPECT_THAT(run.out, HasSubstr("1 movie: \"f0003.png\" and 1 more frames of this pattern lie beyond the new 3; "
                                   "-overwrite removes them\n"));
    EXPECT_EQ(QDir(QString::fromStdString(dir)).entryList({"f*.png"}, QDir::Files),
              QStringList({"f0000.png", "f0001.png", "f0002.png", "f7.png"}));
    EXPECT_FALSE(QImage(QString::fromStdString(frameFile(dir, 0))).isNull());
}

TEST(Movie, createsTheOutputFolder) {
    const std::string dir = makeTempDir();
    VornaRun run = runIn(dir, flight() + "movie -object Flight -viewer 0 -frames 2 -size 16 16 -out a/b/m.gif\n");
    ASSERT_EQ(run.exitCode, 0) << run.err << run.out;
    EXPECT_TRUE(QFile::exists(QString::fromStdString(dir + "/a/b/m.gif")));
}

TEST(Movie, stopsAtTheFirstFailedWrite) {
    const std::string dir = makeTempDir();
    std::ofstream(dir + "/plain") << "a file, not a folder";
    VornaRun run = runIn(dir, flight() + R"(
puts "[catch {movie -object Flight -viewer 0 -frames 3 -size 16 16 -out plain/f%d.png} msg] $msg"
)");
    ASSERT_EQ(run.exitCode, 0) << run.err << run.out;
    EXPECT_THAT(run.out, HasSubstr("1 movie: frame 0: cannot write \"plain/f0.png\": Not a directory\n"));
}

const char* const kBadOut =
    "-out needs a video name (.mp4, .webm, .gif) or a pattern with one frame number, like frame%04d.png";

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
        "[-samples n] [-fps f] [-quality q] [-compression c] [-overwrite] -out "
        "file.mp4|file.webm|file.gif|pattern%04d.png";
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
                 "-size needs a width and a height from 1 to 32767"},
        BadMovie{"rangeWord", "-object Flight -viewer 0 -frames 2 -range 0 x -size 8 8 -out f%d.png",
                 "-range needs two numbers"},
        BadMovie{"threeSamples", "-object Flight -viewer 0 -frames 2 -size 8 8 -samples 3 -out f.mp4",
                 "-samples needs 1, 2, 4 or 8"},
        BadMovie{"fpsZero", "-object Flight -viewer 0 -frames 2 -size 8 8 -fps 0 -out f.mp4",
                 "-fps needs a whole number from 1 to 240"},
        BadMovie{"qualityAbove100", "-object Flight -viewer 0 -frames 2 -size 8 8 -quality 101 -out f.mp4",
                 "-quality needs a whole number from 0 to 100"},
        BadMovie{"compressionAbove9", "-object Flight -viewer 0 -frames 2 -size 8 8 -compression 10 -out f%d.png",
                 "-compression needs a whole number from 0 to 9"},
        BadMovie{"firstAlone", "-object Flight -viewer 0 -frames 4 -first 1 -size 8 8 -out f%d.png",
                 "-first and -last go together"},
        BadMovie{"lastTooLarge", "-object Flight -viewer 0 -frames 4 -first 1 -last 4 -size 8 8 -out f%d.png",
                 "-first and -last must satisfy 0 <= first <= last < frames"},
        BadMovie{"missingValue", "-object Flight -viewer 0 -frames 2 -size 8 8 -out", "-out is missing its value"},
        BadMovie{"unknownOption", "-object Flight -viewer 0 -frames 2 -size 8 8 -speed 2 -out f%d.png",
                 "unknown option \"-speed\""},
        BadMovie{"patternWithoutNumber", "-object Flight -viewer 0 -frames 2 -size 8 8 -out f.png", kBadOut},
        BadMovie{"patternWithTwoNumbers", "-object Flight -viewer 0 -frames 2 -size 8 8 -out f%d_%d.png", kBadOut},
        BadMovie{"patternWithString", "-object Flight -viewer 0 -frames 2 -size 8 8 -out f%s.png", kBadOut},
        BadMovie{"noSuchObject", "-object Nobody -viewer 0 -frames 2 -size 8 8 -out f%d.png",
                 "no object named \"Nobody\""},
        BadMovie{"noTimePort", "-object NoTime -viewer 0 -frames 2 -size 8 8 -out f%d.png",
                 "\"NoTime\" has no time port \"time\""},
        BadMovie{"wrongPortName", "-object Flight -port clock -viewer 0 -frames 2 -size 8 8 -out f%d.png",
                 "\"Flight\" has no time port \"clock\""}),
    [](const auto& param) { return std::string(param.param.name); });

// What libavformat and libavcodec read back from a video file.
struct VideoFile {
    std::string container, codec;
    int frames = 0, width = 0, height = 0;
    double duration = 0;  // seconds
    QImage first, last;   // decoded, as RGB
};

QImage toImage(const AVFrame* frame) {
    QImage image(frame->width, frame->height, QImage::Format_RGB888);
    SwsContext* convert =
        sws_getContext(frame->width, frame->height, static_cast<AVPixelFormat>(frame->format), frame->width,
                       frame->height, AV_PIX_FMT_RGB24, SWS_BILINEAR, nullptr, nullptr, nullptr);
    uint8_t* target[1] = {image.bits()};
    const int stride[1] = {static_cast<int>(image.bytesPerLine())};
    sws_scale(convert, frame->data, frame->linesize, 0, frame->height, target, stride);
    sws_freeContext(convert);
    return image;
}

bool readVideo(const std::string& file, VideoFile& video) {
    AVFormatContext* format = nullptr;
    if (avformat_open_input(&format, file.c_str(), nullptr, nullptr) < 0) return false;
    bool ok = avformat_find_stream_info(format, nullptr) >= 0 && format->nb_streams == 1;
    AVCodecContext* codec = nullptr;
    AVFrame* frame = av_frame_alloc();
    AVPacket* packet = av_packet_alloc();
    if (ok) {
        const AVCodecParameters* parameters = format->streams[0]->codecpar;
        video.container = format->iformat->name;
        video.codec = avcodec_get_name(parameters->codec_id);
        video.width = parameters->width;
        video.height = parameters->height;
        video.duration = double(format->duration) / AV_TIME_BASE;
        codec = avcodec_alloc_context3(avcodec_find_decoder(parameters->codec_id));
        ok = avcodec_parameters_to_context(codec, parameters) >= 0 && avcodec_open2(codec, nullptr, nullptr) >= 0;
    }
    auto drain = [&] {
        while (avcodec_receive_frame(codec, frame) >= 0) {
            if (video.frames++ == 0) video.first = toImage(frame);
            video.last = toImage(frame);
        }
    };
    while (ok && av_read_frame(format, packet) >= 0) {
        ok = avcodec_send_packet(codec, packet) >= 0;
        av_packet_unref(packet);
        drain();
    }
    if (ok) avcodec_send_packet(codec, nullptr);
    if (ok) drain();
    av_packet_free(&packet);
    av_frame_free(&frame);
    avcodec_free_context(&codec);
    avformat_close_input(&format);
    return ok;
}

// The mean difference of two images of one size, over all channels (0 .. 255).
double meanDifference(const QImage& a, const QImage& b) {
    const QImage x = a.convertToFormat(QImage::Format_RGB888), y = b.convertToFormat(QImage::Format_RGB888);
    double sum = 0;
    for (int row = 0; row < x.height(); ++row)
        for (int i = 0; i < x.width() * 3; ++i) sum += std::abs(x.constScanLine(row)[i] - y.constScanLine(row)[i]);
    return sum / (double(x.width()) * x.height() * 3);
}

struct VideoKind {
    const char* name;
    const char* file;
    const char* container;  // libavformat's name of the demuxer
    const char* codec;
    double tolerance;  // mean difference from the PNG frame the lossy codec may give
};

class MovieVideo : public ::testing::TestWithParam<VideoKind> {};

TEST_P(MovieVideo, readsBackWithItsFramesSizeAndDuration) {
    const std::string dir = makeTempDir();
    const std::string options = "-object Flight -viewer 0 -frames 6 -size 64 48 -fps 12";
    VornaRun run = runIn(
        dir, flight() + "movie " + options + " -out " + GetParam().file + "\nmovie " + options + " -out f%04d.png\n");
    ASSERT_EQ(run.exitCode, 0) << run.err << run.out;
    VideoFile video;
    ASSERT_TRUE(readVideo(dir + "/" + GetParam().file, video));
    EXPECT_EQ(video.container, GetParam().container);
    EXPECT_EQ(video.codec, GetParam().codec);
    EXPECT_EQ(video.frames, 6);
    EXPECT_EQ(video.width, 64);
    EXPECT_EQ(video.height, 48);
    EXPECT_NEAR(video.duration, 6.0 / 12.0, 0.011);
    const QImage first(QString::fromStdString(frameFile(dir, 0))), last(QString::fromStdString(frameFile(dir, 5)));
    ASSERT_EQ(video.first.size(), first.size());
    EXPECT_LT(meanDifference(video.first, first), GetParam().tolerance);
    EXPECT_LT(meanDifference(video.last, last), GetParam().tolerance);
    // The first and last frames differ enough for the comparison to tell them
    // apart.
    EXPECT_GT(meanDifference(first, last), GetParam().tolerance);
    EXPECT_EQ(QDir(QString::fromStdString(dir)).entryList(QDir::Files).size(), 7) << "a temporary file was left";
}

INSTANTIATE_TEST_SUITE_P(Kinds, MovieVideo,
                         ::testing::Values(VideoKind{"mp4", "m.mp4", "mov,mp4,m4a,3gp,3g2,mj2", "h264", 4},
                                           VideoKind{"webm", "m.webm", "matroska,webm", "vp9", 4},
                                           // 256 fixed colours, dithered.
                                           VideoKind{"gif", "m.gif", "gif", "gif", 12}),
                         [](const auto& param) { return std::string(param.param.name); });

TEST(Movie, refusesOddSizesForHalfSizeColour) {
    const std::string dir = makeTempDir();
    VornaRun run = runIn(dir, flight() + R"(
puts "[catch {movie -object Flight -viewer 0 -frames 2 -size 63 48 -out m.mp4} msg] $msg"
)");
    ASSERT_EQ(run.exitCode, 0) << run.err << run.out;
    EXPECT_THAT(run.out, HasSubstr("1 movie: -size must be even for .mp4 (its "
                                   "colour is stored at half size): 63 x 48\n"));
    EXPECT_TRUE(QDir(QString::fromStdString(dir)).entryList(QDir::Files).isEmpty());
}

TEST(Movie, withoutGLTheSnapshotFailsClearlyAndNothingCrashes) {
    const std::string dir = makeTempDir();
    // No EGL vendor library can be found: no GL context at all.
    VornaRun run = runIn(dir, flight() + R"(
viewer 0 redraw
puts "[catch {viewer 0 snapshot a.png} msg] $msg"
puts "[catch {movie -object Flight -viewer 0 -frames 2 -size 8 8 -out f%d.png} msg] $msg"
)",
                         {"__EGL_VENDOR_LIBRARY_FILENAMES=/nonexistent/vendor.json"});
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
    // `options` come after the size and may replace it.
    int movie(const std::string& options, const std::string& out = "f%d.png") {
        return theInterpreter->eval(
            ("movie -object Clock -viewer 0 -frames 6 -size 8 8 " + options + " -out " + dir + "/" + out).c_str());
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
    EXPECT_THAT(theMsg->text(), HasSubstr("movie: frame 2 of 6\nmovie: cancelled after 2 of 4 frames\n"));
    EXPECT_EQ(calls, (std::vector<std::pair<int, int>>{{1, 4}, {2, 4}}));
    EXPECT_EQ(written(), QStringList({"f1.png", "f2.png"}));
}

// Off a terminal: the first line, then one every few seconds, and the last;
// the rate counts from the first frame done.
TEST_F(MovieProgress, showsTheRateAndTheTimeLeftEveryFewSeconds) {
    McManualClock clock;
    std::vector<std::string> lines;
    HxMovieCommand::setProgress([&](int, int) {
        lines.push_back(HxMovieCommand::progressLine());
        clock.advance(2);
        return true;
    });
    EXPECT_EQ(movie("-samples 1"), TCL_OK);
    EXPECT_EQ(theMsg->text(),
              "movie: frame 1 of 6\nmovie: frame 3 of 6, 0.5 fps, 0:06 left\nmovie: frame 5 of 6, 0.5 fps, 0:02 left\n"
              "movie: frame 6 of 6, 0.5 fps, 0:00 left\n");
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[1], "movie: frame 2 of 6, 0.5 fps, 0:08 left");
}

TEST_F(MovieProgress, refusesSizesBeyondWhatTheGLRenders) {
    const int largest = std::min(HxOffscreenContext::maxImageSize(), 16384);
    ASSERT_GT(largest, 0);
    const std::string side = std::to_string(largest);
    EXPECT_EQ(movie("-size 8 " + std::to_string(largest + 1)), TCL_ERROR);
    EXPECT_EQ(theInterpreter->result(), "movie: -size 8 x " + std::to_string(largest + 1) +
                                            " is larger than the GL can render, " + side + " x " + side + " at most");
}

TEST_F(MovieProgress, aCancelledVideoLeavesThePreviousFileAsItWas) {
    std::ofstream(dir + "/m.mp4") << "previous";
    HxMovieCommand::setProgress([](int done, int) { return done < 2; });
    EXPECT_EQ(movie("", "m.mp4"), TCL_ERROR);
    EXPECT_EQ(theInterpreter->result(), "movie: cancelled after 2 of 6 frames");
    std::ifstream old(dir + "/m.mp4");
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(old), {}), "previous");
    EXPECT_EQ(QDir(QString::fromStdString(dir)).entryList(QDir::Files), QStringList({"m.mp4"}));
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
    ::testing::Values(Removal{"afterScriptRemovesTheObject", [] { theInterpreter->eval("after idle {remove Clock}"); },
                              "\"Clock\" was removed"},
                      Removal{"viewersDropped", [] { HxApplication::post([] { theController->reset(); }); },
                              "viewer 0 was removed"}),
    [](const auto& param) { return std::string(param.param.name); });
