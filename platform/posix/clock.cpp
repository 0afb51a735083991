// The clocks on Linux.
#include "platform/clock.h"

#include <time.h>

namespace procguard {

std::int64_t monotonicMilliseconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

std::chrono::system_clock::time_point wallClockNow() { return std::chrono::system_clock::now(); }

} // namespace procguard
