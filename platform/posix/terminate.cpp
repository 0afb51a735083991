// Terminating a process on Linux.
#include "platform/posix/terminate.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <ctime>
#include <string>

#include "platform/clock.h"
#include "platform/terminate.h"
#include "platform/posix/children.h"
#include "platform/posix/pidfd.h"

namespace procguard {

namespace {

// How often the kill() fallback looks whether the process has ended.
constexpr std::uint32_t kEndPollMs = 2;
// /proc/PID/stat up to the state field; the command name in it is at most
// 16 bytes, the pid at most 10.
constexpr std::size_t kStatHead = 512;

// A process that is gone or only a zombie has ended.
bool hasEnded(pid_t pid) {
    if (reapChild(pid)) return true;
    const std::string statPath = "/proc/" + std::to_string(pid) + "/stat";
    std::FILE* file = std::fopen(statPath.c_str(), "re");
    if (file == nullptr) return kill(pid, 0) != 0 && errno == ESRCH;
    // The state follows the command name in parentheses, which may itself
    // hold blanks and parentheses: take the last ')'.
    char buffer[kStatHead];
    const std::size_t length = std::fread(buffer, 1, sizeof buffer - 1, file);
    std::fclose(file);
    buffer[length] = '\0';
    const std::string text(buffer, length);
    const std::size_t close = text.rfind(')');
    if (close == std::string::npos || close + 2 >= text.size()) return false;
    const char state = text[close + 2];
    return state == 'Z' || state == 'X';
}

// SIGKILL through the pidfd, then the wait on it. False when the signal
// could not be sent (and `errno` says why).
bool terminateByFd(int pidfd, std::uint32_t timeoutMs, bool& ended) {
    // ESRCH here means it exited already; the pidfd still tells when.
    if (sendSignalToFd(pidfd, SIGKILL) != 0 && errno != ESRCH) return false;
    ended = waitForProcessFd(pidfd, timeoutMs);
    return true;
}

} // namespace

bool terminateByKill(pid_t pid, std::uint32_t timeoutMs) {
    if (kill(pid, SIGKILL) != 0) return false;
    const std::int64_t deadline = monotonicMilliseconds() + timeoutMs;
    for (;;) {
        if (hasEnded(pid)) return true;
        if (monotonicMilliseconds() >= deadline) return false;
        // Not sleepMilliseconds: after a stop request that returns at once,
        // and this loop would spin until the deadline.
        const timespec pause {0, static_cast<long>(kEndPollMs) * 1000000L};
        nanosleep(&pause, nullptr);
    }
}

bool terminateProcess(const HeldProcess& process, std::uint32_t timeoutMs) {
    // 0 and ids past INT_MAX would turn into kill()'s process-group forms.
    if (process.id == 0 || process.id > INT_MAX) return false;
    const auto pid = static_cast<pid_t>(process.id);
    bool ended = false;
    if (process.handle >= 0) {
        // The held pidfd is this very process, even if it has ended and its
        // id was taken over since.
        return terminateByFd(static_cast<int>(process.handle), timeoutMs, ended) && ended;
    }
    const int pidfd = openProcessFd(pid);
    if (pidfd < 0) {
        if (errno == ENOSYS) return terminateByKill(pid, timeoutMs);
        return false; // no such process (or not ours to see): nothing was terminated
    }
    const bool sent = terminateByFd(pidfd, timeoutMs, ended);
    const int sendError = errno;
    close(pidfd);
    if (!sent && sendError == ENOSYS) return terminateByKill(pid, timeoutMs);
    if (ended) reapChild(pid);
    return sent && ended;
}

} // namespace procguard
