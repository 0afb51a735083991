// The hang probe on X11: the window manager's ping (_NET_WM_PING).
//
// The ping is a WM_PROTOCOLS client message sent to the client's window. A
// client whose event loop runs sends it straight back to the root window,
// where every client that watches the root's substructure receives it, the
// window manager and this probe alike. A pong therefore only counts when it
// carries this probe's own timestamp and the window pinged.
#pragma once

#include <cstdint>

#include "platform/posix/x11/connection.h"

namespace procguard::x11 {

// Pings `window`, which lists _NET_WM_PING and whose structure events the
// connection already selects, and waits at most `timeoutMs` for the pong. True when it answered, and when the server went away meanwhile (the
// next look-up decides about the process). False on time-out and when the
// window turned out to be gone.
bool pingWindow(Connection& connection, xcb_window_t window, std::uint32_t timeoutMs);

} // namespace procguard::x11
