#include "platform/posix/x11/client_windows.h"

#include <limits.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>

namespace procguard::x11 {

namespace {

// Enough for a client list of a quarter of a million windows.
constexpr std::uint32_t kMaxListBytes = 1u << 20;
constexpr std::uint32_t kMaxHostBytes = HOST_NAME_MAX + 1;

std::string hostName() {
    char name[kMaxHostBytes + 1] = {};
    if (gethostname(name, kMaxHostBytes) != 0) return {};
    return name;
}

std::uint32_t pidOf(const Property& pidProperty) {
    const auto pid = items32(pidProperty, XCB_ATOM_CARDINAL);
    return pid.empty() ? 0 : pid[0];
}

bool namesOtherHost(const Property& machine, const std::string& host) {
    return machine.type != XCB_ATOM_NONE && text8(machine) != host;
}

// The client list of the window manager, when one runs. A window manager
// that died leaves its list on the root, so the list counts only while the
// check window it names still exists and names itself.
bool readClientList(const Connection& connection, xcb_window_t root, std::vector<xcb_window_t>& clients) {
    const Atoms& atoms = connection.atoms;
    if (atoms.clientList == XCB_ATOM_NONE || atoms.managerCheck == XCB_ATOM_NONE) return false;
    xcb_connection_t* xcb = connection.xcb;
    const auto checkCookie = requestProperty(xcb, root, atoms.managerCheck, 4);
    const auto listCookie = requestProperty(xcb, root, atoms.clientList, kMaxListBytes);
    const auto check = items32(receiveProperty(xcb, checkCookie), XCB_ATOM_WINDOW);
    const Property list = receiveProperty(xcb, listCookie);
    if (check.empty() || list.type != XCB_ATOM_WINDOW) return false;
    const auto self =
        items32(receiveProperty(xcb, requestProperty(xcb, check[0], atoms.managerCheck, 4)), XCB_ATOM_WINDOW);
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

// The candidates that belong to the process. All requests of a round go out
// before the first reply is awaited, so this costs two round trips however
// many windows there are: every _NET_WM_PID first, then WM_CLIENT_MACHINE of
// the windows that named the process.
std::vector<xcb_window_t> keepOwnedBy(const Connection& connection, const std::vector<xcb_window_t>& candidates,
                                      const std::vector<ProcessId>& owners) {
    const auto ownedByOne = [&owners](const WindowFacts& facts) {
        return std::any_of(owners.begin(), owners.end(), [&facts](ProcessId id) { return belongsTo(facts, id); });
    };
    xcb_connection_t* xcb = connection.xcb;
    std::vector<xcb_get_property_cookie_t> pidCookies;
    for (xcb_window_t candidate : candidates)
        pidCookies.push_back(requestProperty(xcb, candidate, connection.atoms.pid, 4));
    std::vector<xcb_window_t> matches;
    std::vector<WindowFacts> matchFacts;
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        const Property pid = receiveProperty(xcb, pidCookies[i]);
        const WindowFacts facts{.exists = pid.windowExists, .pid = pidOf(pid)};
        if (!ownedByOne(facts)) continue;
        matches.push_back(candidates[i]);
        matchFacts.push_back(facts);
    }

    std::vector<xcb_get_property_cookie_t> machineCookies;
    for (xcb_window_t match : matches) {
        machineCookies.push_back(requestProperty(xcb, match, XCB_ATOM_WM_CLIENT_MACHINE, kMaxHostBytes));
    }
    const std::string host = hostName();
    std::vector<xcb_window_t> owned;
    for (std::size_t i = 0; i < matches.size(); ++i) {
        const Property machine = receiveProperty(xcb, machineCookies[i]);
        matchFacts[i].exists = machine.windowExists;
        matchFacts[i].otherHost = namesOtherHost(machine, host);
        if (ownedByOne(matchFacts[i])) owned.push_back(matches[i]);
    }
    return owned;
}

} // namespace

bool belongsTo(const WindowFacts& facts, ProcessId id) {
    return facts.exists && id != 0 && facts.pid == id && !facts.otherHost;
}

FactsRequest requestFacts(Connection& connection, xcb_window_t window) {
    FactsRequest request;
    request.pid = requestProperty(connection.xcb, window, connection.atoms.pid, 4);
    request.machine = requestProperty(connection.xcb, window, XCB_ATOM_WM_CLIENT_MACHINE, kMaxHostBytes);
    // Asking for the property of an unknown atom would fail the request.
    request.asksProtocols = connection.atoms.protocols != XCB_ATOM_NONE;
    if (request.asksProtocols) {
        request.protocols = requestProperty(connection.xcb, window, connection.atoms.protocols, kMaxProtocolsBytes);
    }
    return request;
}

WindowFacts receiveFacts(Connection& connection, const FactsRequest& request) {
    const Property pid = receiveProperty(connection.xcb, request.pid);
    const Property machine = receiveProperty(connection.xcb, request.machine);
    WindowFacts facts;
    facts.exists = pid.windowExists && machine.windowExists;
    facts.pid = pidOf(pid);
    facts.otherHost = namesOtherHost(machine, hostName());
    if (request.asksProtocols) {
        const auto listed = items32(receiveProperty(connection.xcb, request.protocols), XCB_ATOM_ATOM);
        const xcb_atom_t ping = connection.atoms.ping;
        facts.listsPing = ping != XCB_ATOM_NONE && std::find(listed.begin(), listed.end(), ping) != listed.end();
    }
    return facts;
}

std::vector<xcb_window_t> listOwnedWindows(Connection& connection, ProcessId id) {
    return listOwnedWindows(connection, std::vector<ProcessId>{id});
}

std::vector<xcb_window_t> listOwnedWindows(Connection& connection, const std::vector<ProcessId>& owners) {
    lookUpMissingAtoms(connection);
    if (owners.empty() || connection.atoms.pid == XCB_ATOM_NONE) return {};
    std::vector<xcb_window_t> candidates;
    for (xcb_window_t root : connection.roots) {
        std::vector<xcb_window_t> screenWindows;
        if (!readClientList(connection, root, screenWindows)) screenWindows = readTopLevelWindows(connection.xcb, root);
        candidates.insert(candidates.end(), screenWindows.begin(), screenWindows.end());
    }
    return keepOwnedBy(connection, candidates, owners);
}

std::vector<WindowHandle> listClientWindows(ProcessId id) {
    Connection* connection = currentConnection();
    if (connection == nullptr) return {};
    const std::vector<xcb_window_t> windows = listOwnedWindows(*connection, id);
    return {windows.begin(), windows.end()};
}

} // namespace procguard::x11
