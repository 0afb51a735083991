#include "platform/posix/file_io.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/posix/system_error.h"

namespace procguard {

namespace {

constexpr std::size_t kReadChunk = 65536;
// How much of the file's name the temporary file's name keeps, so that a long
// name still leaves room for the prefix and the random suffix.
constexpr std::size_t kTemporaryNameKeeps = 200;
constexpr mode_t kNewFileMode = 0644;

int writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return 0;
}

std::string folderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

// Writes the content into the open temporary file and makes it durable.
int fillTemporary(FileDescriptor& file, std::string_view bytes, const struct stat* old) {
    int error = 0;
    if (old != nullptr) {
        // Best effort: only root may hand the file back to another owner.
        [[maybe_unused]] const int owned = ::fchown(file.fd, old->st_uid, old->st_gid);
        if (::fchmod(file.fd, old->st_mode & 07777) != 0) error = errno;
    } else if (::fchmod(file.fd, kNewFileMode) != 0) {
        error = errno;
    }
    if (error == 0) error = writeAll(file.fd, bytes);
    if (error == 0 && ::fsync(file.fd) != 0) error = errno;
    if (error == 0 && ::close(file.fd) != 0) error = errno;
    file.fd = -1;
    return error;
}

} // namespace

FileDescriptor::~FileDescriptor() {
    if (fd >= 0) ::close(fd);
}

int openRegularFile(const std::string& path, FileDescriptor& file, struct stat& info) {
    file.fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (file.fd < 0) return errno;
    if (::fstat(file.fd, &info) != 0) return errno;
    if (S_ISDIR(info.st_mode)) return EISDIR;
    if (!S_ISREG(info.st_mode)) return kNotRegularFile;
    return 0;
}

int readAll(int fd, std::string& bytes) {
    char buffer[kReadChunk];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n == 0) return 0;
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        bytes.append(buffer, static_cast<std::size_t>(n));
    }
}

std::string writeTarget(const std::string& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return path;
    char* resolved = ::realpath(path.c_str(), nullptr);
    if (resolved == nullptr) return path;
    std::string target = resolved;
    std::free(resolved);
    return target;
}

int replaceFile(const std::string& path, std::string_view bytes, const struct stat* old) {
    // Hidden, named after the file, in the same folder so that the rename
    // stays within one file system.
    const std::size_t slash = path.rfind('/');
    std::string temporary =
        path.substr(0, slash + 1) + "." + path.substr(slash + 1, kTemporaryNameKeeps) + ".XXXXXX";
    FileDescriptor file(::mkostemp(temporary.data(), O_CLOEXEC));
    if (file.fd < 0) return errno;
    int error = fillTemporary(file, bytes, old);
    if (error == 0 && ::rename(temporary.c_str(), path.c_str()) != 0) error = errno;
    if (error != 0) {
        ::unlink(temporary.c_str());
        return error;
    }
    // Make the rename itself durable; the data is already safe if this fails.
    FileDescriptor folder(::open(folderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.fd >= 0) ::fsync(folder.fd);
    return 0;
}

} // namespace procguard
