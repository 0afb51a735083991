// Stop requests on Windows: what initializePlatform installs, and the wait
// the key wait and the console read use.
#pragma once

#include <windows.h>

namespace procguard {

// Installs the console control handler and the hidden window that hears of
// the session's end. Does nothing the second time.
void installStopHandlers();

// Waits up to `ms` milliseconds for a stop request; true when there is one.
bool waitForStop(unsigned long ms);

// The event a stop request sets (manual reset: it stays set), for a wait on
// it beside other handles; null before installStopHandlers.
HANDLE stopEvent();

} // namespace procguard
