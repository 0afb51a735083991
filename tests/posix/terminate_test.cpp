// terminateProcess against real processes, by pidfd and by the kill() way.
#include <signal.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>

#include <gtest/gtest.h>

#include "platform/platform.h"
#include "platform/posix/terminate.h"
#include "posix/process_support.h"

namespace procguard {
namespace {

using test::TempFolder;

// A target started the way the watchdog starts it, held, once it runs.
HeldProcess startTarget(const TempFolder& folder, const std::wstring& arguments) {
    const std::string path = test::copyTestProgram("idle_sleeper", folder.path);
    HeldProcess started;
    if (!startProcess(test::widen(path), arguments, started).ok) return {};
    test::waitForProcessWithPath(test::widen(path));
    return started;
}

// A process known by its id only: terminateProcess opens it itself.
HeldProcess byId(ProcessId id) { return HeldProcess{id, -1}; }

TEST(TerminateProcess, EndsARunningTargetThroughItsHoldAndCollectsIt) {
    TempFolder folder;
    HeldProcess target = startTarget(folder, L"30");
    ASSERT_NE(target.id, 0u);
    const ProcessId id = target.id;
    const auto started = std::chrono::steady_clock::now();
    EXPECT_TRUE(terminateProcess(target, 5000));
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(4));
    // Once more: the hold still names the ended process, never another.
    EXPECT_TRUE(terminateProcess(target, 100));
    releaseProcess(target);
    // Gone entirely, not left as a zombie of ours.
    EXPECT_EQ(test::processState(static_cast<pid_t>(id)), 0);
}

TEST(TerminateProcess, EndsATargetThatIgnoresSigterm) {
    TempFolder folder;
    HeldProcess target = startTarget(folder, L"30 ignore-term");
    const ProcessId id = target.id;
    ASSERT_NE(id, 0u);
    ASSERT_TRUE(test::waitUntil([&] {
        const std::string status = test::readFile("/proc/" + std::to_string(id) + "/status");
        const std::size_t field = status.find("SigIgn:");
        return field != std::string::npos &&
               (std::stoull(status.substr(field + 7), nullptr, 16) & (1ull << (SIGTERM - 1))) != 0;
    }));
    EXPECT_TRUE(terminateProcess(byId(id), 5000));
    releaseProcess(target);
    EXPECT_EQ(test::processState(static_cast<pid_t>(id)), 0);
}

TEST(TerminateProcess, EndsAProcessThatIsNotOurChild) {
    // Started by the test itself: terminateProcess must not wait for it as a
    // child of the watchdog, yet see it end (it turns into our zombie).
    const pid_t pid = test::spawnDirectly(test::testProgramPath("idle_sleeper"), {"30"});
    ASSERT_GT(pid, 0);
    EXPECT_TRUE(terminateProcess(byId(static_cast<ProcessId>(pid)), 5000));
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
}

TEST(TerminateProcess, RefusesIdsWithoutAProcess) {
    const pid_t pid = test::spawnDirectly(test::testProgramPath("idle_sleeper"), {"0"});
    ASSERT_GT(pid, 0);
    ASSERT_EQ(waitpid(pid, nullptr, 0), pid); // ended and collected: the id is free
    EXPECT_FALSE(terminateProcess(byId(static_cast<ProcessId>(pid)), 100));
    // 0 and ids past INT_MAX would be process groups for kill(): never signalled.
    EXPECT_FALSE(terminateProcess(byId(0), 100));
    EXPECT_FALSE(terminateProcess(byId(0xFFFFFFFF), 100));
}

TEST(TerminateProcess, KillFallbackEndsRunningAndZombieProcesses) {
    TempFolder folder;
    HeldProcess target = startTarget(folder, L"30");
    const ProcessId id = target.id;
    ASSERT_NE(id, 0u);
    EXPECT_TRUE(terminateByKill(static_cast<pid_t>(id), 5000));
    releaseProcess(target);
    EXPECT_EQ(test::processState(static_cast<pid_t>(id)), 0) << "collected as our child";

    // Not our child: it ends as a zombie of the test, which counts as ended.
    const pid_t other = test::spawnDirectly(test::testProgramPath("idle_sleeper"), {"30"});
    ASSERT_GT(other, 0);
    EXPECT_TRUE(terminateByKill(other, 5000));
    EXPECT_EQ(test::processState(other), 'Z');
    test::endChild(other);

    EXPECT_FALSE(terminateByKill(other, 100)) << "no process left to signal";
}

TEST(TerminateProcess, EndsAScriptWithItsChildAndLeavesNoOrphan) {
    TempFolder folder;
    const std::string sleeper = test::copyTestProgram("idle_sleeper", folder.path);
    const std::string script = folder.path + "/tree.sh";
    test::writeBytes(script, "#!/bin/sh\n\"" + sleeper + "\" 30 &\nwait\n");
    chmod(script.c_str(), 0755);
    HeldProcess target;
    ASSERT_TRUE(startProcess(test::widen(script), L"", target).ok);
    ASSERT_EQ(target.tree, static_cast<std::intptr_t>(target.id));
    const ProcessId child = test::waitForProcessWithPath(test::widen(sleeper));
    ASSERT_NE(child, 0u);
    EXPECT_EQ(listTreeProcesses(target), (std::vector<ProcessId>{target.id, child}));
    // A found process is its own process only.
    HeldProcess found = holdProcess(child);
    EXPECT_EQ(listTreeProcesses(found), std::vector<ProcessId>{child});
    releaseProcess(found);

    EXPECT_TRUE(terminateProcess(target, 5000));
    // Nothing of the group is left, not even a zombie: the child, orphaned
    // when the script died, was collected by the watchdog as well.
    EXPECT_EQ(test::membersOfGroup(static_cast<pid_t>(target.id)), std::vector<pid_t>{});
    EXPECT_TRUE(listTreeProcesses(target).empty());
    EXPECT_TRUE(terminateProcess(target, 100)) << "an ended tree stays ended";
    releaseProcess(target);
}

TEST(WaitForCheckPeriod, EndsWhenTheTargetEndsAndNotBefore) {
    TempFolder folder;
    HeldProcess target = startTarget(folder, L"1");
    ASSERT_NE(target.id, 0u);
    EXPECT_EQ(waitForCheckPeriod(1, target), PeriodEnd::TimePassed);
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(waitForCheckPeriod(120000, target), PeriodEnd::TargetEnded);
    EXPECT_TRUE(processHasEnded(target)) << "returned before the target ended";
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(60));
    EXPECT_EQ(waitForCheckPeriod(120000, target), PeriodEnd::TargetEnded) << "an ended target ends it at once";
    releaseProcess(target);
    EXPECT_EQ(waitForCheckPeriod(1, target), PeriodEnd::TimePassed) << "nothing held";
}

void ignoreAlarm(int) {}

TEST(SleepMilliseconds, ResumesAfterSignals) {
    struct sigaction action {};
    struct sigaction previous {};
    action.sa_handler = ignoreAlarm; // no SA_RESTART: nanosleep returns EINTR
    sigaction(SIGALRM, &action, &previous);
    itimerval every5ms{{0, 5000}, {0, 5000}};
    setitimer(ITIMER_REAL, &every5ms, nullptr);

    const auto started = std::chrono::steady_clock::now();
    sleepMilliseconds(60);
    const auto slept = std::chrono::steady_clock::now() - started;

    itimerval off{};
    setitimer(ITIMER_REAL, &off, nullptr);
    sigaction(SIGALRM, &previous, nullptr);
    EXPECT_GE(slept, std::chrono::milliseconds(60));
}

} // namespace
} // namespace procguard
