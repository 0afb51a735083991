#include "platform/posix/x11/ping.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>

namespace procguard::x11 {

namespace {

using Clock = std::chrono::steady_clock;

// poll() takes an int of milliseconds; a long response timeout is waited for
// in slices of this length.
constexpr long long kLongestPollMs = 60'000;

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
        return error->error_code == XCB_WINDOW && error->resource_id == ping.window ? Outcome::Gone : Outcome::Waiting;
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
    default: return Outcome::Waiting;
    }
}

// Waits for the pong until the deadline. Events that xcb has already read
// are taken before each poll(), which only sees what is still in the socket.
bool awaitPong(Connection& connection, const Ping& ping, Clock::time_point deadline) {
    xcb_connection_t* xcb = connection.xcb;
    const int fd = xcb_get_file_descriptor(xcb);
    for (;;) {
        while (xcb_generic_event_t* event = xcb_poll_for_event(xcb)) {
            noteEvent(connection, event);
            const Outcome outcome = examine(event, ping);
            std::free(event);
            if (outcome != Outcome::Waiting) return outcome == Outcome::Answered;
        }
        // The server went away: the window cannot be asked any more, and
        // the next look-up decides about the process.
        if (xcb_connection_has_error(xcb) != 0) return true;
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) return false;
        pollfd watched{fd, POLLIN, 0};
        if (poll(&watched, 1, static_cast<int>(std::min<long long>(left.count(), kLongestPollMs))) < 0 &&
            errno != EINTR) {
            return false;
        }
    }
}

// The roots' substructure events bring the pongs. They stay selected for
// the life of the connection: the server walks every window below a window
// whose selection changes, so a selection for each ping alone would cost
// work that grows with the desktop. What else they bring (windows of the
// desktop created, moved, destroyed) is taken in and dropped at each check.
void watchRoots(Connection& connection) {
    if (connection.watchingRoots) return;
    const std::uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    for (xcb_window_t root : connection.roots) {
        xcb_change_window_attributes(connection.xcb, root, XCB_CW_EVENT_MASK, &mask);
    }
    connection.watchingRoots = true;
}

} // namespace

bool pingWindow(Connection& connection, xcb_window_t window, std::uint32_t timeoutMs) {
    const Ping ping{window, connection.atoms.protocols, connection.atoms.ping, nextPingStamp()};
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    watchRoots(connection);
    xcb_client_message_event_t message{};
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = ping.window;
    message.type = ping.protocols;
    message.data.data32[0] = ping.ping;
    message.data.data32[1] = ping.stamp;
    message.data.data32[2] = ping.window;
    // No event mask: the event goes to the client that created the window.
    xcb_send_event(connection.xcb, 0, ping.window, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&message));
    if (xcb_flush(connection.xcb) <= 0) return true;
    return awaitPong(connection, ping, deadline);
}

} // namespace procguard::x11
