// The one connection to the X server that the window probe keeps for the
// whole run, the window it remembers there, and the window properties the
// probe reads.
//
// A connection costs a round trip and the atoms another; listing the desktop
// costs work in the server for every window on it. A healthy check of a
// remembered window needs none of that: the connection is opened at the
// first check that needs it and kept, and opened again only when the server
// went away or DISPLAY names another display.
//
// The probe runs on one thread, the watchdog's; nothing here is locked.
#pragma once

#include <xcb/xcb.h>

#include <cstdint>
#include <string>
#include <vector>

namespace procguard::x11 {

// Atoms the server does not know (yet) are XCB_ATOM_NONE: no window can carry
// a property of that name, and the probe never creates atoms on someone
// else's server. They are asked for again while they are unknown.
struct Atoms {
    xcb_atom_t pid = XCB_ATOM_NONE;          // _NET_WM_PID
    xcb_atom_t clientList = XCB_ATOM_NONE;   // _NET_CLIENT_LIST
    xcb_atom_t managerCheck = XCB_ATOM_NONE; // _NET_SUPPORTING_WM_CHECK
    xcb_atom_t protocols = XCB_ATOM_NONE;    // WM_PROTOCOLS
    xcb_atom_t ping = XCB_ATOM_NONE;         // _NET_WM_PING
};

// What decides whether a window may be probed in a process's name, and how.
struct WindowFacts {
    bool exists = false;
    std::uint32_t pid = 0;  // _NET_WM_PID; 0 when it carries none
    bool otherHost = false; // WM_CLIENT_MACHINE is set and is not this host's name
    bool listsPing = false; // WM_PROTOCOLS lists _NET_WM_PING
};

// The window found for a process at an earlier check. The connection selects
// its structure and property events, so that its destruction, or a change of
// a property its facts come from, arrives here before any later reply.
struct RememberedWindow {
    xcb_window_t window = XCB_WINDOW_NONE; // none: nothing remembered
    WindowFacts facts;
    bool stale = false; // a property of the facts changed since they were read
};

struct Connection {
    xcb_connection_t* xcb = nullptr;
    std::string display;             // the DISPLAY it was opened for
    std::vector<xcb_window_t> roots; // one per screen, in screen order
    Atoms atoms;
    bool watchingRoots = false; // their substructure events are selected
    RememberedWindow remembered;
};

// The kept connection to the display DISPLAY names now, with every event it
// has received taken in. Opened when there is none, when the server closed
// it, or when DISPLAY changed; the old one is closed and what it remembered
// forgotten. nullptr when DISPLAY is unset or empty or the server cannot be
// reached; the next call tries again.
Connection* currentConnection();

// Asks the server again for the atoms that are still unknown; one round trip,
// none when every atom is known.
void lookUpMissingAtoms(Connection& connection);

// Takes in one event of the connection: the remembered window's destruction
// forgets it, a change of one of its facts' properties marks them stale.
// Every event the connection reads passes here, also those read while a
// ping waits for its pong.
void noteEvent(Connection& connection, const xcb_generic_event_t* event);

// Selects (or with `watch` false, clears) this connection's structure and
// property events on `window`. The selection is this connection's own and
// disturbs no other client.
void watchWindow(Connection& connection, xcb_window_t window, bool watch);

// A window property as read. `windowExists` is false when the server refused
// the read because the window is gone; `type` is XCB_ATOM_NONE when the
// window exists but does not carry the property.
struct Property {
    bool windowExists = false;
    xcb_atom_t type = XCB_ATOM_NONE;
    std::uint8_t format = 0;
    std::vector<std::uint8_t> bytes;
};

// Reads are split into a request and its reply so that a caller can send the
// requests for many windows before waiting for the first reply.
xcb_get_property_cookie_t requestProperty(xcb_connection_t* connection, xcb_window_t window, xcb_atom_t property,
                                          std::uint32_t maxBytes);
Property receiveProperty(xcb_connection_t* connection, xcb_get_property_cookie_t cookie);

// The 32-bit items of a property of type `type` and format 32; empty for a
// property of any other type or format.
std::vector<std::uint32_t> items32(const Property& property, xcb_atom_t type);

// An 8-bit text property without the terminating zeros some clients store.
std::string text8(const Property& property);

} // namespace procguard::x11
