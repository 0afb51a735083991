// Runs of the procguard executable as an unattended watchdog: in a session
// of its own, so it has no controlling terminal and its key waits return at
// once, with its console input from given bytes and its output captured.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace procguard::test {

struct WatchdogRun {
    bool started = false;
    bool stillRunning = false; // running at the time limit; then killed
    int exitCode = -1;         // when it exited by itself
    int signal = 0;            // when a signal ended it by itself
    pid_t pid = -1;
    std::string output;        // standard output and standard error, as written
};

// Runs the watchdog with `arguments` and `folder` as its current directory,
// `input` as its whole console input, until it exits or `limit` passes.
// `whileRunning` (if given) is called once just before the watchdog is
// killed at the limit, while it and its targets still run.
WatchdogRun runWatchdog(const std::string& folder, const std::vector<std::string>& arguments,
                        const std::string& input, std::chrono::milliseconds limit,
                        const std::function<void(pid_t watchdog)>& whileRunning = {});

// The same, with the watchdog started through `launcher` (an absolute path
// and its arguments, e.g. setpriv and the capabilities to drop).
WatchdogRun runWatchdogThrough(const std::vector<std::string>& launcher, const std::string& folder,
                               const std::vector<std::string>& arguments, const std::string& input,
                               std::chrono::milliseconds limit);

// The same without console input, with `drive` called as soon as the
// watchdog has started; then the run goes on until it exits or `limit` passes.
WatchdogRun runWatchdogDriven(const std::string& folder, const std::vector<std::string>& arguments,
                              std::chrono::milliseconds limit, const std::function<void(pid_t watchdog)>& drive);

// Writes `bytes` to `path` as they are.
void writeBytes(const std::string& path, const std::string& bytes);

// Pids of the running (not zombie) processes whose executable is `path`.
std::vector<pid_t> runningInstancesOf(const std::string& path);

// Children of `parent` that have ended and were not collected.
int zombieChildrenOf(pid_t parent);

// Kills every running instance of the executable at `path`.
void killInstancesOf(const std::string& path);

} // namespace procguard::test
