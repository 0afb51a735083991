// The soak run of the surveillance checks against the real system, the same
// on every platform: a check period of 0 and a target that ends the moment it
// starts, so the watchdog holds each instance it starts, sees it end, looks
// the target up among all processes, restarts it and lets go of the one
// before, over and over. The platform's test samples what the
// watchdog holds (descriptors, handles, memory, zombies) after the warm-up
// and at the end, and checks that none of it grew.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

#include <gtest/gtest.h>

#include "app/surveillance.h"

namespace procguard::test {

struct SoakPlan {
    std::wstring target; // a program that ends at once
    int warmUpChecks = 0;
    // The soak goes on until it has made this many checks and restarted the
    // target this often (how often a check finds the target gone depends on
    // how fast it starts), within a wall-clock cap that a sanitizer build,
    // which starts every process several times more slowly, gets 4 times.
    int checks = 0;
    std::uint32_t restarts = 0;
    std::chrono::seconds cap{};
};

#ifdef PROCGUARD_SANITIZED_BUILD
inline constexpr int kSoakCapFactor = 4;
#else
inline constexpr int kSoakCapFactor = 1;
#endif

// Runs the soak with the checks' output silenced by a `Quiet` object, calls
// `afterWarmUp` and `atEnd` while it is still silenced, and fails the test
// when the cap came before the counts.
template <typename Quiet>
void runSoak(const SoakPlan& plan, const std::function<void()>& afterWarmUp, const std::function<void()>& atEnd) {
    WatchSettings settings;
    settings.processName = plan.target;
    settings.commandParams = L"--run <N> --left <Left>";
    settings.variables = {Variable(L"<N>", VariableKind::RestartCount, 0, L""),
                          Variable(L"<Left>", VariableKind::RestartCount, -plan.checks, L"")};
    settings.checkPeriod = 0;
    settings.responseTimeout = 1000;

    SurveillanceState state = startingState(settings);
    state.checkPeriod = 0; // below a run's shortest, so that thousands of checks fit the cap
    int checks = 0;
    std::uint32_t restarts = 0;
    const auto cap = plan.cap * kSoakCapFactor;
    std::chrono::duration<double> elapsed{};
    {
        Quiet quiet;
        for (int i = 0; i < plan.warmUpChecks; ++i) runCheck(settings, state);
        afterWarmUp();
        const std::uint32_t warmRestarts = state.restartCount;
        const auto started = std::chrono::steady_clock::now();
        while ((checks < plan.checks || restarts < plan.restarts) && elapsed < cap) {
            runCheck(settings, state);
            ++checks;
            restarts = state.restartCount - warmRestarts;
            elapsed = std::chrono::steady_clock::now() - started;
        }
        atEnd();
    }
    std::printf("soak: %d checks and %u restarts in %.1f s (wanted %d and %u within %lld s)\n", checks, restarts,
                elapsed.count(), plan.checks, plan.restarts, static_cast<long long>(cap.count()));
    ::testing::Test::RecordProperty("checks", checks);
    ::testing::Test::RecordProperty("restarts", static_cast<int>(restarts));
    ::testing::Test::RecordProperty("seconds", static_cast<int>(elapsed.count()));
    EXPECT_GE(checks, plan.checks) << "the cap came first";
    EXPECT_GE(restarts, plan.restarts) << "the cap came first";
}

} // namespace procguard::test
