// Terminating a process on Linux.
#include "platform/posix/terminate.h"

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <ctime>
#include <vector>

#include "platform/clock.h"
#include "platform/terminate.h"
#include "platform/posix/children.h"
#include "platform/posix/pidfd.h"
#include "platform/posix/proc_stat.h"

namespace procguard {

namespace {

// How often the kill() fallback looks whether the process has ended.
constexpr std::uint32_t kEndPollMs = 2;
// A tree is looked at less and less often while it takes its time: each look
// may read the whole of /proc.
constexpr std::uint32_t kTreePollMostMs = 50;

// A process that is gone or only a zombie has ended.
bool hasEnded(pid_t pid) {
    if (reapChild(pid)) return true;
    ProcStat stat;
    if (!readProcStat(pid, stat)) return kill(pid, 0) != 0 && errno == ESRCH;
    return hasEndedState(stat.state);
}

void pause(std::uint32_t ms) {
    // Not sleepMilliseconds: after a stop request that returns at once, and
    // the caller's loop would spin until its deadline.
    const timespec length{0, static_cast<long>(ms) * 1000000L};
    nanosleep(&length, nullptr);
}

// Whether every member of the group has ended. kill(-group, 0) still finds
// zombies: those of the watchdog are collected first, and the zombies of a
// parent that is not the watchdog count as ended (only their parent can
// collect them).
bool groupHasEnded(pid_t group) {
    reapGroup(group);
    if (kill(-group, 0) != 0 && errno == ESRCH) return true;
    std::vector<ProcessId> ids;
    if (!enumerateProcessIds(ids)) return false;
    for (ProcessId id : ids) {
        ProcStat stat;
        if (readProcStat(static_cast<pid_t>(id), stat) && stat.group == group && !hasEndedState(stat.state))
            return false;
    }
    return true;
}

// SIGKILL to the leader through its pidfd and to the whole group, again at
// every look: a member may have been forking just then. The group is
// signalled only while it can still be the target's (see groupMayBeOurs).
bool terminateTree(const HeldProcess& process, std::uint32_t timeoutMs) {
    const auto group = static_cast<pid_t>(process.tree);
    const int pidfd = static_cast<int>(process.handle);
    const std::int64_t deadline = monotonicMilliseconds() + timeoutMs;
    std::uint32_t interval = kEndPollMs;
    for (;;) {
        if (pidfd >= 0) sendSignalToFd(pidfd, SIGKILL);
        if (groupMayBeOurs(group)) kill(-group, SIGKILL);
        const bool leaderEnded = pidfd < 0 || waitForProcessFd(pidfd, 0);
        if (leaderEnded && groupHasEnded(group)) return true;
        if (monotonicMilliseconds() >= deadline) return false;
        pause(interval);
        interval = std::min(interval * 2, kTreePollMostMs);
    }
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
        pause(kEndPollMs);
    }
}

bool terminateProcess(const HeldProcess& process, std::uint32_t timeoutMs) {
    // 0 and ids past INT_MAX would turn into kill()'s process-group forms.
    if (process.id == 0 || process.id > INT_MAX) return false;
    if (process.tree > 0 && process.tree <= INT_MAX) return terminateTree(process, timeoutMs);
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
