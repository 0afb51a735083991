// Stop requests, and the waits they cut short.
#pragma once

#include <cstdint>

#include "platform/held_process.h"

namespace procguard {

// Whether the user or the system asked the watchdog to stop: Ctrl+C, SIGTERM or
// SIGHUP on Linux; Ctrl+C, Ctrl+Break, closing the console, logoff or shutdown
// on Windows. Once true it stays true. From then on sleepMilliseconds and
// waitForKeystroke return at once, also when the stop arrives while they
// wait, and readConsoleInput reports the end of input. initializePlatform
// installs what catches these; before it they act as they always do.
bool stopRequested();

// Waits `ms` milliseconds, or less when a stop is requested.
void sleepMilliseconds(std::uint32_t ms);

// How a wait for the check period ended.
enum class PeriodEnd { TimePassed, Stopped, TargetEnded };

// Waits `ms` milliseconds like sleepMilliseconds, but also ends as soon as
// the held process `target` ends (Linux: ppoll on the stop pipe and the
// pidfd; Windows: WaitForMultipleObjects on the stop event and the process
// handle). A stop request wins over a target that ends at the same time; a
// target that has already ended ends the wait at once. Without a handle
// (id 0, or known by its id only) it is sleepMilliseconds.
PeriodEnd waitForCheckPeriod(std::uint32_t ms, const HeldProcess& target);

} // namespace procguard
