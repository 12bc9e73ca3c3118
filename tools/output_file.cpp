#include "tools/output_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>

#if defined(_WIN32)
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace {

std::string folderOf(const std::string& path) {
    const size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string baseNameOf(const std::string& path) {
    const size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

#if defined(_WIN32)

// Windows has no mkstemp: try names with a counter, the process id and the
// clock until one can be created exclusively.
int createTemporary(const std::string& stem, std::string* name) {
    static unsigned counter = 0;
    const unsigned long long seed = GetTickCount64() ^ (GetCurrentProcessId() * 2654435761ull);
    for (int attempt = 0; attempt < 1000; ++attempt) {
        char suffix[32];
        std::snprintf(suffix, sizeof suffix, ".%08llx%04x.tmp", seed & 0xffffffffull,
                      ++counter & 0xffffu);
        *name = stem + suffix;
        int fd = _open(name->c_str(), _O_CREAT | _O_EXCL | _O_WRONLY | _O_BINARY,
                       _S_IREAD | _S_IWRITE);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    errno = EEXIST;
    return -1;
}

bool isReadOnly(const std::string& path, const struct stat&) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0;
}

bool writeAll(int fd, const uint8_t* data, size_t size) {
    while (size > 0) {
        const unsigned step = size > (1u << 30) ? (1u << 30) : static_cast<unsigned>(size);
        const int written = _write(fd, data, step);
        if (written <= 0) return false;
        data += written;
        size -= static_cast<size_t>(written);
    }
    return true;
}

int closeFile(int fd) { return _close(fd); }

// MoveFileEx replaces the target in one step as rename() does on POSIX; a
// read-only target must lose that attribute first.
bool replaceWith(const std::string& temporary, const std::string& path, bool readOnly) {
    if (readOnly) SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (MoveFileExA(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING) != 0) {
        if (readOnly) SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY);
        return true;
    }
    if (readOnly) SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY);
    errno = EACCES;
    return false;
}

void setMode(int, unsigned) {}

unsigned defaultMode() { return 0; }

#else

int createTemporary(const std::string& stem, std::string* name) {
    std::string pattern = stem + ".XXXXXX";
    const int fd = mkstemp(pattern.data());
    if (fd >= 0) *name = pattern;
    return fd;
}

// Root may write anywhere, so a file without any write permission bit
// counts as read-only too.
bool isReadOnly(const std::string& path, const struct stat& info) {
    return (info.st_mode & 0222) == 0 || access(path.c_str(), W_OK) != 0;
}

bool writeAll(int fd, const uint8_t* data, size_t size) {
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        data += written;
        size -= static_cast<size_t>(written);
    }
    return true;
}

int closeFile(int fd) { return ::close(fd); }

bool replaceWith(const std::string& temporary, const std::string& path, bool) {
    return std::rename(temporary.c_str(), path.c_str()) == 0;
}

// mkstemp makes the file private; the output gets the permissions a plain
// new file would get, or those of the file it replaces.
void setMode(int fd, unsigned mode) { fchmod(fd, static_cast<mode_t>(mode)); }

unsigned defaultMode() {
    const mode_t mask = umask(0);
    umask(mask);
    return 0666u & ~static_cast<unsigned>(mask);
}

#endif

}  // namespace

OutputFile::~OutputFile() {
    if (descriptor >= 0) closeFile(descriptor);
    if (!temporaryPath.empty()) std::remove(temporaryPath.c_str());
}

IoStatus OutputFile::open(const std::string& outputPath, bool overwrite, std::string* error) {
    path = outputPath;
    auto failed = [&](IoStatus status, const std::string& reason) {
        *error = "cannot write " + path + ": " + reason;
        return status;
    };
    if (baseNameOf(path).empty()) return failed(IoStatus::kBadInput, "the name is a folder");
    keepMode = defaultMode();
    struct stat info {};
    if (stat(path.c_str(), &info) == 0) {
        if (S_ISDIR(info.st_mode)) return failed(IoStatus::kBadInput, "it is a folder");
        if (!S_ISREG(info.st_mode)) return failed(IoStatus::kBadInput, "it is not a plain file");
        replacesReadOnly = isReadOnly(path, info);
        if (replacesReadOnly && !overwrite) {
            return failed(IoStatus::kBadInput,
                          "the file is read-only (--overwrite replaces it all the same)");
        }
        keepMode = static_cast<unsigned>(info.st_mode) & 07777u;
    }
    descriptor = createTemporary(folderOf(path) + "." + baseNameOf(path), &temporaryPath);
    if (descriptor < 0) {
        temporaryPath.clear();
        return failed(IoStatus::kWriteFailed, std::strerror(errno));
    }
    setMode(descriptor, keepMode);
    return IoStatus::kOk;
}

IoStatus OutputFile::commit(const uint8_t* data, size_t size, std::string* error) {
    bool ok = writeAll(descriptor, data, size);
    int savedErrno = errno;
    const int closed = closeFile(descriptor);
    descriptor = -1;
    if (ok && closed != 0) {
        ok = false;
        savedErrno = errno;
    }
    if (ok && !replaceWith(temporaryPath, path, replacesReadOnly)) {
        ok = false;
        savedErrno = errno;
    }
    if (!ok) {
        *error = "cannot write " + path + ": " +
                 (savedErrno != 0 ? std::strerror(savedErrno) : "the write failed");
        return IoStatus::kWriteFailed;   // the destructor removes the temporary file
    }
    temporaryPath.clear();
    return IoStatus::kOk;
}
