// The back-off of a crash loop. A start that fails, or a target that ends
// (or is terminated) soon after its start, makes the next start wait: one
// check period the first time, twice as long each time after, up to the
// limit. A target that runs long enough clears it. While a start waits the
// checks go on; a delayed start is no restart and is not counted.
#pragma once

#include <cstdint>
#include <string>

#include "restart/restart_policy.h"

namespace procguard {

struct Backoff {
    std::uint32_t delayMs = 0;  // the last delay given; 0: none since the target last ran long enough
    std::int64_t startAtMs = 0; // while `waiting`: no start before this moment (monotonic)
    bool waiting = false;       // a start is delayed
};

// How the target that is to be started again fared the last time.
struct LastStart {
    bool made = false;     // the watchdog started it at least once
    bool failed = false;   // the last start failed
    std::int64_t atMs = 0; // when the last start was made (monotonic)
};

// Called when the target is found missing, or was terminated (`terminated`),
// at `nowMs`. Returns the delay of the next start, 0 when it may be made now;
// a delay is to be told, with `why` saying what earned it.
std::uint32_t delayNextStart(Backoff& backoff, const RestartPolicy& policy, std::uint32_t checkPeriod,
                             const LastStart& last, bool terminated, std::int64_t nowMs, std::wstring& why);

// Whether a delayed start may be made at `nowMs`; ends the wait when it may.
bool delayedStartIsDue(Backoff& backoff, std::int64_t nowMs);

// A target that has been running since `last` for the stable run clears the
// delay, so that its next end starts it again at once.
void noteTargetRunning(Backoff& backoff, const RestartPolicy& policy, const LastStart& last, std::int64_t nowMs);

} // namespace procguard
