// Processes on Linux, as /proc shows them.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "base/utf8.h"
#include "platform/posix/children.h"
#include "platform/process.h"

namespace procguard {

namespace {

// A /proc entry name that is a process id, or 0 for anything else.
ProcessId parseProcessId(const char* name) {
    std::uint64_t value = 0;
    if (*name == '\0') return 0;
    for (const char* c = name; *c != '\0'; ++c) {
        if (*c < '0' || *c > '9') return 0;
        value = value * 10 + static_cast<std::uint64_t>(*c - '0');
        if (value > INT_MAX) return 0;
    }
    return static_cast<ProcessId>(value);
}

// The target of a symbolic link of any length, or false. The lookup reads
// one link per process per check, so the common case stays on the stack.
bool readLink(const std::string& link, std::string& target) {
    char stackBuffer[PATH_MAX];
    const ssize_t length = readlink(link.c_str(), stackBuffer, sizeof stackBuffer);
    if (length < 0) return false;
    if (static_cast<std::size_t>(length) < sizeof stackBuffer) {
        target.assign(stackBuffer, static_cast<std::size_t>(length));
        return true;
    }
    std::string buffer(2 * sizeof stackBuffer, '\0');
    for (;;) {
        const ssize_t longer = readlink(link.c_str(), buffer.data(), buffer.size());
        if (longer < 0) return false;
        if (static_cast<std::size_t>(longer) < buffer.size()) {
            buffer.resize(static_cast<std::size_t>(longer));
            target = std::move(buffer);
            return true;
        }
        buffer.resize(buffer.size() * 2); // possibly cut off: read again, larger
    }
}

// The kernel appends " (deleted)" to the exe link of a process whose file was
// removed or replaced, which is what an upgrade in place does. Drop it, so the
// running old version still counts as the target, unless the file really is
// named that way (then the link and the name lead to the same file).
void dropDeletedSuffix(const std::string& exeLink, std::string& path) {
    constexpr std::string_view kSuffix = " (deleted)";
    if (path.size() <= kSuffix.size() || std::string_view(path).substr(path.size() - kSuffix.size()) != kSuffix) {
        return;
    }
    struct stat running {};
    struct stat named {};
    if (stat(exeLink.c_str(), &running) == 0 && stat(path.c_str(), &named) == 0 && running.st_dev == named.st_dev &&
        running.st_ino == named.st_ino) {
        return;
    }
    path.resize(path.size() - kSuffix.size());
}

} // namespace

void collectEndedProcesses() { reapExitedChildren(); }

bool enumerateProcessIds(std::vector<ProcessId>& ids) {
    ids.clear();
    DIR* proc = opendir("/proc");
    if (proc == nullptr) return false;
    while (const dirent* entry = readdir(proc)) {
        const ProcessId id = parseProcessId(entry->d_name);
        if (id != 0) ids.push_back(id);
    }
    closedir(proc);
    return true;
}

bool readProcessImagePath(ProcessId id, std::wstring& path) {
    if (id == 0 || id > INT_MAX) return false;
    const std::string exeLink = "/proc/" + std::to_string(id) + "/exe";
    std::string bytes;
    // Fails for kernel threads, zombies, and (without CAP_SYS_PTRACE) the
    // processes of other users.
    if (!readLink(exeLink, bytes) || bytes.empty()) return false;
    dropDeletedSuffix(exeLink, bytes);
    path = decodeUtf8(bytes);
    return true;
}

bool isKernelThread(ProcessId id) {
    if (id == 0 || id > INT_MAX) return false;
    // The flags are the ninth field. The second, the command name in
    // parentheses, may hold blanks and parentheses itself, so the fields
    // are counted from the last ')'.
    constexpr unsigned long kKernelThreadFlag = 0x00200000; // PF_KTHREAD
    char buffer[512];
    const int fd = open(("/proc/" + std::to_string(id) + "/stat").c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    const ssize_t length = read(fd, buffer, sizeof buffer - 1);
    close(fd);
    if (length <= 0) return false;
    buffer[length] = '\0';
    const char* fields = std::strrchr(buffer, ')');
    if (fields == nullptr) return false;
    // State, parent, process group, session, terminal, its process group.
    for (int skipped = 0; skipped < 7; ++skipped) {
        fields = std::strchr(fields + 1, ' ');
        if (fields == nullptr) return false;
    }
    return (std::strtoul(fields + 1, nullptr, 10) & kKernelThreadFlag) != 0;
}

bool resolveTargetPath(const std::wstring& path, std::wstring& resolved) {
    // realpath() is what the kernel does to a path it runs: a relative path
    // goes behind the current directory and every link is followed, so the
    // result is the name /proc/PID/exe gives the running image.
    char* real = realpath(encodeUtf8(path).c_str(), nullptr);
    if (real == nullptr) return false;
    resolved = decodeUtf8(real);
    std::free(real);
    return true;
}

// Linux file names are case-sensitive: folding would match another file.
std::wstring foldPathCase(const std::wstring& path) { return path; }

} // namespace procguard
