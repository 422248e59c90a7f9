#include <mc/McSafeFile.h>
#include <viewer/HxMovieWriter.h>

#include <QImage>
#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <new>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/log.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

bool HxFramePattern::parse(const std::string& pattern) {
    int conversions = 0;
    std::string* part = &before;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] != '%') {
            *part += pattern[i];
            continue;
        }
        if (i + 1 < pattern.size() && pattern[i + 1] == '%') {
            *part += '%';
            ++i;
            continue;
        }
        std::size_t j = i + 1;
        zeroPad = j < pattern.size() && pattern[j] == '0';
        if (zeroPad) ++j;
        width = 0;
        while (j < pattern.size() && pattern[j] >= '0' && pattern[j] <= '9' && width < 100)
            width = width * 10 + (pattern[j++] - '0');
        if (j >= pattern.size() || pattern[j] != 'd' || width >= 100) return false;
        ++conversions;
        part = &after;
        i = j;
    }
    return conversions == 1;
}

std::string HxFramePattern::file(long frame) const {
    std::string number = std::to_string(frame);
    if (static_cast<int>(number.size()) < width)
        number.insert(0, static_cast<std::size_t>(width) - number.size(), zeroPad ? '0' : ' ');
    return before + number + after;
}

std::vector<std::string> HxFramePattern::filesFrom(long count) const {
    const std::size_t slash = before.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : before.substr(0, slash + 1);
    const std::string prefix = slash == std::string::npos ? before : before.substr(slash + 1);
    std::vector<std::string> found;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        const std::string name = entry.path().filename().string();
        if (name.size() <= prefix.size() + after.size() || name.compare(0, prefix.size(), prefix) != 0 ||
            name.compare(name.size() - after.size(), after.size(), after) != 0)
            continue;
        const std::string digits = name.substr(prefix.size(), name.size() - prefix.size() - after.size());
        long frame = 0;
        const auto [end, wrong] = std::from_chars(digits.data(), digits.data() + digits.size(), frame);
        // Only names this pattern makes: "f7.png" is not frame 7 of "f%04d.png".
        if (wrong == std::errc() && end == digits.data() + digits.size() && frame >= count &&
            file(frame) == before + digits + after)
            found.push_back(before + digits + after);
    }
    std::sort(found.begin(), found.end());
    return found;
}

namespace {
std::string extension(const std::string& out) {
    const std::size_t dot = out.rfind('.');
    if (dot == std::string::npos || out.find('/', dot) != std::string::npos) return {};
    std::string ext = out.substr(dot + 1);
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
    return ext;
}

std::string avError(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

// One PNG per frame, each saved safely on its own.
class PngSequence : public HxMovieWriter {
public:
    PngSequence(HxFramePattern names, const HxMovieSettings& settings)
        : pattern(std::move(names)), s(settings), rows(static_cast<std::size_t>(settings.height)) {}

    bool write(long index, const unsigned char* rgb, std::string& error) override {
        // GL rows run bottom-up, PNG rows top-down.
        const std::size_t row = static_cast<std::size_t>(s.width) * 3;
        for (int y = 0; y < s.height; ++y) rows[y] = rgb + static_cast<std::size_t>(s.height - 1 - y) * row;
        return hxSavePng(s.width, s.height, rows.data(), pattern.file(index), s.compression, error);
    }
    bool finish(std::string&) override { return true; }

private:
    HxFramePattern pattern;
    HxMovieSettings s;
    std::vector<const unsigned char*> rows;
};

struct VideoKind {
    const char* extension;
    const char* muxer;
    const char* encoder;
    AVPixelFormat pixels;
};

const VideoKind videoKinds[] = {
    {"mp4", "mp4", "libx264", AV_PIX_FMT_YUV420P},
    {"webm", "webm", "libvpx-vp9", AV_PIX_FMT_YUV420P},
    {"gif", "gif", "gif", AV_PIX_FMT_RGB8},
};

const VideoKind* videoKind(const std::string& out) {
    const std::string ext = extension(out);
    for (const VideoKind& kind : videoKinds)
        if (ext == kind.extension) return &kind;
    return nullptr;
}

// A video through FFmpeg, written through a McSafeFile: under a temporary
// name until finish() has synced it, then renamed over the target.
class Video : public HxMovieWriter {
public:
    Video(const std::string& out, const VideoKind& what) : target(out), file(out), kind(what) {}

    ~Video() override {
        sws_freeContext(scale);
        av_frame_free(&frame);
        av_packet_free(&packet);
        avcodec_free_context(&codec);
        avformat_free_context(format);
        if (io) av_freep(&io->buffer);
        avio_context_free(&io);
    }

    std::string open(const HxMovieSettings& s) {
        if (file.failed()) return file.error();
        // The encoders' statistics and notes would fill the console; errors
        // come back as results.
        av_log_set_level(AV_LOG_ERROR);
        if (kind.pixels == AV_PIX_FMT_YUV420P && (s.width % 2 || s.height % 2))
            return "-size must be even for ." + std::string(kind.extension) +
                   " (its colour is stored at half size): " + std::to_string(s.width) + " x " +
                   std::to_string(s.height);
        const AVCodec* encoder = avcodec_find_encoder_by_name(kind.encoder);
        if (!encoder) return std::string("FFmpeg has no encoder ") + kind.encoder;
        if (avformat_alloc_output_context2(&format, nullptr, kind.muxer, nullptr) < 0 || !format)
            return std::string("FFmpeg has no muxer ") + kind.muxer;
        codec = avcodec_alloc_context3(encoder);
        stream = avformat_new_stream(format, nullptr);
        frame = av_frame_alloc();
        packet = av_packet_alloc();
        if (!codec || !stream || !frame || !packet) return "out of memory";
        codec->width = s.width;
        codec->height = s.height;
        codec->pix_fmt = kind.pixels;
        codec->time_base = AVRational{1, s.fps};
        codec->framerate = AVRational{s.fps, 1};
        if (format->oformat->flags & AVFMT_GLOBALHEADER) codec->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        if (kind.pixels == AV_PIX_FMT_YUV420P) {
            // What swscale converts with by default; players read these tags.
            codec->colorspace = AVCOL_SPC_SMPTE170M;
            codec->color_range = AVCOL_RANGE_MPEG;
        }
        AVDictionary* options = nullptr;
        const double q = s.quality / 100.0;
        if (std::strcmp(kind.encoder, "libx264") == 0) {
            // Constant quality: 51 (worst) .. 18 (visually lossless).
            av_dict_set_int(&options, "crf", std::lround(51 - 33 * q), 0);
            av_dict_set(&options, "preset", "veryfast", 0);
        } else if (std::strcmp(kind.encoder, "libvpx-vp9") == 0) {
            // Constant quality: 63 (worst) .. 18.
            av_dict_set_int(&options, "crf", std::lround(63 - 45 * q), 0);
            av_dict_set(&options, "b", "0", 0);
            av_dict_set(&options, "deadline", "good", 0);
            av_dict_set(&options, "cpu-used", "5", 0);
            av_dict_set(&options, "row-mt", "1", 0);
        }
        const int opened = avcodec_open2(codec, encoder, &options);
        av_dict_free(&options);
        if (opened < 0) return std::string("cannot open the encoder ") + kind.encoder + ": " + avError(opened);
        if (avcodec_parameters_from_context(stream->codecpar, codec) < 0) return "out of memory";
        stream->time_base = codec->time_base;
        stream->avg_frame_rate = codec->framerate;

        frame->format = kind.pixels;
        frame->width = s.width;
        frame->height = s.height;
        if (av_frame_get_buffer(frame, 0) < 0) return "out of memory";
        scale = sws_getContext(s.width, s.height, AV_PIX_FMT_RGB24, s.width, s.height, kind.pixels, SWS_BILINEAR,
                               nullptr, nullptr, nullptr);
        if (!scale) return "cannot convert the frames to the video's pixel format";

        constexpr int bufferSize = 1 << 16;
        auto* buffer = static_cast<unsigned char*>(av_malloc(bufferSize));
        if (!buffer) return "out of memory";
        io = avio_alloc_context(buffer, bufferSize, 1, &file, nullptr, &Video::writeBytes, &Video::seekTo);
        if (!io) {
            av_free(buffer);
            return "out of memory";
        }
        format->pb = io;
        format->flags |= AVFMT_FLAG_CUSTOM_IO;
        const int header = avformat_write_header(format, nullptr);
        if (header < 0) return failure(header);
        width = s.width;
        height = s.height;
        return {};
    }

    bool write(long, const unsigned char* rgb, std::string& error) override {
        if (av_frame_make_writable(frame) < 0) {
            error = failure(AVERROR(ENOMEM));
            return false;
        }
        // Bottom row first: start at the last row and step backwards.
        const int stride = width * 3;
        const uint8_t* source[1] = {rgb + static_cast<std::size_t>(height - 1) * stride};
        const int strides[1] = {-stride};
        sws_scale(scale, source, strides, 0, height, frame->data, frame->linesize);
        frame->pts = next++;
        return encode(frame, error);
    }

    bool finish(std::string& error) override {
        if (!encode(nullptr, error)) return false;
        const int trailer = av_write_trailer(format);
        if (trailer < 0) {
            error = failure(trailer);
            return false;
        }
        avio_flush(io);
        if (io->error < 0 || file.failed()) {
            error = failure(io->error);
            return false;
        }
        if (!file.commit()) {
            error = file.error();
            return false;
        }
        return true;
    }

private:
    static int writeBytes(void* opaque, uint8_t* bytes, int n) {
        auto* out = static_cast<McSafeFile*>(opaque);
        if (out->write(bytes, static_cast<std::size_t>(n))) return n;
        return AVERROR(out->errorNumber());
    }
    static int64_t seekTo(void* opaque, int64_t offset, int whence) {
        if (whence & AVSEEK_SIZE) return AVERROR(ENOSYS);
        const off_t position = static_cast<McSafeFile*>(opaque)->seek(offset, whence & ~AVSEEK_FORCE);
        return position < 0 ? AVERROR(EIO) : position;
    }

    // The file's own reason when writing it failed, else FFmpeg's.
    std::string failure(int code) const {
        if (file.failed()) return file.error();
        return "cannot write \"" + target + "\": " + avError(code);
    }

    bool encode(AVFrame* input, std::string& error) {
        int result = avcodec_send_frame(codec, input);
        while (result >= 0) {
            result = avcodec_receive_packet(codec, packet);
            if (result == AVERROR(EAGAIN) || result == AVERROR_EOF) return true;
            if (result < 0) break;
            // Each packet holds one frame; some encoders leave its length open,
            // and the container's duration needs it for the last frame.
            if (packet->duration == 0) packet->duration = 1;
            av_packet_rescale_ts(packet, codec->time_base, stream->time_base);
            packet->stream_index = stream->index;
            result = av_interleaved_write_frame(format, packet);
        }
        error = failure(result);
        return false;
    }

    std::string target;
    McSafeFile file;
    const VideoKind& kind;
    AVFormatContext* format = nullptr;
    AVCodecContext* codec = nullptr;
    AVStream* stream = nullptr;
    AVIOContext* io = nullptr;
    SwsContext* scale = nullptr;
    AVFrame* frame = nullptr;
    AVPacket* packet = nullptr;
    int width = 0, height = 0;
    int64_t next = 0;
};
}  // namespace

bool HxMovieWriter::isVideo(const std::string& out) { return videoKind(out) != nullptr; }

std::unique_ptr<HxMovieWriter> HxMovieWriter::open(const std::string& out, const HxMovieSettings& settings,
                                                   std::string& error) {
    if (const VideoKind* kind = videoKind(out)) {
        auto video = std::make_unique<Video>(out, *kind);
        error = video->open(settings);
        if (!error.empty()) return nullptr;
        return video;
    }
    HxFramePattern pattern;
    if (!pattern.parse(out)) {
        error = "-out needs a video name (.mp4, .webm, .gif) or a pattern with one frame number, like frame%04d.png";
        return nullptr;
    }
    return std::make_unique<PngSequence>(std::move(pattern), settings);
}

// ---------------------------------------------------------------------------

HxMovieEncoder::HxMovieEncoder(std::unique_ptr<HxMovieWriter> output, std::size_t frames)
    : writer(std::move(output)), capacity(std::max<std::size_t>(frames, 1)), worker([this] { run(); }) {}

HxMovieEncoder::~HxMovieEncoder() {
    {
        std::lock_guard<std::mutex> hold(lock);
        closing = true;
        queue.clear();
    }
    changed.notify_all();
    if (worker.joinable()) worker.join();
}

void HxMovieEncoder::run() {
    std::unique_lock<std::mutex> hold(lock);
    for (;;) {
        changed.wait(hold, [this] { return closing || !queue.empty(); });
        if (queue.empty()) return;
        Frame next = std::move(queue.front());
        queue.pop_front();
        busy = true;
        const bool ok = failure.empty();
        hold.unlock();
        std::string error;
        const bool written = ok && writer->write(next.index, next.rgb.data(), error);
        hold.lock();
        busy = false;
        if (written) ++done;
        if (ok && !written) failure = "frame " + std::to_string(next.index) + ": " + error;
        changed.notify_all();
    }
}

bool HxMovieEncoder::push(long index, std::vector<unsigned char> rgb) {
    std::unique_lock<std::mutex> hold(lock);
    changed.wait(hold, [this] { return queue.size() < capacity || !failure.empty(); });
    if (!failure.empty()) return false;
    queue.push_back({index, std::move(rgb)});
    changed.notify_all();
    return true;
}

bool HxMovieEncoder::finish() {
    {
        std::unique_lock<std::mutex> hold(lock);
        changed.wait(hold, [this] { return (queue.empty() && !busy) || !failure.empty(); });
        closing = true;
        queue.clear();
    }
    changed.notify_all();
    worker.join();
    if (!failure.empty()) return false;
    std::string error;
    if (writer->finish(error)) return true;
    failure = error;
    return false;
}

std::string HxMovieEncoder::error() const {
    std::lock_guard<std::mutex> hold(lock);
    return failure;
}

long HxMovieEncoder::written() const {
    std::lock_guard<std::mutex> hold(lock);
    return done;
}

namespace {
struct PngBytes {
    std::vector<unsigned char> bytes;
    char error[200] = "";
};

void appendPng(png_structp png, png_bytep data, png_size_t n) {
    auto* out = static_cast<PngBytes*>(png_get_io_ptr(png));
    bool stored = true;
    try {
        out->bytes.insert(out->bytes.end(), data, data + n);
    } catch (const std::bad_alloc&) {
        stored = false;
    }
    if (!stored) png_error(png, "out of memory");
}

void flushPng(png_structp) {}

void pngFailed(png_structp png, png_const_charp message) {
    auto* out = static_cast<PngBytes*>(png_get_error_ptr(png));
    std::snprintf(out->error, sizeof out->error, "%s", message);
    png_longjmp(png, 1);
}

void pngWarning(png_structp, png_const_charp) {}

// libpng reports an error by a long jump back into this function, so nothing
// here may need a destructor.
bool encodePng(png_structp png, png_infop info, int width, int height, const unsigned char* const* rows,
               int zlibLevel) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8, PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (zlibLevel == 0) {
        png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_NONE);
        png_set_compression_level(png, 0);
    } else if (zlibLevel == 1) {
        // The fast setting: one filter (each row less the one above) and
        // run-length deflate take a third of the time of the adaptive filters
        // at level 1, with files no larger on rendered scenes.
        png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_UP);
        png_set_compression_strategy(png, Z_RLE);
    } else if (zlibLevel > 1) {
        png_set_compression_level(png, zlibLevel);
    }
    png_write_info(png, info);
    png_write_image(png, const_cast<png_bytepp>(rows));
    png_write_end(png, nullptr);
    return true;
}
}  // namespace

bool hxSavePng(int width, int height, const unsigned char* const* rows, const std::string& file, int zlibLevel,
               std::string& error) {
    PngBytes png;
    png_structp writer = png_create_write_struct(PNG_LIBPNG_VER_STRING, &png, pngFailed, pngWarning);
    png_infop info = writer ? png_create_info_struct(writer) : nullptr;
    bool encoded = false;
    if (info) {
        png_set_write_fn(writer, &png, appendPng, flushPng);
        encoded = encodePng(writer, info, width, height, rows, zlibLevel);
    }
    png_destroy_write_struct(&writer, &info);
    if (!encoded) {
        error = "cannot write \"" + file + "\": the PNG encoder failed (" +
                (png.error[0] ? png.error : "out of memory") + ")";
        return false;
    }
    McSafeFile out(file);
    if (!out.write(png.bytes.data(), png.bytes.size()) || !out.commit()) {
        error = out.error();
        return false;
    }
    return true;
}

bool hxSavePng(const QImage& image, const std::string& file, int zlibLevel, std::string& error) {
    const QImage rgb = image.convertToFormat(QImage::Format_RGB888);
    std::vector<const unsigned char*> rows(static_cast<std::size_t>(rgb.height()));
    for (int y = 0; y < rgb.height(); ++y) rows[y] = rgb.constScanLine(y);
    return hxSavePng(rgb.width(), rgb.height(), rows.data(), file, zlibLevel, error);
}
