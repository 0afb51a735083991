// The watchdog executable with the real Linux backend against X11 targets,
// run unattended from a config file: a frozen target is terminated and
// started again, an answering one is left alone.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/platform.h"
#include "posix/process_support.h"
#include "posix/window_x11_support.h"

namespace procguard::test {

namespace {

using namespace std::chrono_literals;

constexpr const char* kConfigName = "x11_watch.ini";

void writeConfig(const std::string& folder, const std::string& target, const std::string& parameters,
                 int finishType, int finishCount) {
    std::ostringstream text;
    text << "[main]\nprocessName=" << target << "\ncommandParams=" << parameters
         << "\ncheckPeriod=500\nresponseTimeout=500\nvariables=0\n"
         << "[finishCondition]\ntype=" << finishType << "\ndataInt=" << finishCount
         << "\ndataString=\ndataBool=false\n";
    const std::string path = folder + "/" + kConfigName;
    FILE* file = std::fopen(path.c_str(), "w");
    ASSERT_NE(file, nullptr);
    std::fputs(text.str().c_str(), file);
    std::fclose(file);
}

// Runs the watchdog in `folder` with the config written there, its output
// in output.txt. In a session of its own it has no controlling terminal, and
// with no keyboard its key waits return at once.
pid_t startWatchdog(const std::string& folder) {
    const std::string output = folder + "/output.txt";
    const pid_t pid = fork();
    if (pid != 0) return pid;
    setsid();
    const int in = open("/dev/null", O_RDONLY);
    const int out = open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || out < 0 || chdir(folder.c_str()) != 0) _exit(126);
    dup2(in, STDIN_FILENO);
    dup2(out, STDOUT_FILENO);
    dup2(out, STDERR_FILENO);
    execl(PROCGUARD_EXECUTABLE, PROCGUARD_EXECUTABLE, kConfigName, static_cast<char*>(nullptr));
    _exit(127);
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

bool inOrder(const std::string& text, const std::vector<std::string>& parts) {
    std::size_t at = 0;
    for (const std::string& part : parts) {
        at = text.find(part, at);
        if (at == std::string::npos) return false;
        at += part.size();
    }
    return true;
}

std::size_t occurrences(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size())) ++count;
    return count;
}

} // namespace

TEST_F(WindowX11Test, LoopTerminatesAndRestartsAFrozenTarget) {
    TempFolder folder;
    const std::string target = copyTestProgram("x11_ping_target", folder.path);
    writeConfig(folder.path, target, "freeze-after 300", 2, 2); // ends after the second restart

    const pid_t watchdog = startWatchdog(folder.path);
    ASSERT_GT(watchdog, 0);
    int status = 0;
    const bool ended = waitUntil([&] { return waitpid(watchdog, &status, WNOHANG) == watchdog; }, 60s);
    if (!ended) {
        kill(watchdog, SIGKILL);
        waitpid(watchdog, &status, 0);
    }
    // The new instance may still be starting when the run has ended.
    const std::string outputPath = folder.path + "/output.txt";
    waitUntil([&] { return targetPids(readFile(outputPath)).size() >= 2; }, 10s);
    const std::string output = readFile(outputPath);
    const std::vector<pid_t> pids = targetPids(output);
    const bool newInstanceRuns = pids.size() == 2 && isRunning(pids[1]);
    endTargets(pids);

    ASSERT_TRUE(ended) << "the run did not reach its second restart:\n" << output;
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << output;
    EXPECT_TRUE(inOrder(output, {"Process restarted (1 runs).\n", "Process not responding, terminating...\n",
                                 "Process terminated, restarting...\n", "Process restarted (2 runs).\n"}))
        << output;
    ASSERT_EQ(pids.size(), 2u) << output;
    EXPECT_NE(pids[0], pids[1]);
    EXPECT_FALSE(isRunning(pids[0])) << "the frozen instance was terminated";
    EXPECT_TRUE(newInstanceRuns);
}

TEST_F(WindowX11Test, LoopLeavesAnAnsweringTargetAlone) {
    TempFolder folder;
    const std::string target = copyTestProgram("x11_ping_target", folder.path);
    writeConfig(folder.path, target, "answer", 0, 0); // never ends by itself

    const pid_t watchdog = startWatchdog(folder.path);
    ASSERT_GT(watchdog, 0);
    const std::string outputPath = folder.path + "/output.txt";
    const bool started = waitUntil([&] { return readFile(outputPath).find("ready\n") != std::string::npos; }, 20s);
    std::vector<pid_t> pids = targetPids(readFile(outputPath));
    // The window is there to be probed; at a check period of 500 ms the
    // watchdog probes it several times meanwhile.
    const WindowHandle window = pids.empty() ? 0 : findProcessWindow(static_cast<ProcessId>(pids[0]));
    std::this_thread::sleep_for(3s);
    kill(watchdog, SIGKILL);
    waitpid(watchdog, nullptr, 0);
    const std::string output = readFile(outputPath);
    pids = targetPids(output);
    const bool stillRunning = pids.size() == 1 && isRunning(pids[0]);
    endTargets(pids);

    ASSERT_TRUE(started) << output;
    EXPECT_NE(window, 0u);
    EXPECT_EQ(occurrences(output, "Process restarted ("), 1u) << output;
    EXPECT_EQ(output.find("not responding"), std::string::npos) << output;
    EXPECT_TRUE(stillRunning) << output;
}

} // namespace procguard::test
