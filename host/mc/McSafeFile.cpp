#include <mc/McSafeFile.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
thread_local McSafeFile::Batch* currentBatch = nullptr;

std::string failure(const std::string& path, int code) {
    return "cannot write \"" + path + "\": " + std::strerror(code);
}
}  // namespace

McSafeFile::McSafeFile(const std::string& path) : target(path) {
    temporary = path + ".tmpXXXXXX";
    fd = mkstemp(temporary.data());
    if (fd < 0) {
        fail(errno);
        temporary.clear();
        return;
    }
    // An existing file keeps its permissions; a new one gets the usual ones.
    struct stat old;
    fchmod(fd, stat(path.c_str(), &old) == 0 ? (old.st_mode & 07777) : 0644);
}

McSafeFile::~McSafeFile() {
    // Closing the stream may write out its buffer: that goes nowhere now.
    const int descriptor = fd;
    fd = -1;
    if (fp) std::fclose(fp);
    if (descriptor >= 0) ::close(descriptor);
    discard();
}

void McSafeFile::fail(int code) {
    if (errorCode) return;
    errorCode = code ? code : EIO;
    if (currentBatch && currentBatch->errorText.empty()) currentBatch->errorText = error();
}

std::string McSafeFile::error() const { return errorCode ? failure(target, errorCode) : std::string(); }

void McSafeFile::discard() {
    if (!temporary.empty()) unlink(temporary.c_str());
    temporary.clear();
}

bool McSafeFile::write(const void* bytes, std::size_t n) {
    // What the stream holds comes first.
    if (fp && std::fflush(fp) != 0) fail(errno);
    return writeThrough(static_cast<const char*>(bytes), n);
}

bool McSafeFile::writeThrough(const char* bytes, std::size_t n) {
    if (fd < 0 || failed()) return false;
    while (n > 0) {
        const ssize_t done = ::write(fd, bytes, n);
        if (done < 0 && errno == EINTR) continue;
        if (done <= 0) {
            fail(done < 0 ? errno : EIO);
            return false;
        }
        bytes += done;
        n -= static_cast<std::size_t>(done);
    }
    return true;
}

ssize_t McSafeFile::cookieWrite(void* self, const char* bytes, std::size_t n) {
    // stdio takes a short count as an error and keeps it in the stream.
    return static_cast<McSafeFile*>(self)->writeThrough(bytes, n) ? static_cast<ssize_t>(n) : 0;
}

off_t McSafeFile::seek(off_t offset, int whence) {
    if (fp && std::fflush(fp) != 0) fail(errno);
    if (fd < 0 || failed()) return -1;
    const off_t position = lseek(fd, offset, whence);
    if (position < 0) fail(errno);
    return position;
}

FILE* McSafeFile::stream() {
    if (!fp && fd >= 0) {
        cookie_io_functions_t io{};
        io.write = &McSafeFile::cookieWrite;
        fp = fopencookie(this, "w", io);
        if (!fp) fail(errno);
    }
    return fp;
}

bool McSafeFile::commit() {
    if (fd < 0) return false;
    if (fp) {
        if (std::fclose(fp) != 0) fail(errno);
        fp = nullptr;
    }
    // A full disk may only show in the sync or even the close.
    if (!failed() && fsync(fd) != 0) fail(errno);
    if (::close(fd) != 0) fail(errno);
    fd = -1;
    if (failed()) {
        discard();
        return false;
    }
    if (currentBatch) {
        struct stat old;
        currentBatch->staged.push_back({temporary, target, {}, lstat(target.c_str(), &old) == 0});
        temporary.clear();
        return true;
    }
    if (std::rename(temporary.c_str(), target.c_str()) != 0) {
        fail(errno);
        discard();
        return false;
    }
    temporary.clear();
    return true;
}

McSafeFile::Batch::Batch() : outer(currentBatch) { currentBatch = this; }

McSafeFile::Batch::~Batch() {
    if (currentBatch == this) currentBatch = outer;
    undo(0);
}

bool McSafeFile::Batch::commit() {
    currentBatch = outer;
    if (!errorText.empty()) {
        undo(0);
        return false;
    }
    // A hard link keeps each old file until every new one is in place. Where
    // the file system has no hard links, that one file cannot be restored.
    for (Staged& s : staged) {
        if (!s.existed) continue;
        std::string name = s.target + ".oldXXXXXX";
        const int reserved = mkstemp(name.data());
        if (reserved < 0) continue;
        ::close(reserved);
        unlink(name.c_str());
        if (link(s.target.c_str(), name.c_str()) == 0) s.backup = name;
    }
    for (std::size_t i = 0; i < staged.size(); ++i) {
        if (std::rename(staged[i].temporary.c_str(), staged[i].target.c_str()) != 0) {
            errorText = failure(staged[i].target, errno);
            undo(i);
            return false;
        }
    }
    for (const Staged& s : staged)
        if (!s.backup.empty()) unlink(s.backup.c_str());
    staged.clear();
    return true;
}

void McSafeFile::Batch::undo(std::size_t renamed) {
    for (std::size_t i = 0; i < staged.size(); ++i) {
        const Staged& s = staged[i];
        if (i >= renamed) {
            unlink(s.temporary.c_str());
            if (!s.backup.empty()) unlink(s.backup.c_str());
        } else if (!s.backup.empty()) {
            std::rename(s.backup.c_str(), s.target.c_str());
        } else if (!s.existed) {
            unlink(s.target.c_str());
        }
    }
    staged.clear();
}
