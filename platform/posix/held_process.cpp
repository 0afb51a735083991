// Holding a process on Linux: a pidfd, which refers to one process for as
// long as it is open, whatever becomes of its id.
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <string>
#include <vector>

#include "base/utf8.h"

#include "platform/held_process.h"
#include "platform/posix/children.h"
#include "platform/posix/pidfd.h"
#include "platform/posix/proc_stat.h"

namespace procguard {

HeldProcess holdProcess(ProcessId id) {
    HeldProcess process;
    process.id = id;
    if (id == 0 || id > INT_MAX) return process;
    process.handle = openProcessFd(static_cast<pid_t>(id));
    return process;
}

bool processHasEnded(const HeldProcess& process) {
    return process.handle >= 0 && waitForProcessFd(static_cast<int>(process.handle), 0);
}

bool readHeldImagePath(const HeldProcess& process, std::wstring& path) {
    if (process.handle < 0) return false;
    // /proc has no entry for a pidfd; the id is asked, and the process is
    // looked at again afterwards: still running then, it was running while
    // its entry was read, and an id cannot pass to another process while
    // its owner runs.
    std::wstring read;
    if (!readProcessImagePath(process.id, read) || processHasEnded(process)) return false;
    path = std::move(read);
    return true;
}

bool heldProcessRuns(const HeldProcess& process, const std::wstring& path) {
    if (process.handle < 0) return false;
    // Two stats cost less than resolving the path and reading the link. The
    // process is looked at last, for the same reason as above.
    struct stat named {};
    struct stat running {};
    const std::string exeLink = "/proc/" + std::to_string(process.id) + "/exe";
    return stat(encodeUtf8(path).c_str(), &named) == 0 && stat(exeLink.c_str(), &running) == 0 &&
           named.st_dev == running.st_dev && named.st_ino == running.st_ino && !processHasEnded(process);
}

std::vector<ProcessId> listTreeProcesses(const HeldProcess& process) {
    if (process.id == 0) return {};
    if (process.tree <= 0 || process.tree > INT_MAX) return {process.id};
    std::vector<ProcessId> members;
    const auto group = static_cast<pid_t>(process.tree);
    if (!groupMayBeOurs(group)) return members;
    if (!processHasEnded(process)) members.push_back(process.id);
    std::vector<ProcessId> ids;
    if (!enumerateProcessIds(ids)) return members;
    for (ProcessId id : ids) {
        ProcStat stat;
        if (id != process.id && readProcStat(static_cast<pid_t>(id), stat) && stat.group == group &&
            !hasEndedState(stat.state))
            members.push_back(id);
    }
    return members;
}

bool treeContains(const HeldProcess& process, ProcessId id) {
    if (id == 0 || id > INT_MAX) return false;
    if (id == process.id) return !processHasEnded(process);
    if (process.tree <= 0 || process.tree > INT_MAX) return false;
    ProcStat stat;
    return readProcStat(static_cast<pid_t>(id), stat) && stat.group == static_cast<pid_t>(process.tree) &&
           !hasEndedState(stat.state);
}

void releaseProcess(HeldProcess& process) {
    if (process.handle >= 0) close(static_cast<int>(process.handle));
    // A started process that ended while held is collected now; one still
    // running is collected by a later check once it ends.
    if (process.id != 0 && process.id <= INT_MAX) reapChild(static_cast<pid_t>(process.id));
    process = HeldProcess{};
}

} // namespace procguard
