// Stopping and sleeping on Linux.
#include "platform/posix/stop.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

#include "platform/clock.h"
#include "platform/stop.h"

namespace procguard {

namespace {

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};

volatile sig_atomic_t gStopSignal = 0;
// Set before the handlers are installed and never changed afterwards.
int gWakeRead = -1;
int gWakeWrite = -1;

// write() is async-signal-safe, and the pipe does not block: a full pipe
// already wakes every wait.
void requestStop(int signalNumber) {
    const int savedErrno = errno;
    gStopSignal = signalNumber;
    [[maybe_unused]] const ssize_t written = write(gWakeWrite, "", 1);
    errno = savedErrno;
}

} // namespace

void installStopHandlers() {
    static bool installed = false;
    if (installed) return;
    installed = true;
    int ends[2];
    // Without the pipe a stop could not wake a wait: leave the signals as they are.
    if (pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0) return;
    gWakeRead = ends[0];
    gWakeWrite = ends[1];

    struct sigaction action {};
    action.sa_handler = requestStop;
    // No SA_RESETHAND: closing a terminal can bring two SIGHUPs (the
    // kernel's and the shell's), and the second must not cut the clean-up
    // short. SIGQUIT (Ctrl+\) still ends the watchdog at once.
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    for (int signalNumber : kStopSignals) {
        struct sigaction previous {};
        if (sigaction(signalNumber, nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN) continue;
        sigaction(signalNumber, &action, nullptr);
    }
}

bool stopRequested() { return gStopSignal != 0; }

int stopWakeDescriptor() { return gWakeRead; }

WaitOutcome waitForInputOrStop(int fd, long long timeoutMs) {
    // The clock counts whole milliseconds, so the moment it reads now may be
    // up to one before the true one: one more makes the wait never short.
    const std::int64_t deadline = monotonicMilliseconds() + (timeoutMs < 0 ? 0 : timeoutMs) + 1;
    for (;;) {
        if (stopRequested()) return WaitOutcome::Stopped;
        // Negative descriptors are skipped by ppoll.
        pollfd entries[2] = {{gWakeRead, POLLIN, 0}, {fd, POLLIN, 0}};
        timespec left{};
        if (timeoutMs >= 0) {
            const std::int64_t remaining = deadline - monotonicMilliseconds();
            if (remaining <= 0) return WaitOutcome::TimedOut;
            left = {static_cast<time_t>(remaining / 1000), static_cast<long>(remaining % 1000) * 1000000L};
        }
        const int ready = ppoll(entries, 2, timeoutMs >= 0 ? &left : nullptr, nullptr);
        if (ready < 0 && errno != EINTR) return fd >= 0 ? WaitOutcome::Ready : WaitOutcome::TimedOut;
        if (ready > 0 && entries[1].revents != 0 && !stopRequested()) return WaitOutcome::Ready;
    }
}

void sleepMilliseconds(std::uint32_t ms) { waitForInputOrStop(-1, ms); }

PeriodEnd waitForCheckPeriod(std::uint32_t ms, const HeldProcess& target) {
    // A pidfd turns readable once its process has ended.
    const int pidfd = target.id != 0 ? static_cast<int>(target.handle) : -1;
    switch (waitForInputOrStop(pidfd, ms)) {
    case WaitOutcome::Ready: return PeriodEnd::TargetEnded;
    case WaitOutcome::Stopped: return PeriodEnd::Stopped;
    case WaitOutcome::TimedOut: break;
    }
    return PeriodEnd::TimePassed;
}

} // namespace procguard
