// The watchdog executable with the real Linux backend against X11 targets,
// run unattended from a config file: a frozen target is terminated and
// started again, an answering one is left alone.
#include <signal.h>

#include <string>
#include <vector>

#include "posix/process_support.h"
#include "posix/watchdog_run_support.h"
#include "posix/window_x11_support.h"

namespace procguard::test {

namespace {

using namespace std::chrono_literals;

constexpr const char* kConfigName = "x11_watch.ini";

void writeConfig(const std::string& folder, const std::string& target, const std::string& parameters, int checkPeriod,
                 int responseTimeout, int finishType, int finishCount) {
    writeBytes(folder + "/" + kConfigName, "[main]\nprocessName=" + target + "\ncommandParams=" + parameters +
                                               "\ncheckPeriod=" + std::to_string(checkPeriod) +
                                               "\nresponseTimeout=" + std::to_string(responseTimeout) +
                                               "\nvariables=0\n[finishCondition]\ntype=" + std::to_string(finishType) +
                                               "\ndataInt=" + std::to_string(finishCount) + "\n");
}

// The pids the targets printed, in start order. A target's line can follow
// the watchdog's last prompt, which has no line end.
std::vector<pid_t> targetPids(const std::string& output) {
    std::vector<pid_t> pids;
    const std::string marker = "pid ";
    for (std::size_t at = output.find(marker); at != std::string::npos; at = output.find(marker, at + 1)) {
        const std::size_t end = output.find('\n', at);
        if (end == std::string::npos) break; // still being written
        pids.push_back(std::stoi(output.substr(at + marker.size(), end - at - marker.size())));
    }
    return pids;
}

bool isRunning(pid_t pid) {
    const char state = processState(pid);
    return state != 0 && state != 'Z';
}

// The watchdog's targets are not this process's children; they end here, or
// at the latest when the test's X server goes away.
void endTargets(const std::vector<pid_t>& pids) {
    for (pid_t pid : pids) {
        if (isRunning(pid)) kill(pid, SIGKILL);
    }
}

} // namespace

// The program itself, and a script that runs it as a child: the window of
// any process of a started target's tree is probed, and the whole tree ends.
TEST_F(WindowX11Test, LoopTerminatesAndRestartsAFrozenTarget) {
    TempFolder folder;
    const std::string program = copyTestProgram("x11_ping_target", folder.path);
    const std::string script = folder.path + "/run-target.sh";
    writeBytes(script, "#!/bin/sh\n\"" + program + "\" \"$@\"\n");
    chmod(script.c_str(), 0755);
    for (const std::string& target : {program, script}) {
        SCOPED_TRACE(target);
        writeConfig(folder.path, target, "freeze-after 300", 500, 500, 2, 2); // ends after the second restart

        const WatchdogRun run = runWatchdog(folder.path, {kConfigName}, "", 60s);
        // The new instance may still be starting when the run has ended.
        waitUntil([&] { return targetPids(watchdogOutput(folder.path)).size() >= 2; });
        const std::string output = watchdogOutput(folder.path);
        const std::vector<pid_t> pids = targetPids(output);
        const bool newInstanceRuns = pids.size() == 2 && isRunning(pids[1]);
        const std::size_t running = runningInstancesOf(program).size();
        endTargets(pids);
        killInstancesOf(program);

        ASSERT_FALSE(run.stillRunning) << "the run did not reach its second restart:\n" << output;
        EXPECT_EQ(run.exitCode, 0) << output;
        EXPECT_TRUE(inOrder(output, {"Process restarted (1 runs).\n", "Process not responding, terminating...\n",
                                     "Process terminated, restarting...\n", "Process restarted (2 runs).\n"}))
            << output;
        ASSERT_EQ(pids.size(), 2u) << output;
        EXPECT_NE(pids[0], pids[1]);
        EXPECT_FALSE(isRunning(pids[0])) << "the frozen instance was terminated";
        EXPECT_TRUE(newInstanceRuns);
        EXPECT_EQ(running, 1u) << "one copy runs afterwards, no orphan beside it";
    }
}

TEST_F(WindowX11Test, LoopLeavesAnAnsweringTargetAlone) {
    TempFolder folder;
    const std::string target = copyTestProgram("x11_ping_target", folder.path);
    // Every answer comes 600 ms late: well within the response timeout, but
    // past the check period, so that the two swapped would make it a hung
    // target. The run never ends by itself.
    writeConfig(folder.path, target, "answer delay 600", 200, 4000, 0, 0);

    bool probed = false;
    bool stillRunning = false;
    runWatchdog(folder.path, {kConfigName}, "", 60s, [&](pid_t) {
        probed = waitUntil([&] { return occurrences(watchdogOutput(folder.path), "answered\n") >= 3; }, 30s);
        const std::vector<pid_t> pids = targetPids(watchdogOutput(folder.path));
        stillRunning = pids.size() == 1 && isRunning(pids[0]);
    });
    const std::string output = watchdogOutput(folder.path);
    endTargets(targetPids(output));

    EXPECT_TRUE(probed) << "three probes were not answered:\n" << output;
    EXPECT_EQ(occurrences(output, "Process restarted ("), 1u) << output;
    EXPECT_FALSE(contains(output, "not responding")) << output;
    EXPECT_TRUE(stillRunning) << output;
}

} // namespace procguard::test
