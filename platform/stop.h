// Stop requests, and the waits they cut short.
#pragma once

#include <cstdint>

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

} // namespace procguard
