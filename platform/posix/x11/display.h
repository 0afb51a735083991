// A short-lived connection to the X display, and the window properties the
// window probe reads.
//
// Every operation of the window probe opens its own connection and closes it
// before returning: the probe runs once per check period, a connection costs
// one round trip, and nothing then has to notice a display that went away
// between two checks.
#pragma once

#include <xcb/xcb.h>

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace procguard::x11 {

struct Display {
    xcb_connection_t* connection = nullptr;
    std::vector<xcb_window_t> roots; // one per screen, in screen order
};

// Connects to the display that DISPLAY names. False, with nothing to close,
// when DISPLAY is unset or empty or the server cannot be reached.
bool openDisplay(Display& display);

void closeDisplay(Display& display);

// Closes the display when the scope ends.
struct DisplayScope {
    Display display;
    bool open = openDisplay(display);
    DisplayScope() = default;
    ~DisplayScope() { closeDisplay(display); }
    DisplayScope(const DisplayScope&) = delete;
    DisplayScope& operator=(const DisplayScope&) = delete;
};

// The atoms for `names`, in one round trip, in the same order. An atom the
// server does not know yet is XCB_ATOM_NONE: no window can carry a property
// of that name, and the probe never creates atoms on someone else's server.
std::vector<xcb_atom_t> lookUpAtoms(xcb_connection_t* connection, std::initializer_list<const char*> names);

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
xcb_get_property_cookie_t requestProperty(xcb_connection_t* connection, xcb_window_t window,
                                          xcb_atom_t property, std::uint32_t maxBytes);
Property receiveProperty(xcb_connection_t* connection, xcb_get_property_cookie_t cookie);

// The 32-bit items of a property of type `type` and format 32; empty for a
// property of any other type or format.
std::vector<std::uint32_t> items32(const Property& property, xcb_atom_t type);

// An 8-bit text property without the terminating zeros some clients store.
std::string text8(const Property& property);

} // namespace procguard::x11

