#include "platform/posix/proc_stat.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace procguard {

namespace {

// /proc/PID/stat up to the process group; the command name in it is at most
// 16 bytes, the pid at most 10.
constexpr std::size_t kStatHead = 512;

} // namespace

bool readProcStat(pid_t pid, ProcStat& stat) {
    char path[32];
    std::snprintf(path, sizeof path, "/proc/%d/stat", static_cast<int>(pid));
    const int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    char buffer[kStatHead];
    const ssize_t length = read(fd, buffer, sizeof buffer - 1);
    close(fd);
    if (length <= 0) return false;
    buffer[length] = '\0';
    // The command name in parentheses may itself hold blanks and
    // parentheses: the fields start after the last ')'.
    const std::string text(buffer, static_cast<std::size_t>(length));
    const std::size_t close = text.rfind(')');
    if (close == std::string::npos || close + 2 >= text.size()) return false;
    char* rest = nullptr;
    stat.state = text[close + 2];
    stat.parent = static_cast<pid_t>(std::strtol(text.c_str() + close + 3, &rest, 10));
    stat.group = static_cast<pid_t>(std::strtol(rest, nullptr, 10));
    return true;
}

} // namespace procguard
