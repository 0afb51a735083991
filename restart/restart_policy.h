// How the watchdog restarts: the optional keys of a config file's [restart]
// section. Without them a missing target is started again at every check,
// as soon as the check sees it gone.
#pragma once

#include <cstdint>
#include <string>

namespace procguard {

struct RestartPolicy {
    std::uint32_t backoffLimit = 0;  // ms, the longest delay of a start after a quick end; 0: no back-off
    std::uint32_t stableRun = 60000; // ms a target must run for its end not to count as quick
    std::wstring dumpFolder;         // where a hung or unhealthy target's dump goes; empty: no dump
    bool restartOnExit = false;      // end the wait between checks the moment the held target ends
};

} // namespace procguard
