#include "platform/posix/pidfd.h"

#include <poll.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

#include "platform/clock.h"

#include "platform/platform.h"

namespace procguard {

namespace {

// A pidfd is always close-on-exec, and it is only polled, never read: no
// flags are wanted.
constexpr unsigned kNoFlags = 0;

} // namespace

// Called through syscall() so that older C libraries build it as well.
int openProcessFd(pid_t pid) {
#ifdef SYS_pidfd_open
    return static_cast<int>(syscall(SYS_pidfd_open, pid, kNoFlags));
#else
    (void)pid;
    errno = ENOSYS;
    return -1;
#endif
}

int sendSignalToFd(int pidfd, int signal) {
#ifdef SYS_pidfd_send_signal
    return static_cast<int>(syscall(SYS_pidfd_send_signal, pidfd, signal, nullptr, kNoFlags));
#else
    (void)pidfd;
    (void)signal;
    errno = ENOSYS;
    return -1;
#endif
}

bool waitForProcessFd(int pidfd, std::uint32_t timeoutMs) {
    const std::int64_t deadline = monotonicMilliseconds() + timeoutMs;
    for (;;) {
        const std::int64_t left = deadline - monotonicMilliseconds();
        pollfd entry{pidfd, POLLIN, 0};
        const int ready = poll(&entry, 1, static_cast<int>(left < 0 ? 0 : left > INT_MAX ? INT_MAX : left));
        if (ready > 0) return true;
        if (ready == 0 && left <= INT_MAX) return false;
        if (ready < 0 && errno != EINTR) return false;
    }
}

} // namespace procguard
