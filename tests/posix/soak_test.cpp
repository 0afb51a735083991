// The soak run (see soak_run.h) on Linux: thousands of checks later the
// watchdog must hold as many descriptors, as much resident memory and as few
// zombies as it did after the warm-up.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "posix/process_support.h"
#include "soak_run.h"

namespace procguard {
namespace {

constexpr long kZombiesInFlight = 3;
// Allocator noise, not growth: a leak of even 100 bytes per check would
// show as 300 KiB.
constexpr long kResidentSlackKiB = 256;

struct Sample {
    long descriptors = 0;
    long residentKiB = 0;
    long zombies = 0; // our children that ended and were not collected
};

long openDescriptors() {
    long count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) ++count;
    return count - 1; // the listing's own descriptor
}

long residentKiB() {
    const std::string status = test::readFile("/proc/self/status");
    const std::size_t at = status.find("\nVmRSS:");
    return at == std::string::npos ? -1 : std::stol(status.substr(at + 7));
}

Sample sample() { return {openDescriptors(), residentKiB(), test::zombieChildrenOf(getpid())}; }

// The checks print two lines per restart; they go to /dev/null while the
// soak runs, and the figures to the real output afterwards.
class QuietOutput {
public:
    QuietOutput() : saved_(dup(STDOUT_FILENO)) {
        const int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
        dup2(null, STDOUT_FILENO);
        close(null);
    }
    ~QuietOutput() {
        dup2(saved_, STDOUT_FILENO);
        close(saved_);
    }

private:
    int saved_;
};

TEST(Soak, ThousandsOfRestartsLeaveDescriptorsMemoryAndZombiesFlat) {
    test::TempFolder folder;
    const std::wstring target = test::widen(test::copyTestProgram("exit_at_once", folder.path));
    Sample before;
    Sample after;
    test::runSoak<QuietOutput>(
        {target, 200, 3000, 500, std::chrono::seconds(60)}, [&] { before = sample(); }, [&] { after = sample(); });
    std::printf("soak: descriptors %ld -> %ld; resident %ld -> %ld KiB; zombies %ld -> %ld\n", before.descriptors,
                after.descriptors, before.residentKiB, after.residentKiB, before.zombies, after.zombies);

    EXPECT_EQ(after.descriptors, before.descriptors);
    // Each check collects every target that has ended. Uncollected are only
    // those that ended since the last check looked: the one it started, and
    // any that was already exiting then (an exiting process has no image and
    // counts as gone). Hundreds of restarts must not leave more than that.
    EXPECT_LE(after.zombies, kZombiesInFlight);
#ifndef PROCGUARD_SANITIZED_BUILD
    // (Under AddressSanitizer freed memory sits in quarantine and resident
    // memory grows by design; LeakSanitizer checks for leaks instead.)
    EXPECT_LE(after.residentKiB, before.residentKiB + kResidentSlackKiB);
#endif

    // The last target is collected once it has ended, leaving nothing behind.
    EXPECT_TRUE(test::waitUntil([] {
        collectEndedProcesses();
        return test::zombieChildrenOf(getpid()) == 0;
    }));
}

} // namespace
} // namespace procguard
