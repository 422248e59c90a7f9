#include <hxcore/HxSafeFile.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

HxSafeFile::HxSafeFile(const std::string& path) : target(path) {
    temporary = path + ".tmpXXXXXX";
    int fd = mkstemp(temporary.data());
    if (fd < 0) {
        errorText = "cannot create a file beside \"" + path + "\": " + std::strerror(errno);
        temporary.clear();
        return;
    }
    // An existing file keeps its permissions; a new one gets the usual ones.
    struct stat old;
    const mode_t mode = stat(path.c_str(), &old) == 0 ? (old.st_mode & 07777) : 0644;
    fchmod(fd, mode);
    fp = fdopen(fd, "w");
    if (!fp) {
        errorText = std::string("cannot write: ") + std::strerror(errno);
        close(fd);
        discard();
    }
}

HxSafeFile::~HxSafeFile() {
    if (fp) std::fclose(fp);
    fp = nullptr;
    discard();
}

void HxSafeFile::discard() {
    if (!temporary.empty()) unlink(temporary.c_str());
    temporary.clear();
}

bool HxSafeFile::commit() {
    if (!fp) return false;
    bool ok = std::fflush(fp) == 0 && !std::ferror(fp) && fsync(fileno(fp)) == 0;
    int saved = errno;
    ok = std::fclose(fp) == 0 && ok;
    fp = nullptr;
    if (ok && std::rename(temporary.c_str(), target.c_str()) == 0) {
        temporary.clear();
        return true;
    }
    if (!ok && !saved) saved = errno;
    errorText = "cannot write \"" + target + "\": " + std::strerror(saved ? saved : errno);
    discard();
    return false;
}
