// The surveillance loop against real processes on Linux: the target is found
// by its exact path only, and started again after it was killed from outside.
#include <signal.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>

#include "target/process_lookup.h"
#include "app/surveillance.h"
#include "posix/process_support.h"

namespace procguard {
namespace {

TEST(WatchLoop, FindsTheTargetByItsExactPathOnly) {
    test::TempFolder folder;
    const std::string path = test::copyTestProgram("idle_sleeper", folder.path, "Render Job");
    const pid_t child = test::spawnDirectly(path, {"30"});
    ASSERT_GT(child, 0);
    ASSERT_TRUE(test::waitUntil([&] { return findProcessByPath(test::widen(path)) != 0; }));
    EXPECT_EQ(findProcessByPath(test::widen(path)), static_cast<ProcessId>(child));
    // Linux file names are case-sensitive: another spelling is another file.
    std::string upper = path;
    std::transform(upper.begin(), upper.end(), upper.begin(), [](unsigned char c) { return std::toupper(c); });
    EXPECT_EQ(findProcessByPath(test::widen(upper)), 0u);
    EXPECT_EQ(findProcessByPath(test::widen(folder.path + "/./Render Job")), 0u);

    std::vector<std::wstring> running;
    ASSERT_TRUE(listRunningProcesses(running));
    EXPECT_NE(std::find(running.begin(), running.end(), test::widen(path)), running.end());
    test::endChild(child);
}

TEST(WatchLoop, TargetKilledFromOutsideIsStartedAgain) {
    test::TempFolder folder;
    WatchSettings settings;
    settings.processName = test::widen(test::copyTestProgram("idle_sleeper", folder.path));
    settings.commandParams = L"30";
    settings.checkPeriod = 20;
    settings.responseTimeout = 1000;
    SurveillanceState state;

    runCheck(settings, state);
    ASSERT_EQ(state.restartCount, 1u);
    ProcessId first = 0;
    ASSERT_TRUE(test::waitUntil([&] { return (first = findProcessByPath(settings.processName)) != 0; }));
    runCheck(settings, state);
    EXPECT_EQ(state.restartCount, 1u) << "a running target without a window is left alone";

    ASSERT_EQ(kill(static_cast<pid_t>(first), SIGKILL), 0);
    ASSERT_TRUE(test::waitUntil([&] {
        runCheck(settings, state);
        return state.restartCount == 2;
    }));
    ProcessId second = 0;
    ASSERT_TRUE(test::waitUntil([&] { return (second = findProcessByPath(settings.processName)) != 0; }));
    EXPECT_NE(second, first);
    terminateProcess(second, 5000);
}

} // namespace
} // namespace procguard
