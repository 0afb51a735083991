// Counting the directory entries that match a wildcard mask, and telling a
// folder from a file, on Linux.
//
// The mask is split at its last '/': the part before it names the folder,
// taken literally (no wildcards, relative to the current directory), and the
// last component is matched against each entry name with fnmatch(). Without
// FNM_PERIOD a leading dot needs no explicit match, so "*" counts "." and
// ".." and hidden files, as the Windows search counts "." and "..". Names are
// compared case-sensitively, as Linux file names are, and "?" stands for one
// character, not one byte, whatever locale the process runs in.
#include <dirent.h>
#include <fnmatch.h>
#include <locale.h>
#include <sys/stat.h>

#include <climits>
#include <string>

#include "base/utf8.h"
#include "platform/files.h"

namespace procguard {

namespace {

// Names are UTF-8 (or bytes that are not text at all, which glibc's fnmatch
// then matches byte by byte). Null when the C library has no such locale:
// then the current one applies.
locale_t utf8Locale() {
    static const locale_t locale = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
    return locale;
}

} // namespace

std::int32_t countMatchingFiles(const std::wstring& mask) {
    const std::string bytes = encodeUtf8(mask);
    const std::size_t slash = bytes.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : bytes.substr(0, slash + 1);
    const char* pattern = bytes.c_str() + (slash == std::string::npos ? 0 : slash + 1);
    if (*pattern == '\0') return 0; // empty mask, or one that names only a folder

    DIR* directory = opendir(folder.c_str());
    if (directory == nullptr) return 0;
    const locale_t utf8 = utf8Locale();
    const locale_t previous = utf8 != nullptr ? uselocale(utf8) : nullptr;
    std::int32_t count = 0;
    // A read error ends the loop like the end of the folder: the entries seen
    // so far stand.
    while (const dirent* entry = readdir(directory)) {
        if (fnmatch(pattern, entry->d_name, 0) == 0 && count < INT32_MAX) ++count;
    }
    if (previous != nullptr) uselocale(previous);
    closedir(directory);
    return count;
}

bool isFolder(const std::wstring& path) {
    struct stat info {};
    return stat(encodeUtf8(path).c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool fileExists(const std::wstring& path) {
    struct stat info {};
    return lstat(encodeUtf8(path).c_str(), &info) == 0;
}

} // namespace procguard
