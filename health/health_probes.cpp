#include "health/health_probes.h"

#include <algorithm>

#include "platform/clock.h"
#include "platform/file_time.h"
#include "platform/health_command.h"
#include "platform/http.h"
#include "platform/process_memory.h"

namespace procguard {

namespace {

constexpr std::uint64_t kMebibyte = 1024 * 1024;

// A missing file counts as never modified: only the time since the target
// was held then counts.
HealthVerdict probeHeartbeat(const HealthChecks& checks, std::chrono::system_clock::time_point heldSince) {
    const auto modified = fileModificationTime(checks.heartbeatFile);
    const auto since = modified ? std::max(*modified, heldSince) : heldSince;
    const auto quiet = std::chrono::duration_cast<std::chrono::milliseconds>(wallClockNow() - since).count();
    if (quiet <= static_cast<std::int64_t>(checks.heartbeatTimeout)) return {};
    return {L"heartbeat", L"the heartbeat file " + checks.heartbeatFile +
                              (modified ? L" was not modified for " : L" is missing, for ") + std::to_wstring(quiet) +
                              L" ms (the limit is " + std::to_wstring(checks.heartbeatTimeout) + L" ms)"};
}

// Counters that cannot be read (the process is not held) say nothing against it.
HealthVerdict probeMemory(const HealthChecks& checks, const HeldProcess& target) {
    std::uint64_t bytes = 0;
    if (!readResidentMemory(target, bytes) || bytes <= checks.memoryLimit * kMebibyte) return {};
    return {L"memory", L"resident memory " + std::to_wstring(bytes / kMebibyte) + L" MiB is above the limit of " +
                           std::to_wstring(checks.memoryLimit) + L" MiB"};
}

} // namespace

bool hasHealthProbes(const HealthChecks& checks) {
    return !checks.heartbeatFile.empty() || checks.memoryLimit != 0 || !checks.healthUrl.empty() ||
           !checks.healthCommand.empty();
}

HealthVerdict probeHealth(const HealthChecks& checks, const HeldProcess& target,
                          std::chrono::system_clock::time_point heldSince, std::uint32_t responseTimeout,
                          const std::wstring& commandLine) {
    if (!checks.heartbeatFile.empty()) {
        if (HealthVerdict verdict = probeHeartbeat(checks, heldSince); verdict.probe) return verdict;
    }
    if (checks.memoryLimit != 0) {
        if (HealthVerdict verdict = probeMemory(checks, target); verdict.probe) return verdict;
    }
    if (!checks.healthUrl.empty()) {
        if (const Result answered = probeHealthUrl(checks.healthUrl, responseTimeout); !answered.ok)
            return {L"url", answered.error};
    }
    if (!checks.healthCommand.empty()) {
        if (const Result ran = runHealthCommand(commandLine, responseTimeout); !ran.ok) return {L"command", ran.error};
    }
    return {};
}

} // namespace procguard
