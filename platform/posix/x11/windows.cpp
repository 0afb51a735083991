#include "platform/posix/x11/windows.h"

#include <limits.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "platform/posix/x11/display.h"

namespace procguard::x11 {

namespace {

// Enough for a client list of a quarter of a million windows.
constexpr std::uint32_t kMaxListBytes = 1u << 20;
constexpr std::uint32_t kMaxHostBytes = HOST_NAME_MAX + 1;

struct ListingAtoms {
    xcb_atom_t pid = XCB_ATOM_NONE;
    xcb_atom_t clientList = XCB_ATOM_NONE;
    xcb_atom_t managerCheck = XCB_ATOM_NONE;
};

ListingAtoms lookUpListingAtoms(xcb_connection_t* connection) {
    const auto atoms = lookUpAtoms(connection, {"_NET_WM_PID", "_NET_CLIENT_LIST", "_NET_SUPPORTING_WM_CHECK"});
    return {atoms[0], atoms[1], atoms[2]};
}

std::string hostName() {
    char name[kMaxHostBytes + 1] = {};
    if (gethostname(name, kMaxHostBytes) != 0) return {};
    return name;
}

// The client list of the window manager, when one runs. A window manager
// that died leaves its list on the root, so the list counts only while the
// check window it names still exists and names itself.
bool readClientList(xcb_connection_t* connection, xcb_window_t root, const ListingAtoms& atoms,
                    std::vector<xcb_window_t>& clients) {
    if (atoms.clientList == XCB_ATOM_NONE || atoms.managerCheck == XCB_ATOM_NONE) return false;
    const auto checkCookie = requestProperty(connection, root, atoms.managerCheck, 4);
    const auto listCookie = requestProperty(connection, root, atoms.clientList, kMaxListBytes);
    const auto check = items32(receiveProperty(connection, checkCookie), XCB_ATOM_WINDOW);
    const Property list = receiveProperty(connection, listCookie);
    if (check.empty() || list.type != XCB_ATOM_WINDOW) return false;
    const auto self =
        items32(receiveProperty(connection, requestProperty(connection, check[0], atoms.managerCheck, 4)),
                XCB_ATOM_WINDOW);
    if (self.empty() || self[0] != check[0]) return false;
    clients = items32(list, XCB_ATOM_WINDOW);
    return true;
}

std::vector<xcb_window_t> childrenOf(xcb_connection_t* connection, xcb_query_tree_cookie_t cookie) {
    std::unique_ptr<xcb_query_tree_reply_t, decltype(&std::free)> reply(
        xcb_query_tree_reply(connection, cookie, nullptr), &std::free);
    if (!reply) return {};
    const xcb_window_t* children = xcb_query_tree_children(reply.get());
    return {children, children + xcb_query_tree_children_length(reply.get())};
}

// Without a window manager the root's children are the client windows
// themselves. A reparenting window manager that keeps no client list puts
// each client into a frame, so each child is followed by its own children.
std::vector<xcb_window_t> readTopLevelWindows(xcb_connection_t* connection, xcb_window_t root) {
    const std::vector<xcb_window_t> children = childrenOf(connection, xcb_query_tree(connection, root));
    std::vector<xcb_query_tree_cookie_t> cookies;
    for (xcb_window_t child : children) cookies.push_back(xcb_query_tree(connection, child));
    std::vector<xcb_window_t> windows;
    for (std::size_t i = 0; i < children.size(); ++i) {
        windows.push_back(children[i]);
        for (xcb_window_t inner : childrenOf(connection, cookies[i])) windows.push_back(inner);
    }
    return windows;
}

bool hasProcessId(const Property& pidProperty, ProcessId id) {
    const auto pid = items32(pidProperty, XCB_ATOM_CARDINAL);
    return !pid.empty() && pid[0] == id;
}

// The candidates whose _NET_WM_PID is `id` and whose WM_CLIENT_MACHINE, if
// set, is this host. All requests of a round go out before the first reply
// is awaited, so the listing costs two round trips however many windows
// there are.
std::vector<xcb_window_t> keepOwnedBy(xcb_connection_t* connection, const std::vector<xcb_window_t>& candidates,
                                      xcb_atom_t pidAtom, ProcessId id) {
    std::vector<xcb_get_property_cookie_t> pidCookies;
    for (xcb_window_t window : candidates) pidCookies.push_back(requestProperty(connection, window, pidAtom, 4));
    std::vector<xcb_window_t> matches;
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        if (hasProcessId(receiveProperty(connection, pidCookies[i]), id)) matches.push_back(candidates[i]);
    }

    std::vector<xcb_get_property_cookie_t> machineCookies;
    for (xcb_window_t window : matches) {
        machineCookies.push_back(requestProperty(connection, window, XCB_ATOM_WM_CLIENT_MACHINE, kMaxHostBytes));
    }
    const std::string host = hostName();
    std::vector<xcb_window_t> owned;
    for (std::size_t i = 0; i < matches.size(); ++i) {
        const Property machine = receiveProperty(connection, machineCookies[i]);
        if (!machine.windowExists) continue;
        if (machine.type != XCB_ATOM_NONE && text8(machine) != host) continue;
        owned.push_back(matches[i]);
    }
    return owned;
}

std::vector<xcb_window_t> processWindows(const Display& display, const ListingAtoms& atoms, ProcessId id) {
    if (id == 0 || atoms.pid == XCB_ATOM_NONE) return {};
    std::vector<xcb_window_t> candidates;
    for (xcb_window_t root : display.roots) {
        std::vector<xcb_window_t> screenWindows;
        if (!readClientList(display.connection, root, atoms, screenWindows)) {
            screenWindows = readTopLevelWindows(display.connection, root);
        }
        candidates.insert(candidates.end(), screenWindows.begin(), screenWindows.end());
    }
    return keepOwnedBy(display.connection, candidates, atoms.pid, id);
}

} // namespace

std::vector<WindowHandle> listClientWindows(ProcessId id) {
    DisplayScope scope;
    if (!scope.open) return {};
    const auto windows = processWindows(scope.display, lookUpListingAtoms(scope.display.connection), id);
    return {windows.begin(), windows.end()};
}

WindowHandle findClientWindow(ProcessId id) {
    DisplayScope scope;
    if (!scope.open) return 0;
    xcb_connection_t* connection = scope.display.connection;
    const ListingAtoms atoms = lookUpListingAtoms(connection);
    // A window can be destroyed, and its id even reused by another client,
    // between the listing and the walk: each one is asked again.
    for (xcb_window_t window : processWindows(scope.display, atoms, id)) {
        if (hasProcessId(receiveProperty(connection, requestProperty(connection, window, atoms.pid, 4)), id)) {
            return window;
        }
    }
    return 0;
}

} // namespace procguard::x11

