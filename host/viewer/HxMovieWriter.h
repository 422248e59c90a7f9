// Where the movie command's frames go: a video file (MP4/H.264, WebM/VP9 or
// GIF, chosen by the output name, through FFmpeg's libraries) or one PNG per
// frame, and the encoder thread that writes them while the next frame renders.
//
// Frames are handed over as read back from GL: tightly packed RGB rows of the
// movie's size, bottom row first.
#pragma once
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// A file-name pattern with exactly one frame number: "%d" or "%0Nd"; "%%" is a
// percent sign.
struct HxFramePattern {
    std::string before, after;
    int width = 0;
    bool zeroPad = false;

    // False when `pattern` has no frame number, more than one, or another
    // conversion.
    bool parse(const std::string& pattern);
    std::string file(long frame) const;
    // The files of this pattern already there with a frame number of `count`
    // or more, sorted.
    std::vector<std::string> filesFrom(long count) const;
};

class QImage;

// Encodes `height` rows of `width` packed RGB pixels (rows[0] the top one) as
// PNG and saves it through a checked save; `zlibLevel` 0 .. 9 (1 the fast
// setting), or -1 for the encoder's default. False with `error` set when
// anything failed (an existing file then stays as it was).
bool hxSavePng(int width, int height, const unsigned char* const* rows, const std::string& file, int zlibLevel,
               std::string& error);
bool hxSavePng(const QImage& image, const std::string& file, int zlibLevel, std::string& error);

struct HxMovieSettings {
    int width = 0, height = 0;
    int fps = 25;         // frames per second of a video
    int quality = 80;     // 0 (smallest) .. 100 (best), mapped to the codec's own scale
    int compression = 1;  // zlib level of PNG frames, 0 .. 9
};

class HxMovieWriter {
public:
    virtual ~HxMovieWriter() = default;  // a video not finished leaves no file behind

    // True when `out` names a video file (.mp4, .webm, .gif, any case).
    static bool isVideo(const std::string& out);
    // Opens the output: a video is written under a temporary name in the
    // target's folder; PNG frames are written one by one as they come. Null,
    // with the reason in `error`, when the output cannot be made (a frame size
    // the codec cannot take, no such encoder, a folder that cannot be written).
    static std::unique_ptr<HxMovieWriter> open(const std::string& out, const HxMovieSettings& settings,
                                               std::string& error);

    // Writes frame `index` (its number in a PNG name); false with the reason.
    virtual bool write(long index, const unsigned char* rgb, std::string& error) = 0;
    // Ends the output: a video's last frames, its trailer, the sync to the
    // disk and the rename to the final name. False with the reason, the
    // temporary file gone and any previous file untouched.
    virtual bool finish(std::string& error) = 0;
};

// Runs a writer on a thread of its own behind a queue of a few frames: push()
// returns as soon as there is room, so drawing the next frame overlaps
// encoding this one, and memory stays bounded however long the movie.
class HxMovieEncoder {
public:
    explicit HxMovieEncoder(std::unique_ptr<HxMovieWriter> writer, std::size_t capacity = 3);
    ~HxMovieEncoder();  // stops the thread; an unfinished video is discarded
    HxMovieEncoder(const HxMovieEncoder&) = delete;
    HxMovieEncoder& operator=(const HxMovieEncoder&) = delete;

    // Queues a frame, waiting while the queue is full. False once a write has
    // failed (error() says why); the frame is then dropped.
    bool push(long index, std::vector<unsigned char> rgb);
    // Waits for the queued frames, then finishes the writer. False on failure.
    bool finish();
    // The first failure ("frame 3: cannot write ..." or the finishing's own
    // reason), else empty.
    std::string error() const;
    // Frames written so far (by the thread).
    long written() const;

private:
    struct Frame {
        long index;
        std::vector<unsigned char> rgb;
    };
    void run();

    std::unique_ptr<HxMovieWriter> writer;
    const std::size_t capacity;
    mutable std::mutex lock;
    std::condition_variable changed;
    std::deque<Frame> queue;
    std::string failure;
    long done = 0;
    bool closing = false;
    bool busy = false;
    std::thread worker;
};
