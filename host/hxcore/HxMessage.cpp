#include <hxcore/HxMessage.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace {
HxMessage theMessageInstance;

__attribute__((format(printf, 1, 0))) std::string vformat(const char* format, va_list args) {
    va_list copy;
    va_copy(copy, args);
    int n = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    if (n < 0) return format;
    std::string out(static_cast<std::size_t>(n), '\0');
    std::vsnprintf(out.data(), out.size() + 1, format, args);
    return out;
}
}  // namespace

HxMessage* theMsg = &theMessageInstance;

bool HxMessage::isLiveTerminal() const { return echo && isatty(fileno(stdout)); }

void HxMessage::progress(const std::string& line, bool last) {
    if (!isLiveTerminal()) {
        deliver(line);
        return;
    }
    // Back to the start of the line, the new text, the rest of the old cleared.
    std::fprintf(stdout, "\r%s\033[K", line.c_str());
    std::fflush(stdout);
    progressShown = true;
    if (last) deliver(line);
}

void HxMessage::deliver(std::string line) {
    if (line.empty() || line.back() != '\n') line += '\n';
    history += line;
    if (echo && progressShown) {
        // The message takes the place of the progress line.
        std::fputs("\r\033[K", stdout);
        progressShown = false;
    }
    if (echo) {
        std::fputs(line.c_str(), stdout);
        std::fflush(stdout);
    }
    if (extraSink) extraSink(line);
}

void HxMessage::printf(const char* format, ...) {
    va_list args;
    va_start(args, format);
    deliver(vformat(format, args));
    va_end(args);
}

void HxMessage::error(const char* format, ...) {
    va_list args;
    va_start(args, format);
    deliver("Error: " + vformat(format, args));
    va_end(args);
}

void HxMessage::warning(const char* format, ...) {
    va_list args;
    va_start(args, format);
    deliver("Warning: " + vformat(format, args));
    va_end(args);
}

void HxMessage::programError(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string line = vformat(format, args);
    va_end(args);
    if (line.empty() || line.back() != '\n') line += '\n';
    history += line;
    if (echo && progressShown) {
        std::fputs("\r\033[K", stdout);
        progressShown = false;
    }
    std::fflush(stdout);
    std::fputs(line.c_str(), stderr);
}

void HxMessage::ioError(const char* file, const char* what) {
    const int code = errno;
    std::string line = "Error: ";
    line += what ? what : "cannot access file";
    line += std::string(" \"") + (file ? file : "") + "\"";
    if (code) line += std::string(": ") + std::strerror(code);
    deliver(line);
}
