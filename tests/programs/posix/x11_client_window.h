// The top-level window of an X11 client as the test programs and the window
// benchmark make it: _NET_WM_PID and WM_CLIENT_MACHINE set as toolkits set
// them, WM_DELETE_WINDOW and, for a window that answers, _NET_WM_PING among
// its protocols. Header only: each program is a single file.
#pragma once

#include <limits.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace x11_client {

inline xcb_atom_t intern(xcb_connection_t* connection, const char* name) {
    xcb_intern_atom_reply_t* reply =
        xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 0, std::strlen(name), name), nullptr);
    const xcb_atom_t atom = reply != nullptr ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
    std::free(reply);
    return atom;
}

struct Atoms {
    xcb_atom_t pid, protocols, deleteWindow, ping;
};

inline Atoms internAtoms(xcb_connection_t* connection) {
    return {intern(connection, "_NET_WM_PID"), intern(connection, "WM_PROTOCOLS"),
            intern(connection, "WM_DELETE_WINDOW"), intern(connection, "_NET_WM_PING")};
}

// Made, not yet mapped.
inline xcb_window_t createWindow(xcb_connection_t* connection, const xcb_screen_t* screen, const Atoms& atoms,
                                 std::uint16_t width, std::uint16_t height, bool answersPing) {
    const xcb_window_t window = xcb_generate_id(connection);
    xcb_create_window(connection, XCB_COPY_FROM_PARENT, window, screen->root, 0, 0, width, height, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, 0, nullptr);
    const std::uint32_t pid = static_cast<std::uint32_t>(getpid());
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, window, atoms.pid, XCB_ATOM_CARDINAL, 32, 1, &pid);
    char host[HOST_NAME_MAX + 1] = {};
    gethostname(host, HOST_NAME_MAX);
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_CLIENT_MACHINE, XCB_ATOM_STRING, 8,
                        std::strlen(host), host);
    std::vector<xcb_atom_t> protocols{atoms.deleteWindow};
    if (answersPing) protocols.push_back(atoms.ping);
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, window, atoms.protocols, XCB_ATOM_ATOM, 32, protocols.size(),
                        protocols.data());
    return window;
}

} // namespace x11_client
