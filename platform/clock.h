// The two clocks: one for measuring spans, one for stamping log lines.
#pragma once

#include <chrono>
#include <cstdint>

namespace procguard {

// Milliseconds of a clock that never jumps (not the wall clock); only
// differences mean anything.
std::int64_t monotonicMilliseconds();

// The current time for event log lines.
std::chrono::system_clock::time_point wallClockNow();

} // namespace procguard
