// Stop requests on Linux. SIGINT, SIGTERM and SIGHUP set a flag and write a
// byte to a pipe that nobody reads; every wait polls that pipe beside what it
// waits for. A signal that arrives just before a wait begins is therefore not
// lost (its byte is already there), and once a stop is requested every later
// wait ends at once.
#pragma once

namespace procguard {

// Installs the handlers, except for a signal the watchdog was started with
// ignored (nohup): that one stays ignored. Does nothing the second time.
void installStopHandlers();

enum class WaitOutcome { Ready, Stopped, TimedOut };

// Waits until `fd` is readable (or at its end, or not open), a stop is
// requested, or `timeoutMs` has passed (-1: no limit). With `fd` -1 only the
// stop and the time count.
WaitOutcome waitForInputOrStop(int fd, long long timeoutMs);

// The read end of the stop pipe, for a wait that polls on its own (libcurl's):
// readable once a stop was requested, and from then on. -1 before
// installStopHandlers, or when the pipe could not be made.
int stopWakeDescriptor();

} // namespace procguard
