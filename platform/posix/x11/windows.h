// The X11 side of the window probe: which top-level windows a process owns,
// and whether one of them answers a ping.
//
// X does not know which process owns a window. A client says so itself with
// the _NET_WM_PID property, and names its host with WM_CLIENT_MACHINE, so a
// window counts as the process's when its _NET_WM_PID is the process id and
// any WM_CLIENT_MACHINE it carries is this host's name (a client on another
// machine may run under the same id). Windows without _NET_WM_PID are never
// found, and a process without a window counts as healthy.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/platform.h"

namespace procguard::x11 {

// The process's client windows in the window manager's order
// (_NET_CLIENT_LIST) while an EWMH window manager runs, otherwise in the
// stacking order of the root's children, bottom first. Unmapped windows
// are included when there is no window manager. Empty without a display.
std::vector<WindowHandle> listClientWindows(ProcessId id);

// The first of those windows that still exists and still belongs to the
// process when it is checked again; 0 if none.
WindowHandle findClientWindow(ProcessId id);

// Pings the window (_NET_WM_PING) and waits at most `timeoutMs` for the pong.
// True when it answered, and also when it cannot be pinged: a window that
// does not list _NET_WM_PING in WM_PROTOCOLS, or no display to ask. False on
// time-out and for a window that no longer exists.
bool answersPing(WindowHandle window, std::uint32_t timeoutMs);

} // namespace procguard::x11

