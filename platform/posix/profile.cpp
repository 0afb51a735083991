// Config file paths and single keys of profile files on Linux. The INI text
// is ini_text's; whole files are file_io's.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "base/utf8.h"
#include "platform/platform.h"
#include "platform/posix/file_io.h"
#include "platform/posix/ini_text.h"
#include "platform/posix/system_error.h"

namespace procguard {

namespace {

constexpr std::size_t kFirstDirectoryBuffer = 256;

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

std::wstring currentDirectoryPrefix() {
    std::string directory(kFirstDirectoryBuffer, '\0');
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

bool isCompleteFileName(const std::wstring& fileName) { return !fileName.empty() && fileName.front() == L'/'; }

std::wstring readProfileValue(const std::wstring& section, const std::wstring& key, const std::wstring& path) {
    const ReadCache* file = readProfileFile(encodeUtf8(path));
    if (file == nullptr) return {};
    return profileFileRead(file->bytes, file->index, section, key).value_or(std::wstring());
}

bool hasProfileSection(const std::wstring& section, const std::wstring& path) {
    const ReadCache* file = readProfileFile(encodeUtf8(path));
    return file != nullptr && profileFileHasSection(file->index, section);
}

OsResult writeProfileValue(const std::wstring& section, const std::wstring& key, const std::wstring& path,
                           const std::wstring& text) {
    std::string target;
    if (const int error = writeTarget(encodeUtf8(path), target); error != 0)
        return {false, systemErrorMessage(error)};
    readCache().valid = false;
    FileDescriptor file(-1);
    struct stat info {};
    std::string bytes;
    const int opened = openRegularFile(target, file, info);
    const bool exists = opened != ENOENT;
    if (exists) {
        if (opened != 0) return {false, systemErrorMessage(opened)};
        // The file is replaced, not written, so its own permission is asked
        // for here: a read-only file stays read-only, as it would elsewhere.
        if (::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0)
            return {false, systemErrorMessage(errno)};
        if (const int error = readAll(file.fd, bytes); error != 0) return {false, systemErrorMessage(error)};
    }
    const ProfileEdit edit = profileFileWrite(bytes, section, key, text);
    if (!edit.ok) return {false, edit.error};
    if (!edit.changed) return {};
    if (const int error = replaceFile(target, edit.bytes, exists ? &info : nullptr); error != 0)
        return {false, systemErrorMessage(error)};
    return {};
}

OsResult checkReadableFile(const std::wstring& path) {
    FileDescriptor file(-1);
    struct stat info {};
    if (const int error = openRegularFile(encodeUtf8(path), file, info); error != 0)
        return {false, systemErrorMessage(error)};
    return {};
}

} // namespace procguard
