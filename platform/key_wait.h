// Waiting for a key on the console keyboard, not the input stream.
#pragma once

namespace procguard {

// Drops keystrokes typed before the call, then waits for one more keystroke
// and drops it. Returns at once when there is no keyboard (no console, no
// controlling terminal), so an unattended watchdog never waits forever.
void waitForKeystroke();

} // namespace procguard
