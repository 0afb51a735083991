// Start-up with and without the capabilities that make up the debug
// privilege on Linux, through the real watchdog.
#include <gtest/gtest.h>

#include <sys/capability.h>

#include <filesystem>
#include <fstream>

#include "posix/process_support.h"
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

bool permitted(cap_value_t capability) {
    cap_t caps = cap_get_proc();
    cap_flag_value_t value = CAP_CLEAR;
    cap_get_flag(caps, capability, CAP_PERMITTED, &value);
    cap_free(caps);
    return value == CAP_SET;
}

class StartupPrivilege : public ::testing::Test {
protected:
    void SetUp() override {
        if (!permitted(CAP_SYS_PTRACE) || !permitted(CAP_KILL))
            GTEST_SKIP() << "needs CAP_SYS_PTRACE and CAP_KILL to compare a run with and without them";
        target = test::copyTestProgram("exit_at_once", work.path);
        std::ofstream(work.path + "/run.ini") << "[main]\nprocessName=" << target
                                              << "\ncheckPeriod=20\nresponseTimeout=100\nvariables=0\n"
                                                 "[finishCondition]\ntype=2\ndataInt=2\n";
    }
    test::TempFolder work;
    std::string target;
};

TEST_F(StartupPrivilege, WithTheCapabilitiesNoWarningIsShown) {
    const test::WatchdogRun run = test::runWatchdog(work.path, {"run.ini"}, "", std::chrono::seconds(30));
    EXPECT_EQ(run.exitCode, 0) << run.output;
    EXPECT_EQ(run.output.find("ERROR"), std::string::npos) << run.output;
    EXPECT_EQ(run.output.substr(0, 12), "Ready to go.") << run.output;
}

TEST_F(StartupPrivilege, WithoutThemTheWarningIsShownAndTheRunGoesOn) {
    // Dropped from the bounding set, the capabilities are not in the
    // watchdog's permitted set, as for an ordinary user.
    ASSERT_TRUE(std::filesystem::exists("/usr/bin/setpriv"));
    const test::WatchdogRun run = test::runWatchdogThrough(
        {"/usr/bin/setpriv", "--bounding-set=-sys_ptrace,-kill"}, work.path, {"run.ini"}, "",
        std::chrono::seconds(30));
    EXPECT_EQ(run.exitCode, 0) << run.output;
    EXPECT_EQ(run.output.substr(0, sizeof kWarning - 1), kWarning) << run.output;
    EXPECT_NE(run.output.find("Process restarted (2 runs).\nAll done now. Press any key to exit..."),
              std::string::npos)
        << run.output;
}

} // namespace
} // namespace procguard
