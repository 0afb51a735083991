// The event log file on Linux.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "base/utf8.h"
#include "platform/log_file.h"
#include "platform/posix/system_error.h"

namespace procguard {

namespace {

struct LogFile {
    std::string path;
    int fd = -1;
};

LogFile& logFile() {
    static LogFile file;
    return file;
}

// False when the name is gone, or names another file: log rotation renamed
// the open file away (and perhaps made a new one), or someone deleted it.
bool stillNamed(int fd, const std::string& path) {
    struct stat open {};
    struct stat named {};
    return fstat(fd, &open) == 0 && stat(path.c_str(), &named) == 0 && open.st_dev == named.st_dev &&
           open.st_ino == named.st_ino;
}

Result systemFailure(int error) { return failure(systemErrorMessage(error)); }

} // namespace

Result appendToFile(const std::wstring& path, std::string_view line) {
    LogFile& file = logFile();
    const std::string name = encodeUtf8(path);
    if (file.fd >= 0 && (file.path != name || !stillNamed(file.fd, name))) {
        close(file.fd);
        file.fd = -1;
    }
    if (file.fd < 0) {
        // O_APPEND puts every line at the end, whoever else writes there.
        // O_NONBLOCK: a FIFO without a reader fails instead of holding up the
        // watchdog; regular files do not notice it. Mode 0666 less the umask,
        // as for any file a program creates.
        file.fd = open(name.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0666);
        if (file.fd < 0) return systemFailure(errno);
        file.path = name;
    }
    // One write() holds the whole line; only a disk running full writes less,
    // and then the rest is tried at once.
    while (!line.empty()) {
        const ssize_t written = write(file.fd, line.data(), line.size());
        if (written < 0) {
            if (errno == EINTR) continue;
            return systemFailure(errno);
        }
        line.remove_prefix(static_cast<std::size_t>(written));
    }
    return {};
}

} // namespace procguard
