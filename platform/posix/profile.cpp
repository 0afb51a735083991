// Config file paths and single keys of profile files on Linux. The INI text
// is ini_text's, a file's encoding profile_encoding's, whole files file_io's.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "base/utf8.h"
#include "platform/profile.h"
#include "platform/posix/file_io.h"
#include "platform/posix/ini_text.h"
#include "platform/posix/profile_encoding.h"
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
    ProfileText file;
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

// Points `cached` at the content of `path`, read afresh when the file is not
// the one cached. 0 or the errno value of a file that cannot be read; a file
// whose encoding cannot be read is cached with its `file.error`.
int readProfileFile(const std::string& path, const ReadCache*& cached) {
    ReadCache& cache = readCache();
    FileDescriptor file(-1);
    struct stat info {};
    if (const int error = openRegularFile(path, file, info); error != 0) return error;
    cached = &cache;
    if (cache.valid && cache.path == path && sameFile(cache.info, info)) return 0;
    cache.valid = false;
    std::string bytes;
    if (const int error = readAll(file.fd, bytes); error != 0) return error;
    cache.file = decodeProfileFile(std::move(bytes));
    cache.index = cache.file.error.empty() ? indexProfileFile(cache.file.text) : ProfileIndex{};
    cache.path = path;
    cache.info = info;
    cache.valid = true;
    return 0;
}

// Why section/key/text cannot go into a file of `encoding`, or an empty text.
std::wstring unfitText(ProfileEncoding encoding, const std::wstring& section, const std::wstring& key,
                       const std::wstring& text) {
    const std::wstring which = !fitsEncoding(encoding, section) ? L"the section name \"" + section + L"\""
                               : !fitsEncoding(encoding, key)   ? L"the key name \"" + key + L"\""
                               : !fitsEncoding(encoding, text)  ? L"the value of \"" + key + L"\""
                                                                : std::wstring();
    if (which.empty()) return {};
    return which + L" holds bytes that are not UTF-8, which a " + encodingName(encoding) + L" file cannot hold";
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
    const ReadCache* cached = nullptr;
    if (readProfileFile(encodeUtf8(path), cached) != 0 || !cached->file.error.empty()) return {};
    return profileFileRead(cached->file.text, cached->index, section, key).value_or(std::wstring());
}

bool hasProfileSection(const std::wstring& section, const std::wstring& path) {
    const ReadCache* cached = nullptr;
    if (readProfileFile(encodeUtf8(path), cached) != 0 || !cached->file.error.empty()) return false;
    return profileFileHasSection(cached->index, section);
}

Result writeProfileValue(const std::wstring& section, const std::wstring& key, const std::wstring& path,
                         const std::wstring& text) {
    std::string target;
    if (const int error = writeTarget(encodeUtf8(path), target); error != 0) return failure(systemErrorMessage(error));
    readCache().valid = false;
    FileDescriptor file(-1);
    struct stat info {};
    ProfileText content; // a new file is UTF-8 without a byte-order mark
    const int opened = openRegularFile(target, file, info);
    const bool exists = opened != ENOENT;
    if (exists) {
        if (opened != 0) return failure(systemErrorMessage(opened));
        // The file is replaced, not written, so its own permission is asked
        // for here: a read-only file stays read-only, as it would elsewhere.
        if (::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0) return failure(systemErrorMessage(errno));
        std::string bytes;
        if (const int error = readAll(file.fd, bytes); error != 0) return failure(systemErrorMessage(error));
        content = decodeProfileFile(std::move(bytes));
        if (!content.error.empty()) return failure(content.error);
    }
    if (std::wstring unfit = unfitText(content.encoding, section, key, text); !unfit.empty())
        return failure(std::move(unfit));
    // A UTF-16LE file comes from Windows: where it has no line end yet, new
    // lines get the one the Windows build writes.
    const char* ending = content.encoding == ProfileEncoding::Utf16Le ? "\r\n" : "\n";
    const ProfileEdit edit = profileFileWrite(content.text, section, key, text, ending);
    if (!edit.ok) return failure(edit.error);
    if (!edit.changed) return {};
    std::string bytes;
    if (!encodeProfileFile(content.encoding, edit.bytes, bytes))
        return failure(std::wstring(L"the edited text has no ") + encodingName(content.encoding) + L" form");
    if (const int error = replaceFile(target, bytes, exists ? &info : nullptr); error != 0)
        return failure(systemErrorMessage(error));
    return {};
}

Result checkReadableFile(const std::wstring& path) {
    // The whole file is read, so that an encoding that cannot be read is
    // refused here, before any key; the reads that follow find it cached.
    const ReadCache* cached = nullptr;
    if (const int error = readProfileFile(encodeUtf8(path), cached); error != 0)
        return failure(systemErrorMessage(error));
    if (!cached->file.error.empty()) return failure(cached->file.error);
    return {};
}

} // namespace procguard
