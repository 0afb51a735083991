// Start-up with and without the capabilities that make up the debug
// privilege on Linux, through the real watchdog.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "posix/process_support.h"
#include "config_text.h"
#include "posix/watchdog_run_support.h"

namespace procguard {
namespace {

const char kWarning[] =
    "ERROR: Failed to acquire debug privileges.\n"
    "This will prevent the tool from detecting some processes and from automatically terminating the "
    "target process when it is hung.\n"
    "Try running the tool as an administrator to fix this.\n"
    "Press any key to ignore this and continue anyway.\n\n"
    "Ready to go. Press any key to start process surveillance.\n";

class StartupPrivilege : public ::testing::Test {
protected:
    void SetUp() override {
        target = test::copyTestProgram("exit_at_once", work.path);
        test::writeBytes(
            work.path + "/run.ini",
            test::configText(
                {.processName = target, .checkPeriod = 20, .responseTimeout = 100, .finishType = 2, .finishCount = 2}));
    }
    test::TempFolder work;
    std::string target;
};

// Needs the capabilities permitted; `ctest -E AsRoot` leaves it out.
using StartupPrivilegeAsRoot = StartupPrivilege;

TEST_F(StartupPrivilegeAsRoot, WithTheCapabilitiesNoWarningIsShown) {
    ASSERT_TRUE(test::debugCapabilitiesPermitted()) << test::kRunAsRoot;
    const test::WatchdogRun run = test::runWatchdog(work.path, {"run.ini"}, "", std::chrono::seconds(30));
    EXPECT_EQ(run.exitCode, 0) << run.output;
    EXPECT_EQ(run.output.find("ERROR"), std::string::npos) << run.output;
    EXPECT_EQ(run.output.substr(0, 12), "Ready to go.") << run.output;
}

TEST_F(StartupPrivilege, WithoutThemTheWarningIsShownAndTheRunGoesOn) {
    // An ordinary user has them not; as root they are dropped from the
    // bounding set, which keeps them out of the watchdog's permitted set.
    std::vector<std::string> launcher;
    if (test::debugCapabilitiesPermitted()) {
        ASSERT_TRUE(std::filesystem::exists("/usr/bin/setpriv")) << "setpriv (Debian package util-linux) is missing";
        launcher = {"/usr/bin/setpriv", "--bounding-set=-sys_ptrace,-kill"};
    }
    const test::WatchdogRun run = test::runWatchdog(work.path, {"run.ini"}, "", std::chrono::seconds(30), {}, launcher);
    EXPECT_EQ(run.exitCode, 0) << run.output;
    EXPECT_EQ(run.output.substr(0, sizeof kWarning - 1), kWarning) << run.output;
    EXPECT_NE(run.output.find("Process restarted (2 runs).\nAll done now. Press any key to exit..."), std::string::npos)
        << run.output;
}

} // namespace
} // namespace procguard
