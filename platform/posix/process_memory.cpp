// Resident memory on Linux.
#include "platform/process_memory.h"

#include <fcntl.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>

namespace procguard {

bool readResidentMemory(const HeldProcess& process, std::uint64_t& bytes) {
    if (process.handle < 0 || process.id == 0 || process.id > INT_MAX) return false;
    static const long pageSize = sysconf(_SC_PAGESIZE);
    // statm is one short line of page counts, "size resident shared ...",
    // cheaper for the kernel to make than the whole of /proc/PID/status.
    char path[32];
    std::snprintf(path, sizeof path, "/proc/%u/statm", static_cast<unsigned>(process.id));
    const int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    char text[128];
    const ssize_t length = read(fd, text, sizeof text - 1);
    close(fd);
    if (length <= 0) return false;
    text[length] = '\0';
    char* end = nullptr;
    std::strtoull(text, &end, 10);
    const char* residentField = end;
    const unsigned long long resident = std::strtoull(residentField, &end, 10);
    if (end == residentField) return false;
    // /proc has no entry for a pidfd; the id was read. Still running now, the
    // process was running while its entry was read, and an id cannot pass
    // to another process while its owner runs. (An ended one, a zombie,
    // would show 0 pages.)
    if (processHasEnded(process)) return false;
    bytes = static_cast<std::uint64_t>(resident) * static_cast<std::uint64_t>(pageSize);
    return true;
}

} // namespace procguard
