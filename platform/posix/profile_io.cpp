// Config file paths and single keys of profile files on Linux. The parsing
// and editing is profile_text's; this file reads and replaces whole files.
#include "platform/platform.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/posix/profile_text.h"
#include "platform/posix/utf8.h"

namespace procguard {

namespace {

constexpr std::size_t kProfileValueLimit = 2047; // characters a read gives at most

// errno has no value for "exists but is neither a file nor a folder".
constexpr int kNotRegularFile = -1;

std::wstring systemError(int error) {
    if (error == kNotRegularFile) return L"Not a regular file";
    return decodeUtf8(std::strerror(error));
}

// Closes a descriptor on every way out of a function.
struct FileDescriptor {
    int fd = -1;
    explicit FileDescriptor(int fd) : fd(fd) {}
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor() {
        if (fd >= 0) ::close(fd);
    }
};

// Opens `path` for reading if it is a regular file. O_NONBLOCK keeps a FIFO
// from blocking the open; it is refused right after. Returns the errno value.
int openRegularFile(const std::string& path, FileDescriptor& file, struct stat& info) {
    file.fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (file.fd < 0) return errno;
    if (::fstat(file.fd, &info) != 0) return errno;
    if (S_ISDIR(info.st_mode)) return EISDIR;
    if (!S_ISREG(info.st_mode)) return kNotRegularFile;
    return 0;
}

int readAll(int fd, std::string& bytes) {
    char buffer[65536];
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

// The file a write must replace: a symbolic link is followed, so the link
// stays and its target gets the new content.
std::string writeTarget(const std::string& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return path;
    char* resolved = ::realpath(path.c_str(), nullptr);
    if (resolved == nullptr) return path;
    std::string target = resolved;
    std::free(resolved);
    return target;
}

std::string folderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

// Writes `bytes` to a new file beside `path` and renames it over `path`, so a
// reader sees the old content or the new, never a half-written file.
int replaceFile(const std::string& path, std::string_view bytes, const struct stat* old) {
    // Hidden, named after the file (cut so a long name still leaves room).
    const std::size_t slash = path.rfind('/');
    std::string temporary = path.substr(0, slash + 1) + "." + path.substr(slash + 1, 200) + ".XXXXXX";
    FileDescriptor file(::mkostemp(temporary.data(), O_CLOEXEC));
    if (file.fd < 0) return errno;
    int error = 0;
    if (old != nullptr) {
        // Best effort: only root may hand the file back to another owner.
        [[maybe_unused]] const int owned = ::fchown(file.fd, old->st_uid, old->st_gid);
        if (::fchmod(file.fd, old->st_mode & 07777) != 0) error = errno;
    } else if (::fchmod(file.fd, 0644) != 0) {
        error = errno;
    }
    if (error == 0) error = writeAll(file.fd, bytes);
    if (error == 0 && ::fsync(file.fd) != 0) error = errno;
    if (error == 0 && ::close(file.fd) != 0) error = errno;
    file.fd = -1;
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

} // namespace

std::wstring currentDirectoryPrefix() {
    std::string directory(256, '\0');
    while (::getcwd(directory.data(), directory.size()) == nullptr) {
        // Without a current directory to name, a relative path still lets the
        // system resolve the name against it (or refuse it with a reason).
        if (errno != ERANGE) return L"./";
        directory.resize(directory.size() * 2);
    }
    directory.resize(std::strlen(directory.c_str()));
    if (directory.back() != '/') directory += '/';
    return decodeUtf8(directory);
}

std::wstring resolveConfigPath(const std::wstring& fileName) {
    if (!fileName.empty() && fileName.front() == L'/') return fileName;
    return currentDirectoryPrefix() + fileName;
}

namespace {

// A load reads 9 + 4n keys, one call each. Reading and scanning the whole
// file for every key made loading a large file quadratic, so the last file
// read is kept with an index of its sections. It is used again only while
// the file is the same one, unchanged: the open file's device, inode, size
// and modification and change times must all match, and every write of ours
// forgets it.
struct ReadCache {
    bool valid = false;
    std::string path;
    struct stat info {};
    std::string bytes;
    ProfileIndex index;
};

ReadCache& readCache() {
    static ReadCache cache;
    return cache;
}

bool sameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size &&
           a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec &&
           a.st_ctim.tv_sec == b.st_ctim.tv_sec && a.st_ctim.tv_nsec == b.st_ctim.tv_nsec;
}

// The cached content of `path`, read afresh when the file is not the one
// cached; null when it cannot be read.
const ReadCache* readProfileFile(const std::string& path) {
    ReadCache& cache = readCache();
    FileDescriptor file(-1);
    struct stat info {};
    if (openRegularFile(path, file, info) != 0) return nullptr;
    if (cache.valid && cache.path == path && sameFile(cache.info, info)) return &cache;
    cache.valid = false;
    cache.bytes.clear();
    if (readAll(file.fd, cache.bytes) != 0) return nullptr;
    cache.index = indexProfileFile(cache.bytes);
    cache.path = path;
    cache.info = info;
    cache.valid = true;
    return &cache;
}

} // namespace

std::wstring readProfileString(const std::wstring& section, const std::wstring& key,
                               const std::wstring& fileName, const std::wstring& defaultText) {
    const ReadCache* file = readProfileFile(encodeUtf8(resolveConfigPath(fileName)));
    if (file == nullptr) return defaultText;
    std::optional<std::wstring> value = profileFileRead(file->bytes, file->index, section, key);
    if (!value || value->empty()) return defaultText;
    if (value->size() > kProfileValueLimit) value->resize(kProfileValueLimit);
    return *value;
}

OsResult writeProfileString(const std::wstring& section, const std::wstring& key,
                            const std::wstring& fileName, const std::wstring& text) {
    const std::string path = writeTarget(encodeUtf8(resolveConfigPath(fileName)));
    readCache().valid = false;
    FileDescriptor file(-1);
    struct stat info {};
    std::string bytes;
    const int opened = openRegularFile(path, file, info);
    const bool exists = opened != ENOENT;
    if (exists) {
        if (opened != 0) return {false, systemError(opened)};
        // The file is replaced, not written, so its own permission is asked
        // for here: a read-only file stays read-only, as it would elsewhere.
        if (::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0) return {false, systemError(errno)};
        if (const int error = readAll(file.fd, bytes); error != 0) return {false, systemError(error)};
    }
    const ProfileEdit edit = profileFileWrite(bytes, section, key, text);
    if (!edit.ok) return {false, edit.error};
    if (!edit.changed) return {};
    if (const int error = replaceFile(path, edit.bytes, exists ? &info : nullptr); error != 0)
        return {false, systemError(error)};
    return {};
}

OsResult checkReadableFile(const std::wstring& path) {
    FileDescriptor file(-1);
    struct stat info {};
    if (const int error = openRegularFile(encodeUtf8(path), file, info); error != 0)
        return {false, systemError(error)};
    return {};
}

} // namespace procguard
