// Health checks beyond the window probe, for targets that have no window or
// whose window says too little: the optional keys of a config file's
// [health] section. Every check is off until its key is given.
#pragma once

#include <cstdint>
#include <string>

namespace procguard {

struct HealthChecks {
    std::wstring heartbeatFile;         // a file the target keeps modifying; empty: no heartbeat check
    std::uint32_t heartbeatTimeout = 0; // ms the file may go unmodified
    std::wstring healthUrl;             // http:// or https://, answered with 200 to 399; empty: none
    std::wstring healthCommand;         // a program and its arguments, exiting with 0; empty: none
    std::uint32_t memoryLimit = 0;      // MiB of resident memory; 0: no limit
    std::uint32_t failedChecks = 1;     // failed checks in a row before the target is terminated
    std::uint32_t startGrace = 0;       // ms after a start during which failures do not count
};

} // namespace procguard
