#include "platform/posix/children.h"

#include <sys/wait.h>

#include <algorithm>
#include <cerrno>
#include <vector>

namespace procguard {

namespace {

std::vector<pid_t>& children() {
    static std::vector<pid_t> pids;
    return pids;
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

} // namespace

void rememberChild(pid_t pid) {
    if (pid > 0) children().push_back(pid);
}

void reapExitedChildren() {
    auto& pids = children();
    pids.erase(std::remove_if(pids.begin(), pids.end(), collect), pids.end());
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

} // namespace procguard
