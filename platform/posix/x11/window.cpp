// Windows of a process on Linux: the top-level X11 windows that name the
// process in _NET_WM_PID, probed with the window manager's ping. Run without
// a reachable X display, no process has a window, so a running target always
// counts as healthy, as a console program does on Windows.
//
// The window found is remembered on the kept connection, and later checks
// use it without listing the desktop for as long as it exists and still
// belongs to the target: the process asked about or, for a target held
// with its tree, a process of its group. The connection selects the window's
// structure and property events before it asks for the window's facts the
// last time, so from then on its destruction, and any change of the
// properties that say whose it is, arrive as events; every check takes them
// in before it answers. A window's id goes to a new window only once the old
// one is destroyed, and the server sends the destruction to the connection
// before it makes the new window.
#include <algorithm>
#include <cstdlib>
#include <memory>

#include "platform/window.h"
#include "platform/posix/x11/client_windows.h"
#include "platform/posix/x11/connection.h"
#include "platform/posix/x11/ping.h"

namespace procguard {

namespace {

using namespace x11;

void forgetRemembered(Connection& connection) {
    if (connection.remembered.window != XCB_WINDOW_NONE) watchWindow(connection, connection.remembered.window, false);
    connection.remembered = {};
}

// Asks for the remembered window's facts again after one of their properties
// changed. A window that is gone is forgotten: it sends no more events.
void refreshRemembered(Connection& connection) {
    RememberedWindow& remembered = connection.remembered;
    lookUpMissingAtoms(connection);
    remembered.facts = receiveFacts(connection, requestFacts(connection, remembered.window));
    remembered.stale = false;
    if (!remembered.facts.exists) remembered = {};
}

// Whether a window with these facts is the target's: the held process's
// own, or, for a target held with its tree, one of a process of its group.
bool belongsToTarget(const WindowFacts& facts, const HeldProcess& target) {
    if (belongsTo(facts, target.id)) return true;
    return target.tree != -1 && belongsTo(facts, facts.pid) && treeContains(target, facts.pid);
}

// The first owned window that still belongs to the target once its events
// are selected. A window can be destroyed, and its id even reused by another
// client, between the listing and this look; each one is asked again.
bool rememberWindowOf(Connection& connection, const HeldProcess& target) {
    // The tree is listed only here, for a target without a remembered window.
    for (xcb_window_t window : listOwnedWindows(connection, listTreeProcesses(target))) {
        watchWindow(connection, window, true);
        const WindowFacts facts = receiveFacts(connection, requestFacts(connection, window));
        if (belongsToTarget(facts, target)) {
            connection.remembered = {window, facts, false};
            return true;
        }
        if (facts.exists) watchWindow(connection, window, false);
    }
    return false;
}

// A window that was not found by the last look-up: where it lives, and
// whether it takes part in the ping at all, are asked first.
bool probeOtherWindow(Connection& connection, xcb_window_t window, std::uint32_t timeoutMs) {
    lookUpMissingAtoms(connection);
    const Atoms& atoms = connection.atoms;
    // Selected before the questions, so that a destruction after them shows.
    watchWindow(connection, window, true);
    const xcb_query_tree_cookie_t treeCookie = xcb_query_tree(connection.xcb, window);
    std::unique_ptr<xcb_query_tree_reply_t, decltype(&std::free)> tree(
        xcb_query_tree_reply(connection.xcb, treeCookie, nullptr), &std::free);
    if (!tree) return false;
    bool answers = true;
    if (atoms.protocols != XCB_ATOM_NONE && atoms.ping != XCB_ATOM_NONE) {
        const Property protocols = receiveProperty(
            connection.xcb, requestProperty(connection.xcb, window, atoms.protocols, kMaxProtocolsBytes));
        const auto listed = items32(protocols, XCB_ATOM_ATOM);
        if (!protocols.windowExists) {
            answers = false;
        } else if (std::find(listed.begin(), listed.end(), atoms.ping) != listed.end()) {
            answers = pingWindow(connection, window, timeoutMs);
        }
    }
    watchWindow(connection, window, false);
    return answers;
}

} // namespace

WindowHandle findTargetWindow(const HeldProcess& target) {
    Connection* connection = currentConnection();
    if (connection == nullptr) return 0;
    RememberedWindow& remembered = connection->remembered;
    if (remembered.window != XCB_WINDOW_NONE && remembered.stale) refreshRemembered(*connection);
    if (remembered.window != XCB_WINDOW_NONE && belongsToTarget(remembered.facts, target)) return remembered.window;
    forgetRemembered(*connection);
    return target.id != 0 && rememberWindowOf(*connection, target) ? remembered.window : 0;
}

WindowHandle findProcessWindow(ProcessId id) { return findTargetWindow(HeldProcess{id}); }

ProcessId windowOwner(WindowHandle handle) {
    Connection* connection = currentConnection();
    const auto window = static_cast<xcb_window_t>(handle);
    if (connection == nullptr || window != handle) return 0;
    if (connection->remembered.window == window && !connection->remembered.stale)
        return connection->remembered.facts.exists ? connection->remembered.facts.pid : 0;
    lookUpMissingAtoms(*connection);
    const WindowFacts facts = receiveFacts(*connection, requestFacts(*connection, window));
    return facts.exists ? facts.pid : 0;
}

bool windowAnswers(WindowHandle handle, std::uint32_t timeoutMs) {
    Connection* connection = currentConnection();
    if (connection == nullptr) return true; // nothing to ask: cannot be probed
    const auto window = static_cast<xcb_window_t>(handle);
    if (window != handle) return false; // no X resource id is that large
    RememberedWindow& remembered = connection->remembered;
    if (remembered.window == window && remembered.stale) refreshRemembered(*connection);
    if (remembered.window != window) return probeOtherWindow(*connection, window, timeoutMs);
    // A window that does not list _NET_WM_PING cannot be probed.
    return !remembered.facts.listsPing || pingWindow(*connection, window, timeoutMs);
}

} // namespace procguard
