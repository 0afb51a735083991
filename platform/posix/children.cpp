#include "platform/posix/children.h"

#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <vector>

namespace procguard {

namespace {

std::vector<pid_t>& children() {
    static std::vector<pid_t> pids;
    return pids;
}

void forget(pid_t pid) {
    auto& pids = children();
    pids.erase(std::remove(pids.begin(), pids.end(), pid), pids.end());
}

// True when `pid` is gone for good: collected now, or no longer our child.
bool collect(pid_t pid) {
    int status = 0;
    pid_t result;
    do {
        result = waitpid(pid, &status, WNOHANG);
    } while (result < 0 && errno == EINTR);
    return result == pid || (result < 0 && errno == ECHILD);
}

// waitid without waiting; the pid of the child it found (0: none, -1 with
// errno: none of the kind asked for).
pid_t waitWithoutBlocking(idtype_t type, id_t id, int extra) {
    siginfo_t info{};
    int result;
    do {
        result = waitid(type, id, &info, WEXITED | WNOHANG | extra);
    } while (result < 0 && errno == EINTR);
    return result < 0 ? -1 : info.si_pid;
}

} // namespace

void rememberChild(pid_t pid) {
    if (pid > 0) children().push_back(pid);
}

void adoptOrphansOfTargets() {
    static bool done = false;
    if (done) return;
    done = true;
    prctl(PR_SET_CHILD_SUBREAPER, 1);
}

void reapExitedChildren() {
    auto& pids = children();
    pids.erase(std::remove_if(pids.begin(), pids.end(), collect), pids.end());
    // Adopted orphans: looked at without collecting first, so that a child
    // that other code waits for keeps its exit. Such a child stops the look
    // until its owner has collected it; the watchdog itself starts none.
    const pid_t ownGroup = getpgrp();
    for (;;) {
        const pid_t ended = waitWithoutBlocking(P_ALL, 0, WNOWAIT);
        if (ended <= 0) return;
        const pid_t group = getpgid(ended);
        if (!isRememberedChild(ended) && (group < 0 || group == ownGroup)) return;
        if (!collect(ended)) return;
        forget(ended);
    }
}

bool reapChild(pid_t pid) {
    auto& pids = children();
    const auto found = std::find(pids.begin(), pids.end(), pid);
    if (found == pids.end() || !collect(pid)) return false;
    pids.erase(found);
    return true;
}

bool isRememberedChild(pid_t pid) {
    const auto& pids = children();
    return std::find(pids.begin(), pids.end(), pid) != pids.end();
}

void reapGroup(pid_t group) {
    if (group <= 0) return;
    for (pid_t ended; (ended = waitWithoutBlocking(P_PGID, static_cast<id_t>(group), 0)) > 0;) forget(ended);
}

bool groupMayBeOurs(pid_t group) {
    return group > 0 &&
           (isRememberedChild(group) || waitWithoutBlocking(P_PGID, static_cast<id_t>(group), WNOWAIT) >= 0);
}

} // namespace procguard
