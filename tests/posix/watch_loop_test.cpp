// The surveillance loop against real processes on Linux: the target is found
// by the file its path names, and started again after it was killed from
// outside.
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>

#include "app/surveillance.h"
#include "target/process_lookup.h"
#include "posix/process_support.h"
#include "posix/watchdog_run_support.h"

namespace procguard {
namespace {

TEST(WatchLoop, FindsTheTargetByTheFileItsPathNames) {
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
    // Another name of the same file is the same target.
    EXPECT_EQ(findProcessByPath(test::widen(folder.path + "/./Render Job")), static_cast<ProcessId>(child));

    std::vector<std::wstring> running;
    ASSERT_TRUE(listRunningProcesses(running));
    EXPECT_NE(std::find(running.begin(), running.end(), test::widen(path)), running.end());
    test::endChild(child);
}

// However the target is named, the watchdog starts it once, leaves it alone
// while it runs, and starts it once more after it was killed from outside.
TEST(WatchLoop, TargetsAreKnownHoweverTheyAreNamed) {
    test::TempFolder folder;
    const std::string sleeper = test::copyTestProgram("idle_sleeper", folder.path);
    const std::string link = folder.path + "/sleeper-link";
    ASSERT_EQ(symlink(sleeper.c_str(), link.c_str()), 0);
    // A script runs as its interpreter; a wrapper execs the real program.
    const std::string script = folder.path + "/script.sh";
    test::writeBytes(script, "#!/bin/sh\n\"" + sleeper + "\" 30\n");
    const std::string wrapper = folder.path + "/wrapper.sh";
    test::writeBytes(wrapper, "#!/bin/sh\nexec \"" + sleeper + "\" 30\n");
    chmod(script.c_str(), 0755);
    chmod(wrapper.c_str(), 0755);
    const std::string relative = std::filesystem::relative(sleeper).string();
    ASSERT_NE(relative.front(), '/');
    // A bare name is the program PATH leads to, as in a shell.
    const std::string savedPath = std::getenv("PATH");
    setenv("PATH", ("/nonexistent:" + folder.path + ":" + savedPath).c_str(), 1);

    for (const std::string& named : {sleeper, link, script, wrapper, relative, std::string("idle_sleeper")}) {
        SCOPED_TRACE(named);
        WatchSettings settings;
        settings.processName = test::widen(named);
        settings.commandParams = L"30";
        settings.checkPeriod = 0;
        settings.responseTimeout = 1000;
        SurveillanceState state = startingState(settings);
        for (int check = 0; check < 5; ++check) runCheck(settings, state);
        EXPECT_EQ(state.restartCount, 1u) << "started once and left alone while it runs";
        EXPECT_LE(test::runningInstancesOf(sleeper).size(), 1u);

        const ProcessId first = state.target.process.id;
        ASSERT_NE(first, 0u);
        ASSERT_EQ(kill(static_cast<pid_t>(first), SIGKILL), 0);
        ASSERT_TRUE(test::waitUntil([&] {
            runCheck(settings, state);
            return state.restartCount == 2;
        }));
        for (int check = 0; check < 5; ++check) runCheck(settings, state);
        EXPECT_EQ(state.restartCount, 2u);
        EXPECT_NE(state.target.process.id, first);
        terminateProcess(state.target.process, 5000);
        releaseTarget(state.target);
        test::killInstancesOf(sleeper); // what a killed script left running
    }
    setenv("PATH", savedPath.c_str(), 1);
}

} // namespace
} // namespace procguard
