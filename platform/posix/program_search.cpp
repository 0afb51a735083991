// Finding the program of a bare name on Linux, by execvp's rules.
#include "platform/program_search.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "base/utf8.h"

namespace procguard {

namespace {

// The search path execvp uses when PATH is not set.
std::string defaultSearchPath() {
    const std::size_t size = confstr(_CS_PATH, nullptr, 0);
    if (size == 0) return "/bin:/usr/bin";
    std::string path(size, '\0');
    confstr(_CS_PATH, path.data(), size);
    path.resize(size - 1);
    return path;
}

bool isRunnableFile(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && access(path.c_str(), X_OK) == 0;
}

} // namespace

bool isBareProgramName(const std::wstring& name) { return name.find(L'/') == std::wstring::npos; }

bool searchProgram(const std::wstring& name, std::wstring& found) {
    if (name.empty() || !isBareProgramName(name)) return false;
    const std::string file = encodeUtf8(name);
    const char* variable = std::getenv("PATH");
    const std::string searchPath = variable != nullptr ? variable : defaultSearchPath();
    for (std::size_t start = 0;;) {
        const std::size_t end = searchPath.find(':', start);
        const std::string folder = searchPath.substr(start, end == std::string::npos ? end : end - start);
        // "./" keeps the name a path: started as it stands, a bare name
        // would be looked for again.
        const std::string candidate = (folder.empty() ? "." : folder) + "/" + file;
        if (isRunnableFile(candidate)) {
            found = decodeUtf8(candidate);
            return true;
        }
        if (end == std::string::npos) return false;
        start = end + 1;
    }
}

} // namespace procguard
