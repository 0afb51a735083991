// Terminating a process on Linux.
#include "platform/posix/terminate.h"

#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <ctime>
#include <string>

#include "platform/platform.h"
#include "platform/posix/children.h"

namespace procguard {

namespace {

// How often the kill() fallback looks whether the process has ended.
constexpr std::uint32_t kEndPollMs = 2;
// /proc/PID/stat up to the state field; the command name in it is at most
// 16 bytes, the pid at most 10.
constexpr std::size_t kStatHead = 512;

std::int64_t monotonicMilliseconds() {
    timespec now {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

// A process file descriptor, or -1 with errno set (ENOSYS on old kernels).
// Called through syscall() so that older C libraries build it as well.
int openProcessFd(pid_t pid) {
#ifdef SYS_pidfd_open
    return static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
#else
    (void)pid;
    errno = ENOSYS;
    return -1;
#endif
}

int sendSignalToFd(int pidfd, int signal) {
#ifdef SYS_pidfd_send_signal
    return static_cast<int>(syscall(SYS_pidfd_send_signal, pidfd, signal, nullptr, 0));
#else
    (void)pidfd;
    (void)signal;
    errno = ENOSYS;
    return -1;
#endif
}

// Waits until the pidfd becomes readable, which it does once the process has
// exited (zombies included), for at most `timeoutMs`.
bool waitForProcessFd(int pidfd, std::uint32_t timeoutMs) {
    const std::int64_t deadline = monotonicMilliseconds() + timeoutMs;
    for (;;) {
        const std::int64_t left = deadline - monotonicMilliseconds();
        pollfd entry {pidfd, POLLIN, 0};
        const int ready = poll(&entry, 1, static_cast<int>(left < 0 ? 0 : left > INT_MAX ? INT_MAX : left));
        if (ready > 0) return true;
        if (ready == 0 && left <= INT_MAX) return false;
        if (ready < 0 && errno != EINTR) return false;
    }
}

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

} // namespace

bool terminateByKill(pid_t pid, std::uint32_t timeoutMs) {
    if (kill(pid, SIGKILL) != 0) return false;
    const std::int64_t deadline = monotonicMilliseconds() + timeoutMs;
    for (;;) {
        if (hasEnded(pid)) return true;
        if (monotonicMilliseconds() >= deadline) return false;
        sleepMilliseconds(kEndPollMs);
    }
}

bool terminateProcess(ProcessId id, std::uint32_t timeoutMs) {
    // 0 and ids past INT_MAX would turn into kill()'s process-group forms.
    if (id == 0 || id > INT_MAX) return false;
    const auto pid = static_cast<pid_t>(id);

    const int pidfd = openProcessFd(pid);
    if (pidfd < 0) {
        if (errno == ENOSYS) return terminateByKill(pid, timeoutMs);
        return false; // no such process (or not ours to see): nothing was terminated
    }
    bool ended = false;
    // ESRCH here means it exited between the open and the signal; the pidfd
    // still tells when.
    if (sendSignalToFd(pidfd, SIGKILL) == 0 || errno == ESRCH) {
        ended = waitForProcessFd(pidfd, timeoutMs);
    } else if (errno == ENOSYS) {
        close(pidfd);
        return terminateByKill(pid, timeoutMs);
    }
    close(pidfd);
    if (ended) reapChild(pid);
    return ended;
}

} // namespace procguard
