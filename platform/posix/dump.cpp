// Memory dumps on Linux: the kernel's own core dump, moved into the folder.
//
// Only the kernel can write a core that debuggers read as the real thing,
// and it writes one only as the process dies of a signal such as SIGABRT. So
// the dump ends the process; where the core lands is up to
// /proc/sys/kernel/core_pattern, which is read to find it afterwards.
#include <glob.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <filesystem>
#include <string>

#include "base/dump_name.h"
#include "base/utf8.h"
#include "platform/platform.h"
#include "platform/posix/children.h"
#include "platform/posix/pidfd.h"
#include "platform/posix/stop.h"
#include "platform/posix/system_error.h"

namespace procguard {

namespace {

std::string readSmallFile(const std::string& path) {
    std::string text;
    if (std::FILE* file = std::fopen(path.c_str(), "re")) {
        char buffer[4096];
        const std::size_t length = std::fread(buffer, 1, sizeof buffer, file);
        std::fclose(file);
        text.assign(buffer, length);
    }
    while (!text.empty() && (text.back() == '\n' || text.back() == '\0')) text.pop_back();
    return text;
}

// What the core's name may be made of, read while the process still runs.
struct DumpFacts {
    std::string folder;     // its working directory, where a relative pattern puts the core
    std::string executable; // the path of its executable
    std::string uid, gid;   // real ids, as in /proc/PID/status
    bool ignoresAbort = false;
};

std::string statusField(const std::string& status, const std::string& name) {
    const std::size_t at = status.find("\n" + name + ":");
    if (at == std::string::npos) return {};
    const std::size_t value = status.find_first_not_of(" \t", at + name.size() + 2);
    const std::size_t end = status.find_first_of(" \t\n", value);
    return value == std::string::npos ? std::string() : status.substr(value, end - value);
}

bool readFacts(pid_t pid, DumpFacts& facts) {
    const std::string base = "/proc/" + std::to_string(pid);
    std::error_code error;
    facts.folder = std::filesystem::read_symlink(base + "/cwd", error).string();
    if (error) return false;
    facts.executable = std::filesystem::read_symlink(base + "/exe", error).string();
    const std::string status = "\n" + readSmallFile(base + "/status");
    facts.uid = statusField(status, "Uid");
    facts.gid = statusField(status, "Gid");
    const std::string ignored = statusField(status, "SigIgn");
    facts.ignoresAbort = !ignored.empty() && (std::stoull(ignored, nullptr, 16) >> (SIGABRT - 1) & 1) != 0;
    return true;
}

// The kernel writes '/' in a name it fills in as '!'.
std::string escapeSlashes(std::string text) {
    for (char& c : text)
        if (c == '/') c = '!';
    return text;
}

std::string globLiteral(const std::string& text) {
    std::string escaped;
    for (char c : text) {
        if (c == '*' || c == '?' || c == '[' || c == '\\') escaped.push_back('\\');
        escaped.push_back(c);
    }
    return escaped;
}

// A glob for the core file that `pattern` makes of this process. What is
// known here is filled in; the rest (the time, the thread, the dump mode, a
// specifier a newer kernel knows) matches anything, and the file's time picks
// the right one among the matches.
std::string coreFileGlob(const std::string& pattern, const DumpFacts& facts, pid_t pid, bool usesPid) {
    std::string glob;
    bool pidInPattern = false;
    for (std::size_t at = 0; at < pattern.size(); ++at) {
        if (pattern[at] != '%' || at + 1 == pattern.size()) {
            glob += globLiteral(std::string(1, pattern[at]));
            continue;
        }
        switch (pattern[++at]) {
        case '%': glob += "%"; break;
        case 'p':
            pidInPattern = true;
            glob += std::to_string(pid);
            break;
        case 'u': glob += globLiteral(facts.uid); break;
        case 'g': glob += globLiteral(facts.gid); break;
        case 's': glob += std::to_string(SIGABRT); break;
        case 'f': glob += globLiteral(escapeSlashes(std::filesystem::path(facts.executable).filename())); break;
        case 'E': glob += globLiteral(escapeSlashes(facts.executable)); break;
        // %e is the name of the thread that dumps, which a program may have
        // renamed; %h the host name of its namespace.
        default: glob += "*"; break;
        }
    }
    if (!pidInPattern && usesPid) glob += "." + std::to_string(pid);
    return glob.front() == '/' ? glob : globLiteral(facts.folder) + "/" + glob;
}

// The newest file matching `pattern` written since `since`; empty if none.
std::string findCore(const std::string& pattern, std::chrono::system_clock::time_point since) {
    glob_t found{};
    std::string newest;
    timespec newestTime{};
    const auto sinceSeconds = std::chrono::system_clock::to_time_t(since) - 1; // file times are coarse
    if (glob(pattern.c_str(), 0, nullptr, &found) == 0) {
        for (std::size_t i = 0; i < found.gl_pathc; ++i) {
            struct stat info {};
            if (lstat(found.gl_pathv[i], &info) != 0 || !S_ISREG(info.st_mode) || info.st_mtim.tv_sec < sinceSeconds)
                continue;
            if (newest.empty() || info.st_mtim.tv_sec > newestTime.tv_sec ||
                (info.st_mtim.tv_sec == newestTime.tv_sec && info.st_mtim.tv_nsec > newestTime.tv_nsec)) {
                newest = found.gl_pathv[i];
                newestTime = info.st_mtim;
            }
        }
    }
    globfree(&found);
    return newest;
}

// Lets the process dump a core of any size; a hard limit that cannot be
// raised (no CAP_SYS_RESOURCE) still allows up to that limit.
int raiseCoreLimit(pid_t pid) {
    const rlimit unlimited{RLIM_INFINITY, RLIM_INFINITY};
    if (prlimit(pid, RLIMIT_CORE, &unlimited, nullptr) == 0) return 0;
    if (errno != EPERM) return errno;
    rlimit current{};
    if (prlimit(pid, RLIMIT_CORE, nullptr, &current) != 0) return errno;
    if (current.rlim_max == 0) return EPERM;
    current.rlim_cur = current.rlim_max;
    return prlimit(pid, RLIMIT_CORE, &current, nullptr) == 0 ? 0 : errno;
}

// Whether a child of the watchdog ended with a core dump, looked at without
// collecting it. True also when it cannot be told (not our child).
bool endedWithCore(pid_t pid) {
    if (!isRememberedChild(pid)) return true;
    siginfo_t info{};
    if (waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) != 0) return true;
    return info.si_pid != pid || info.si_code == CLD_DUMPED;
}

std::wstring describe(const std::string& text) { return decodeUtf8(text); }

} // namespace

Result writeDump(const HeldProcess& process, const std::wstring& folder, const std::wstring& program,
                 std::wstring& file) {
    if (process.id == 0 || process.id > INT_MAX || process.handle < 0)
        return failure(L"the process is not held, so it cannot be dumped safely");
    const auto pid = static_cast<pid_t>(process.id);
    const int pidfd = static_cast<int>(process.handle);
    if (waitForProcessFd(pidfd, 0)) return failure(L"the process has already ended");

    const std::string pattern = readSmallFile("/proc/sys/kernel/core_pattern");
    const bool toHandler = !pattern.empty() && pattern.front() == '|';
    const bool usesPid = readSmallFile("/proc/sys/kernel/core_uses_pid") != "0";
    const std::filesystem::path target = std::filesystem::absolute(encodeUtf8(folder));
    std::error_code error;
    if (!toHandler) {
        std::filesystem::create_directories(target, error);
        if (error) return failure(L"the folder cannot be created: " + systemErrorMessage(error.value()));
        if (pattern.empty()) return failure(L"core_pattern is empty: the system writes no core files");
    }

    // Read before the end, and checked afterwards: still running then, the
    // facts are this process's, whose id cannot pass to another meanwhile.
    DumpFacts facts;
    if (!readFacts(pid, facts) || waitForProcessFd(pidfd, 0)) return failure(L"the process has already ended");
    if (facts.ignoresAbort) return failure(L"the process ignores SIGABRT, so it cannot dump a core");
    if (const int raised = raiseCoreLimit(pid); raised != 0)
        return failure(L"its core size limit cannot be raised: " + systemErrorMessage(raised));

    if (stopRequested()) return failure(L"a stop request came before the dump");
    const auto started = std::chrono::system_clock::now();
    if (sendSignalToFd(pidfd, SIGABRT) != 0 && errno != ESRCH)
        return failure(L"SIGABRT cannot be sent: " + systemErrorMessage(errno));
    // A stopped process acts on the SIGABRT only once it is continued.
    sendSignalToFd(pidfd, SIGCONT);
    switch (waitForInputOrStop(pidfd, kDumpTimeLimitMs)) {
    case WaitOutcome::Stopped: return failure(L"a stop request cut the dump short");
    case WaitOutcome::TimedOut:
        return failure(L"the process did not end within " + std::to_wstring(kDumpTimeLimitMs / 1000) +
                       L" s of SIGABRT (a handler of its own, or a core that takes longer)");
    case WaitOutcome::Ready: break;
    }
    if (toHandler) return failure(L"the system's core handler took the core (core_pattern " + describe(pattern) + L")");
    if (!endedWithCore(pid)) return failure(L"the process ended without dumping a core (it may not be dumpable)");

    const std::string core = findCore(coreFileGlob(pattern, facts, pid, usesPid), started);
    if (core.empty())
        return failure(L"no core file appeared for core_pattern " + describe(pattern) + L" (in " +
                       describe(facts.folder) + L")");
    const std::filesystem::path moved = target / encodeUtf8(dumpFileName(program, process.id, started, L".core"));
    std::filesystem::rename(core, moved, error);
    if (error == std::errc::cross_device_link) {
        error.clear();
        std::filesystem::copy_file(core, moved, std::filesystem::copy_options::overwrite_existing, error);
        if (!error) std::filesystem::remove(core, error);
    }
    if (error)
        return failure(L"the core " + describe(core) + L" cannot be moved into the folder: " +
                       systemErrorMessage(error.value()));
    file = decodeUtf8(moved.string());
    return {};
}

} // namespace procguard
