// A soak run of the surveillance checks against the real system: a check
// period of 0 and a target that ends the moment it starts, so the watchdog
// holds each instance it starts, sees it end, enumerates the processes,
// restarts the target and lets go of the ended one, over and over.
// After many checks the watchdog must hold as many handles and as large a
// working set as it did after the warm-up.
#include <windows.h>
#include <psapi.h>

#include <chrono>
#include <cstdint>
#include <cstdio>

#include <gtest/gtest.h>

#include "app/surveillance.h"
#include "win32/process_support.h"

namespace procguard {
namespace {

// Starting a process costs far more here than natively, so fewer restarts
// fit into a test run; a handle leaked per start still shows as hundreds. A
// check finds the target still starting or already gone depending on how
// fast it starts; the soak goes on until it has restarted it this often.
constexpr int kWarmUpChecks = 50;
constexpr int kSoakChecks = 1000;
constexpr std::uint32_t kSoakRestarts = 150;
// Checks while an instance still runs cost almost nothing; what bounds the
// soak is time, on a machine as busy as it may be.
constexpr std::chrono::seconds kLongestSoak {180};
constexpr SIZE_T kWorkingSetSlackKiB = 512;

struct Sample {
    DWORD handles = 0;
    SIZE_T workingSetKiB = 0;
};

DWORD openHandles() {
    DWORD count = 0;
    if (GetProcessHandleCount(GetCurrentProcess(), &count) && count != 0) return count;
    // Some systems (Wine among them) give no count: ask about every handle
    // value the table can hold at this size instead.
    for (std::uintptr_t value = 4; value < 65536; value += 4) {
        DWORD flags = 0;
        if (GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) ++count;
    }
    return count;
}

Sample sample() {
    Sample s;
    s.handles = openHandles();
    PROCESS_MEMORY_COUNTERS counters {};
    counters.cb = sizeof counters;
    if (GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters))
        s.workingSetKiB = counters.WorkingSetSize / 1024;
    return s;
}

// The checks print two lines per restart; they go to NUL while the soak
// runs, and the figures to the real output afterwards.
class QuietOutput {
public:
    QuietOutput()
        : saved_(GetStdHandle(STD_OUTPUT_HANDLE)),
          null_(CreateFileW(L"NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                            nullptr)) {
        if (null_ != INVALID_HANDLE_VALUE) SetStdHandle(STD_OUTPUT_HANDLE, null_);
    }
    ~QuietOutput() {
        SetStdHandle(STD_OUTPUT_HANDLE, saved_);
        if (null_ != INVALID_HANDLE_VALUE) CloseHandle(null_);
    }

private:
    HANDLE saved_;
    HANDLE null_;
};

TEST(Soak, ManyRestartsLeaveHandlesAndWorkingSetFlat) {
    const std::wstring target = test::testProgramPath(L"exit_at_once");
    WatchSettings settings;
    settings.processName = target;
    settings.commandParams = L"--run <N> --left <Left>";
    settings.variables = {Variable(L"<N>", VariableKind::RestartCount, 0, L""),
                          Variable(L"<Left>", VariableKind::RestartCount, -kSoakChecks, L"")};
    settings.checkPeriod = 0;
    settings.responseTimeout = 1000;

    SurveillanceState state;
    Sample before;
    Sample after;
    std::uint32_t warmRestarts = 0;
    int checks = 0;
    std::chrono::duration<double> elapsed {};
    {
        QuietOutput quiet;
        for (int i = 0; i < kWarmUpChecks; ++i) ASSERT_FALSE(runCheck(settings, state));
        before = sample();
        warmRestarts = state.restartCount;
        const auto started = std::chrono::steady_clock::now();
        while ((checks < kSoakChecks || state.restartCount - warmRestarts < kSoakRestarts) &&
               std::chrono::steady_clock::now() - started < kLongestSoak) {
            ASSERT_FALSE(runCheck(settings, state));
            ++checks;
        }
        elapsed = std::chrono::steady_clock::now() - started;
        after = sample();
    }
    test::terminateInstancesOf(target);
    const std::uint32_t restarts = state.restartCount - warmRestarts;
    std::printf("soak: %d checks, %u restarts in %.1f s; handles %lu -> %lu; working set %llu -> %llu KiB\n",
                checks, restarts, elapsed.count(), static_cast<unsigned long>(before.handles),
                static_cast<unsigned long>(after.handles), static_cast<unsigned long long>(before.workingSetKiB),
                static_cast<unsigned long long>(after.workingSetKiB));
    RecordProperty("checks", checks);
    RecordProperty("restarts", static_cast<int>(restarts));

    EXPECT_GE(restarts, kSoakRestarts);
    EXPECT_GT(before.handles, 0u);
    EXPECT_LE(after.handles, before.handles);
    EXPECT_LE(after.workingSetKiB, before.workingSetKiB + kWorkingSetSlackKiB);
}

} // namespace
} // namespace procguard
