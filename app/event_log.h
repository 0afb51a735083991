// The event log: with --events FILE, every check outcome and every change of
// state is appended to FILE as one JSON object per line (JSON Lines). Without
// it nothing is written. The log never stops the watch: a line that cannot
// be written is dropped, the console says so, and the next event tries again.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "platform/process.h"
#include "vars/variable.h"

namespace procguard {

enum class WatchEvent {
    SurveillanceStarted,
    NotRunning,
    NotResponding,
    Terminated,
    FailedToTerminate,
    Restarted,
    FailedToRestart,
    Finished,
    Stopped,
    Unhealthy,      // a probe of the target's health failed
    RestartDelayed, // the next start waits: the target ended, or its start failed, too soon
    Dumped,         // a dump of the hung or unhealthy target was written before its termination
    DumpFailed,
};

// One line. A field holding its "none" value is left out of the line.
struct EventRecord {
    WatchEvent event = WatchEvent::SurveillanceStarted;
    std::uint32_t restarts = 0;              // the restart count when the line is written
    ProcessId pid = 0;                       // 0: no process id known
    const wchar_t* probe = nullptr;          // the probe that failed: "heartbeat", "memory", "url", "command"
    std::wstring reason{};                   // why the probe failed, or why a start waits
    std::uint32_t failures = 0;              // failed checks in a row so far; 0: not a probe's outcome
    std::uint32_t failureLimit = 0;          // the failed checks that end the target (console only, not logged)
    std::uint32_t delay = 0;                 // ms a start waits
    std::wstring file{};                     // a dump written
    const std::wstring* arguments = nullptr; // the argument line of a start
    const VariableList* variables = nullptr; // their current values, in list order
    std::wstring error{};                    // what failed, and the system's reason
    const std::wstring* program = nullptr;   // the path a start used; told on the console only
};

// Events go to the file at `path` from now on; an empty path keeps the log off.
void openEventLog(const std::wstring& path);

// Appends the event's line, stamped with the current time, if the log is on.
// The first line that cannot be written is reported on the console, and so is
// the first failure after a line was written again; the other failures of a
// row are silent.
void logEvent(const EventRecord& record);

// The line as written, line end included:
// {"time":"2026-12-07T17:08:09.123Z","event":"restarted","restarts":1,"arguments":"--run 1","variables":{"<Run>":1}}
// "variables" is an object whose keys are the names in list order; a config
// file that repeats a name gives a repeated key.
std::string formatEventLine(const EventRecord& record, std::chrono::system_clock::time_point time);

} // namespace procguard
