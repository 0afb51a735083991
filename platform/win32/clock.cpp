// The clocks on Windows.
#include "platform/clock.h"

#include <windows.h>

namespace procguard {

std::int64_t monotonicMilliseconds() { return static_cast<std::int64_t>(GetTickCount64()); }

std::chrono::system_clock::time_point wallClockNow() { return std::chrono::system_clock::now(); }

} // namespace procguard
