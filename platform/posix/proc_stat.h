// The few fields of /proc/PID/stat the backend needs.
#pragma once

#include <sys/types.h>

namespace procguard {

struct ProcStat {
    char state = 0; // 'R', 'S', 'Z', ...; a zombie ('Z') or a dying task ('X') has ended
    pid_t parent = 0;
    pid_t group = 0; // the process group
};

// False when the process is gone (or its entry cannot be read).
bool readProcStat(pid_t pid, ProcStat& stat);

inline bool hasEndedState(char state) { return state == 'Z' || state == 'X'; }

} // namespace procguard
