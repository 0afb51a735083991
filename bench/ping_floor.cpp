#include "bench/ping_floor.h"

#include <poll.h>
#include <time.h>
#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "bench/bench_support.h"
#include "tests/programs/posix/x11_client_window.h"

namespace bench {

namespace {

// Sends one ping and waits for its pong, which comes to the root.
bool pingOnce(xcb_connection_t* connection, xcb_window_t window, xcb_atom_t protocols, xcb_atom_t ping,
              std::uint32_t stamp) {
    xcb_client_message_event_t message{};
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = window;
    message.type = protocols;
    message.data.data32[0] = ping;
    message.data.data32[1] = stamp;
    message.data.data32[2] = window;
    xcb_send_event(connection, 0, window, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&message));
    xcb_flush(connection);
    for (;;) {
        while (xcb_generic_event_t* event = xcb_poll_for_event(connection)) {
            const auto* pong = reinterpret_cast<const xcb_client_message_event_t*>(event);
            const bool ours = (event->response_type & 0x7f) == XCB_CLIENT_MESSAGE && pong->type == protocols &&
                              pong->data.data32[1] == stamp && pong->data.data32[2] == window;
            std::free(event);
            if (ours) return true;
        }
        pollfd watched{xcb_get_file_descriptor(connection), POLLIN, 0};
        if (xcb_connection_has_error(connection) != 0 || poll(&watched, 1, 5000) <= 0) return false;
    }
}

} // namespace

PingFloor measurePingFloor(const std::string& display, std::uint32_t window, std::uint32_t periodMs, int pings) {
    xcb_connection_t* connection = xcb_connect(display.c_str(), nullptr);
    if (xcb_connection_has_error(connection) != 0) {
        xcb_disconnect(connection);
        return {};
    }
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
    const xcb_atom_t protocols = x11_client::intern(connection, "WM_PROTOCOLS");
    const xcb_atom_t ping = x11_client::intern(connection, "_NET_WM_PING");
    const std::uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(connection, root, XCB_CW_EVENT_MASK, &mask);
    xcb_flush(connection);

    const timespec pause{0, static_cast<long>(periodMs) * 1000000L};
    std::vector<double> pingNs, wholeNs;
    for (int stamp = 1; stamp <= pings; ++stamp) {
        const std::int64_t asleep = threadCpuNanoseconds();
        nanosleep(&pause, nullptr);
        const std::int64_t begin = threadCpuNanoseconds();
        if (!pingOnce(connection, window, protocols, ping, static_cast<std::uint32_t>(stamp))) break;
        const std::int64_t end = threadCpuNanoseconds();
        pingNs.push_back(static_cast<double>(end - begin));
        wholeNs.push_back(static_cast<double>(end - asleep));
    }
    xcb_disconnect(connection);
    if (static_cast<int>(pingNs.size()) < pings) return {};
    return {median(pingNs) / 1e6, median(wholeNs) / 1e6};
}

} // namespace bench
