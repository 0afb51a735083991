// The hang probe on X11: the window manager's ping (_NET_WM_PING).
//
// The ping is a WM_PROTOCOLS client message sent to the client's window. A
// client whose event loop runs sends it straight back to the root window,
// where every client that watches the root's substructure receives it, the
// window manager and this probe alike. A pong therefore only counts when it
// carries this probe's own timestamp and the window pinged.
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <memory>

#include "platform/posix/x11/display.h"
#include "platform/posix/x11/windows.h"

namespace procguard::x11 {

namespace {

using Clock = std::chrono::steady_clock;

// poll() takes an int of milliseconds; a long response timeout is waited for
// in slices of this length.
constexpr long long kLongestPollMs = 60'000;
// WM_PROTOCOLS lists a handful of atoms; this reads far more than any client sets.
constexpr std::uint32_t kMaxProtocolsBytes = 256;

struct Ping {
    xcb_window_t window = XCB_WINDOW_NONE;
    xcb_atom_t protocols = XCB_ATOM_NONE;
    xcb_atom_t ping = XCB_ATOM_NONE;
    std::uint32_t stamp = 0;
};

enum class Outcome { Waiting, Answered, Gone };

// Unique per probe of this process. The start differs between processes, so
// two watchdogs probing the same window do not take each other's pongs.
std::uint32_t nextPingStamp() {
    static std::uint32_t last = static_cast<std::uint32_t>(getpid()) * 2654435761u ^
                                static_cast<std::uint32_t>(Clock::now().time_since_epoch().count());
    do {
        ++last;
    } while (last == XCB_CURRENT_TIME);
    return last;
}

Outcome examine(const xcb_generic_event_t* event, const Ping& ping) {
    switch (event->response_type & 0x7f) {
    case 0: {
        // The window went away before the requests about it were served.
        const auto* error = reinterpret_cast<const xcb_generic_error_t*>(event);
        return error->error_code == XCB_WINDOW && error->resource_id == ping.window ? Outcome::Gone
                                                                                    : Outcome::Waiting;
    }
    case XCB_DESTROY_NOTIFY: {
        const auto* destroyed = reinterpret_cast<const xcb_destroy_notify_event_t*>(event);
        return destroyed->window == ping.window ? Outcome::Gone : Outcome::Waiting;
    }
    case XCB_CLIENT_MESSAGE: {
        const auto* message = reinterpret_cast<const xcb_client_message_event_t*>(event);
        const bool ours = message->format == 32 && message->type == ping.protocols &&
                          message->data.data32[0] == ping.ping && message->data.data32[1] == ping.stamp &&
                          message->data.data32[2] == ping.window;
        return ours ? Outcome::Answered : Outcome::Waiting;
    }
    default:
        return Outcome::Waiting;
    }
}

// Waits for the pong until the deadline. Events that xcb has already read
// are taken before each poll(), which only sees what is still in the socket.
bool awaitPong(xcb_connection_t* connection, const Ping& ping, Clock::time_point deadline) {
    const int fd = xcb_get_file_descriptor(connection);
    for (;;) {
        while (xcb_generic_event_t* event = xcb_poll_for_event(connection)) {
            const Outcome outcome = examine(event, ping);
            std::free(event);
            if (outcome != Outcome::Waiting) return outcome == Outcome::Answered;
        }
        // The server went away: the window cannot be asked any more, and
        // the next look-up decides about the process.
        if (xcb_connection_has_error(connection) != 0) return true;
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) return false;
        pollfd watched {fd, POLLIN, 0};
        if (poll(&watched, 1, static_cast<int>(std::min<long long>(left.count(), kLongestPollMs))) < 0 && errno != EINTR) {
            return false;
        }
    }
}

} // namespace

bool answersPing(WindowHandle handle, std::uint32_t timeoutMs) {
    DisplayScope scope;
    if (!scope.open) return true;
    xcb_connection_t* connection = scope.display.connection;

    Ping ping;
    ping.window = static_cast<xcb_window_t>(handle);
    if (ping.window != handle) return false; // no X resource id is that large
    const auto atoms = lookUpAtoms(connection, {"WM_PROTOCOLS", "_NET_WM_PING"});
    ping.protocols = atoms[0];
    ping.ping = atoms[1];

    // Where the window lives, and whether it takes part in the ping at all.
    const xcb_query_tree_cookie_t treeCookie = xcb_query_tree(connection, ping.window);
    std::unique_ptr<xcb_query_tree_reply_t, decltype(&std::free)> tree(
        xcb_query_tree_reply(connection, treeCookie, nullptr), &std::free);
    if (!tree) return false;
    if (ping.protocols == XCB_ATOM_NONE || ping.ping == XCB_ATOM_NONE) return true;
    const Property protocols = receiveProperty(connection, requestProperty(connection, ping.window, ping.protocols, kMaxProtocolsBytes));
    if (!protocols.windowExists) return false;
    const auto listed = items32(protocols, XCB_ATOM_ATOM);
    if (std::find(listed.begin(), listed.end(), ping.ping) == listed.end()) return true;

    // The event masks are this connection's own and disturb no other client:
    // substructure events of the root bring the pong, structure events of
    // the window its destruction during the wait.
    const std::uint32_t rootMask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    const std::uint32_t windowMask = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
    xcb_change_window_attributes(connection, tree->root, XCB_CW_EVENT_MASK, &rootMask);
    xcb_change_window_attributes(connection, ping.window, XCB_CW_EVENT_MASK, &windowMask);

    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    ping.stamp = nextPingStamp();
    xcb_client_message_event_t message {};
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = ping.window;
    message.type = ping.protocols;
    message.data.data32[0] = ping.ping;
    message.data.data32[1] = ping.stamp;
    message.data.data32[2] = ping.window;
    // No event mask: the event goes to the client that created the window.
    xcb_send_event(connection, 0, ping.window, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&message));
    if (xcb_flush(connection) <= 0) return true;
    return awaitPong(connection, ping, deadline);
}

} // namespace procguard::x11

