// The movie command, in-process with the package loaded as vorna loads it: a
// keyframe flight over a sample scene rendered to PNGs and videos, and the
// progress report that can cancel it. Needs GL (label "render").
#include "VornaRunner.h"

#include <hxcore/HxApplication.h>
#include <hxcore/HxInterpreter.h>
#include <hxcore/HxMessage.h>
#include <hxcore/HxObject.h>
#include <hxcore/HxObjectPool.h>
#include <mc/McWatch.h>
#include <viewer/HxController.h>
#include <ports/HxPortTime.h>
#include <session/HxMovieCommand.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QDir>
#include <QImage>
#include <QImageReader>
#include <cmath>
#include <fstream>
#include <tcl.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

using ::testing::HasSubstr;

namespace {
class Movie : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        static std::string error;
        static const bool loaded = HxApplication::packages().loadFile("vevazaru", VEVAZARU_LIBRARY_FILE, error);
        ASSERT_TRUE(loaded) << error;
    }
    void SetUp() override { ok("load " PLATE_SCENE + std::string(flightScript)); }
    void TearDown() override {
        HxMovieCommand::setProgress(nullptr);
        theObjectPool->clear();
        theController->reset();
        HxApplication::handlePendingEvents();
        theMsg->clear();
    }
    static std::string run(const std::string& script, int code) {
        EXPECT_EQ(theInterpreter->eval(script.c_str()), code) << script << "\n" << theInterpreter->result();
        return theInterpreter->result();
    }
    static std::string ok(const std::string& script) { return run(script, TCL_OK); }
    // Flight's movie into the test's folder; `options` come last and may replace the others.
    std::string movie(const std::string& options, const std::string& out, int code = TCL_OK) const {
        return run("movie -object Flight -viewer 0 -out " + dir + "/" + out + " " + options, code);
    }
    // Records the object's time at each frame; the movie puts it back when it ends.
    void recordTimes(const char* object) {
        auto* port = dynamic_cast<HxPortTime*>(theObjectPool->find(object)->getPort("time"));
        HxMovieCommand::setProgress([this, port](int, int) { return times.push_back(port->getValue()), true; });
    }
    std::vector<float> times;
    QImage image(const char* file) const { return QImage(QString::fromStdString(dir + "/" + file)); }
    QStringList files() const { return QDir(QString::fromStdString(dir)).entryList(QDir::Files); }
    const std::string dir = makeTempDir();
};

TEST_F(Movie, writesOnePngPerFrameOfTheRequestedSizeAndLeavesTheTimeAndTheViewersAsTheyWere) {
    ok("viewer 0 setSize 50 40; Flight time setValue 7; Flight fire; viewer 5 setCamera 0 0 30  0 0 0  0 1 0");
    const std::string cameras = ok("list [viewer 0 getCamera] [viewer 5 getCamera]");
    recordTimes("Flight");
    movie("-frames 5 -size 96 72", "f%d.png");
    EXPECT_EQ(times, (std::vector<float>{0, 5, 10, 15, 20}));
    EXPECT_EQ(ok("list [viewer 0 getSize] [Flight time getValue]"), "{50 40} 7");
    EXPECT_EQ(ok("list [viewer 0 getCamera] [viewer 5 getCamera]"), cameras);
    ASSERT_EQ(files(), QStringList({"f0.png", "f1.png", "f2.png", "f3.png", "f4.png"}));
    for (int i = 0; i < 5; ++i) {
        const QImage frame = image(("f" + std::to_string(i) + ".png").c_str());
        EXPECT_EQ(frame.size(), QSize(96, 72));
        // The scene is in view, and moves from frame to frame.
        EXPECT_NE(frame, QImage(96, 72, frame.format()).copy()) << i;
        EXPECT_TRUE(i == 0 || frame != image(("f" + std::to_string(i - 1) + ".png").c_str())) << i;
    }
}

TEST_F(Movie, rangeFirstAndLastChooseTheFramesAndAClosedPathLoops) {
    recordTimes("Flight");
    movie("-port time -frames 10 -range 0 10 -first 2 -last 4 -size 16 16", "f%04d.png");
    EXPECT_EQ(files(), QStringList({"f0002.png", "f0003.png", "f0004.png"}));
    ASSERT_EQ(times.size(), 3u);
    EXPECT_FLOAT_EQ(times.back(), 40.0f / 9.0f);  // frame 4 of 0 .. 9 over 0 .. 10
    // A closed path leaves out its end, which is its start; the folders are made.
    ok("create HxCircularCameraPath Circle");
    recordTimes("Circle");
    times.clear();
    ok("movie -object Circle -viewer 0 -frames 4 -size 16 16 -out " + dir + "/a/b/c%d.png");
    EXPECT_EQ(times, (std::vector<float>{0, 90, 180, 270}));
    EXPECT_EQ(QDir(QString::fromStdString(dir + "/a/b")).entryList(QDir::Files).size(), 4);
    ok("movie -object Circle -viewer 0 -frames 4 -range 0 90 -size 16 16 -out " + dir + "/c%d.png");
    EXPECT_EQ(times.back(), 90.0f);
    EXPECT_EQ(movie("-frames 4 -first 1 -last 4 -size 8 8", "f%d.png", TCL_ERROR),
              "movie: -first and -last must satisfy 0 <= first <= last < frames; usage: movie -object name [-port "
              "time] -viewer n -frames k [-range a b] [-first i -last j] -size w h [-samples n] [-fps f] [-quality q] "
              "[-compression c] [-overwrite] -out file.mp4|file.webm|file.gif|pattern%04d.png");
}

// A shorter PNG sequence over a longer one would leave a mix of the two.
TEST_F(Movie, keepsALongerSequenceUnlessToldToOverwriteAndRefusesSizesBeyondTheGL) {
    movie("-frames 4 -size 8 8", "f%d.png");
    const QImage third = image("f2.png");
    EXPECT_THAT(movie("-frames 2 -size 16 16", "f%d.png", TCL_ERROR), HasSubstr("f2.png\" and 1 more frames"));
    EXPECT_EQ(image("f0.png").size(), QSize(8, 8)) << "nothing written";
    EXPECT_EQ(image("f2.png"), third);
    movie("-frames 2 -size 8 8 -overwrite", "f%d.png");
    EXPECT_EQ(files(), QStringList({"f0.png", "f1.png"}));
    EXPECT_THAT(movie("-frames 1 -size 16385 8", "g%d.png", TCL_ERROR), HasSubstr("larger than the GL can render"));
}

// What libavformat and libavcodec read back from a video file: codec, size,
// duration and frame count as text, and its first and last frames decoded.
struct Video {
    std::string text = "unreadable";
    QImage first, last;
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

Video readVideo(const std::string& file) {
    Video video;
    AVFormatContext* format = nullptr;
    if (avformat_open_input(&format, file.c_str(), nullptr, nullptr) < 0) return video;
    avformat_find_stream_info(format, nullptr);
    const AVCodecParameters* parameters = format->streams[0]->codecpar;
    AVCodecContext* codec = avcodec_alloc_context3(avcodec_find_decoder(parameters->codec_id));
    avcodec_parameters_to_context(codec, parameters);
    avcodec_open2(codec, nullptr, nullptr);
    AVFrame* frame = av_frame_alloc();
    int frames = 0;
    auto drain = [&] {
        for (; avcodec_receive_frame(codec, frame) >= 0; ++frames)
            (frames == 0 ? video.first : video.last) = toImage(frame);
    };
    for (AVPacket packet; av_read_frame(format, &packet) >= 0; drain()) {
        avcodec_send_packet(codec, &packet);
        av_packet_unref(&packet);
    }
    avcodec_send_packet(codec, nullptr);
    drain();
    char text[100];
    std::snprintf(text, sizeof text, "%s %dx%d %.1f s, %d frames", avcodec_get_name(parameters->codec_id),
                  parameters->width, parameters->height, double(format->duration) / AV_TIME_BASE, frames);
    video.text = text;
    av_frame_free(&frame);
    avcodec_free_context(&codec);
    avformat_close_input(&format);
    return video;
}

// The mean difference of two images of one size, over all channels (0 .. 255).
double meanDifference(const QImage& a, const QImage& b) {
    if (a.size() != b.size()) return 255;
    const QImage x = a.convertToFormat(QImage::Format_RGB888), y = b.convertToFormat(QImage::Format_RGB888);
    double sum = 0;
    for (int row = 0; row < x.height(); ++row)
        for (int i = 0; i < x.width() * 3; ++i) sum += std::abs(x.constScanLine(row)[i] - y.constScanLine(row)[i]);
    return sum / (double(x.width()) * x.height() * 3);
}

// Each video's first and last frames are the PNG frames, within what its lossy
// codec (or the GIF's 256 dithered colours) changes; the two frames differ by more.
TEST_F(Movie, videosHoldTheirFramesAtTheirSizeAndRate) {
    movie("-frames 6 -size 64 48", "f%d.png");
    const QImage first = image("f0.png"), last = image("f5.png");
    const double tolerance = 12;
    EXPECT_GT(meanDifference(first, last), tolerance);
    for (const auto& [file, codec] : {std::pair{"m.mp4", "h264"}, {"m.webm", "vp9"}, {"m.gif", "gif"}}) {
        movie("-frames 6 -size 64 48 -fps 12", file);
        const Video video = readVideo(dir + "/" + file);
        EXPECT_EQ(video.text, std::string(codec) + " 64x48 0.5 s, 6 frames");
        EXPECT_LT(meanDifference(video.first, first), tolerance) << file;
        EXPECT_LT(meanDifference(video.last, last), tolerance) << file;
    }
    EXPECT_EQ(QDir(QString::fromStdString(dir)).entryList({"m.*"}, QDir::Files),
              QStringList({"m.gif", "m.mp4", "m.webm"}))
        << "a temporary file was left";
}

// The report a window shows as a progress bar: one call per frame written,
// counting the frames of this run; answering false stops the movie there. The
// console gets the first line, then one every few seconds with the rate and
// the time left.
TEST_F(Movie, reportsEachFrameAndCancelsWhenAskedTo) {
    McManualClock clock;
    std::vector<std::pair<int, int>> calls;
    HxMovieCommand::setProgress([&](int done, int total) {
        calls.emplace_back(done, total);
        clock.advance(2);
        return done < 3;
    });
    EXPECT_EQ(movie("-frames 6 -first 1 -last 4 -size 8 8", "f%d.png", TCL_ERROR),
              "movie: cancelled after 3 of 4 frames");
    EXPECT_THAT(theMsg->text(), HasSubstr("movie: frame 2 of 6\nmovie: frame 4 of 6, 0.5 fps, 0:02 left\n"
                                          "movie: cancelled after 3 of 4 frames\n"));
    EXPECT_EQ(calls, (std::vector<std::pair<int, int>>{{1, 4}, {2, 4}, {3, 4}}));
    EXPECT_EQ(files(), QStringList({"f1.png", "f2.png", "f3.png"}));
    // A cancelled video leaves the file it would have replaced as it was.
    std::ofstream(dir + "/m.mp4") << "old";
    EXPECT_EQ(movie("-frames 6 -size 8 8", "m.mp4", TCL_ERROR), "movie: cancelled after 3 of 6 frames");
    EXPECT_EQ(files(), QStringList({"f1.png", "f2.png", "f3.png", "m.mp4"}));
    EXPECT_EQ(slurp(dir + "/m.mp4"), "old");
}

}  // namespace
