// The floor of a check that probes an X11 window: one ping round trip
// (_NET_WM_PING) on an open connection, measured natively.
#pragma once

#include <cstdint>
#include <string>

namespace bench {

struct PingFloor {
    double pingMs = -1;       // CPU time from the send to the pong, median
    double withWakeUpMs = -1; // the same with the wake-up from the sleep before it
};

// Pings the window `window` (which answers pings) on `display` `pings`
// times, each after a sleep of `periodMs` as a check comes, and times each
// round trip in this thread's CPU time. Negative figures when a ping went
// unanswered for five seconds or the display cannot be reached.
PingFloor measurePingFloor(const std::string& display, std::uint32_t window, std::uint32_t periodMs, int pings);

} // namespace bench
