#include "restart/backoff.h"

#include <algorithm>
#include <cstdio>

namespace procguard {

namespace {

// "0.2 s": spans of a crash loop are short, a tenth of a second says enough.
std::wstring seconds(std::int64_t ms) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", static_cast<double>(ms) / 1000.0);
    return std::wstring(text, text + std::char_traits<char>::length(text)) + L" s";
}

} // namespace

std::uint32_t delayNextStart(Backoff& backoff, const RestartPolicy& policy, std::uint32_t checkPeriod,
                             const LastStart& last, bool terminated, std::int64_t nowMs, std::wstring& why) {
    if (policy.backoffLimit == 0 || !last.made) return 0;
    const std::int64_t ran = nowMs - last.atMs;
    if (!last.failed && ran >= policy.stableRun) {
        backoff.delayMs = 0;
        return 0;
    }
    why = last.failed  ? L"the start failed."
          : terminated ? L"the target was terminated " + seconds(ran) + L" after its start."
                       : L"the target ended " + seconds(ran) + L" after its start.";
    const std::uint64_t doubled = backoff.delayMs == 0 ? std::uint64_t{checkPeriod} : 2ull * backoff.delayMs;
    backoff.delayMs = static_cast<std::uint32_t>(std::min<std::uint64_t>(doubled, policy.backoffLimit));
    if (backoff.delayMs == 0) return 0; // a period of 0 and nothing to double
    backoff.waiting = true;
    backoff.startAtMs = nowMs + backoff.delayMs;
    return backoff.delayMs;
}

bool delayedStartIsDue(Backoff& backoff, std::int64_t nowMs) {
    if (!backoff.waiting) return true;
    if (nowMs < backoff.startAtMs) return false;
    backoff.waiting = false;
    return true;
}

void noteTargetRunning(Backoff& backoff, const RestartPolicy& policy, const LastStart& last, std::int64_t nowMs) {
    backoff.waiting = false; // the target is there: nothing to start
    if (last.made && !last.failed && nowMs - last.atMs >= policy.stableRun) backoff.delayMs = 0;
}

} // namespace procguard
