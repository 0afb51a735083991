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
    bool stillRunning = false; // running when the run was cut short; then killed
    int exitCode = -1;         // when it exited by itself
    int signal = 0;            // when a signal ended it by itself
    pid_t pid = -1;
    std::string output; // standard output and standard error, as written
};

// Runs the watchdog with `arguments` and `folder` as its current directory,
// `input` as its whole console input, until it exits or `limit` passes.
// `whileRunning` (if given) is called with the watchdog's pid once it has
// started; when it returns, a watchdog that still runs is killed, so a run
// that never ends by itself ends there. `launcher` (an absolute path and its
// arguments, e.g. setpriv and the capabilities to drop) starts the watchdog.
WatchdogRun runWatchdog(const std::string& folder, const std::vector<std::string>& arguments, const std::string& input,
                        std::chrono::milliseconds limit, const std::function<void(pid_t watchdog)>& whileRunning = {},
                        const std::vector<std::string>& launcher = {});

// What the watchdog running in `folder` has written so far.
std::string watchdogOutput(const std::string& folder);

// Counts the checks of a watchdog whose settings count the files in
// `folder` (a file-count variable with a mask there): every check opens the
// folder once to count them. Lets a test wait for checks to happen rather
// than for time to pass.
class CheckCounter {
public:
    explicit CheckCounter(const std::string& folder);
    ~CheckCounter();
    CheckCounter(const CheckCounter&) = delete;
    CheckCounter& operator=(const CheckCounter&) = delete;

    // Waits until `count` checks have been seen since the counter was made;
    // false when `limit` passed first.
    bool waitForChecks(int count, std::chrono::milliseconds limit = std::chrono::seconds(30));

private:
    int fd_ = -1;
    int seen_ = 0;
};

} // namespace procguard::test
