// Which top-level X11 windows a process owns.
//
// X does not know which process owns a window. A client says so itself with
// the _NET_WM_PID property, and names its host with WM_CLIENT_MACHINE, so a
// window counts as the process's when its _NET_WM_PID is the process id and
// any WM_CLIENT_MACHINE it carries is this host's name (a client on another
// machine may run under the same id). Windows without _NET_WM_PID are never
// found, and a process without a window counts as healthy.
#pragma once

#include <vector>

#include "platform/window.h"
#include "platform/posix/x11/connection.h"

namespace procguard::x11 {

// WM_PROTOCOLS lists a handful of atoms; this reads far more than any client sets.
inline constexpr std::uint32_t kMaxProtocolsBytes = 256;

// Whether a window with these facts is one of process `id`'s: the one
// question every window is asked before it is probed in that name.
bool belongsTo(const WindowFacts& facts, ProcessId id);

// The requests for a window's facts, and their replies: one round trip for
// any number of windows. The caller has looked up the atoms, and takes the
// reply of every request it made.
struct FactsRequest {
    xcb_get_property_cookie_t pid{};
    xcb_get_property_cookie_t machine{};
    xcb_get_property_cookie_t protocols{};
    bool asksProtocols = false; // false while WM_PROTOCOLS is an unknown atom
};
FactsRequest requestFacts(Connection& connection, xcb_window_t window);
WindowFacts receiveFacts(Connection& connection, const FactsRequest& request);

// The process's client windows in the window manager's order
// (_NET_CLIENT_LIST) while an EWMH window manager runs, otherwise in the
// stacking order of the root's children, bottom first. Unmapped windows are
// included when there is no window manager. Reads a property of every
// top-level window on the display: only for a process without a remembered
// window.
std::vector<xcb_window_t> listOwnedWindows(Connection& connection, ProcessId id);

// The same for the windows that any process of `owners` owns.
std::vector<xcb_window_t> listOwnedWindows(Connection& connection, const std::vector<ProcessId>& owners);

// The same on the kept connection, as handles; empty without a display.
std::vector<WindowHandle> listClientWindows(ProcessId id);

} // namespace procguard::x11
