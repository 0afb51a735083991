// The probes of a running target's health beyond its window, cheapest
// first: the heartbeat file, the resident memory, the URL, the command. The
// first that fails decides; none waits longer than the response timeout,
// and a stop request cuts the slow ones short.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "health/health_checks.h"
#include "platform/held_process.h"

namespace procguard {

struct HealthVerdict {
    const wchar_t* probe = nullptr; // "heartbeat", "memory", "url" or "command"; nullptr: healthy
    std::wstring reason;            // why it failed, for "Process unhealthy: <reason> (...)"
};

// Runs the probes that `checks` asks for on `target`. `heldSince` is when the
// target was started or found: a fresh target gets the whole heartbeat
// timeout. `commandLine` is the health command with its placeholders filled.
HealthVerdict probeHealth(const HealthChecks& checks, const HeldProcess& target,
                          std::chrono::system_clock::time_point heldSince, std::uint32_t responseTimeout,
                          const std::wstring& commandLine);

// Whether any probe is set at all: a target without them costs no more than before.
bool hasHealthProbes(const HealthChecks& checks);

} // namespace procguard
