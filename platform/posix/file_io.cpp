#include "platform/posix/file_io.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <random>

#include "platform/posix/system_error.h"

namespace procguard {

namespace {

constexpr std::size_t kReadChunk = 65536;
// How much of the file's name the temporary file's name keeps, so that a long
// name still leaves room for the prefix and the random suffix.
constexpr std::size_t kTemporaryNameKeeps = 200;
// The most links a write follows, as the kernel does in a path.
constexpr int kMaxLinks = 40;
constexpr int kTemporaryNameAttempts = 100;

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

// The text of a symbolic link, never empty. Its size is not trusted: some
// file systems report 0.
int readLink(const std::string& path, std::string& content) {
    for (std::size_t size = 256;; size *= 2) {
        content.assign(size, '\0');
        const ssize_t length = ::readlink(path.c_str(), content.data(), size);
        if (length < 0) return errno;
        if (static_cast<std::size_t>(length) < size) {
            content.resize(static_cast<std::size_t>(length));
            return content.empty() ? ENOENT : 0;
        }
    }
}

// Creates a hidden file named after `path`, in the same folder so that the
// rename stays within one file system. A stand-in for an existing file is
// private until it gets that file's mode; one for a new file is created as
// every new file is.
int createTemporary(const std::string& path, bool replacing, std::string& temporary, FileDescriptor& file) {
    static std::mt19937 random{std::random_device{}()};
    static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    const std::size_t slash = path.rfind('/');
    const std::string stem = path.substr(0, slash + 1) + "." + path.substr(slash + 1, kTemporaryNameKeeps) + ".";
    for (int attempt = 0; attempt < kTemporaryNameAttempts; ++attempt) {
        temporary = stem;
        for (int i = 0; i < 6; ++i) temporary += kLetters[random() % (sizeof kLetters - 1)];
        file.fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, replacing ? 0600 : 0666);
        if (file.fd >= 0) return 0;
        if (errno != EEXIST) return errno;
    }
    return EEXIST;
}

// Writes the content into the open temporary file and makes it durable.
int fillTemporary(FileDescriptor& file, std::string_view bytes, const struct stat* old) {
    int error = 0;
    if (old != nullptr) {
        // Best effort: only root may hand the file back to another owner.
        [[maybe_unused]] const int owned = ::fchown(file.fd, old->st_uid, old->st_gid);
        if (::fchmod(file.fd, old->st_mode & 07777) != 0) error = errno;
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

int writeTarget(const std::string& path, std::string& target) {
    target = path;
    for (int links = 0;; ++links) {
        struct stat info {};
        // Anything but a link (nothing at all included) is the target; what
        // cannot be looked at is left to the open, which gives the reason.
        if (::lstat(target.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return 0;
        if (links == kMaxLinks) return ELOOP;
        std::string content;
        if (const int error = readLink(target, content); error != 0) return error;
        target = content.front() == '/' ? content : folderOf(target) + "/" + content;
    }
}

int replaceFile(const std::string& path, std::string_view bytes, const struct stat* old) {
    std::string temporary;
    FileDescriptor file(-1);
    if (const int error = createTemporary(path, old != nullptr, temporary, file); error != 0) return error;
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
