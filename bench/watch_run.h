// Running the real watchdog on a config file of the benchmark's making, and
// reading what the kernel knows about it.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

namespace bench {

struct WatchOptions {
    std::uint32_t checkPeriodMs = 100;
    int finishType = 0;  // as in the config file: 0 never, 2 after dataInt restarts
    int finishCount = 0; // dataInt
    // Lifetime of each target instance; a negative maximum: it stays running.
    long targetMinMs = -1;
    long targetMaxMs = -1;
    // The target runs before the watchdog starts: the watchdog finds it
    // among the processes instead of starting it.
    bool targetAlreadyRunning = false;
    // Another target than bench_exit_target (the target log is then its
    // own business), with its argument line.
    std::string target;
    std::string arguments;
    std::uint32_t responseTimeoutMs = 1000;
    // Sections appended to the config as they stand, e.g. "[restart]\nrestartOnExit=1\n".
    std::string moreSections;
    // Variables added to the watchdog's environment, DISPLAY among them.
    std::vector<std::string> environment;
    // Non-empty: the Windows build (watchdogPath("BENCH_WINE_WATCHDOG"))
    // runs under this Wine loader, and every path in the config is Z:\...
    std::string wineLoader;
};

// The watchdog a benchmark runs: the one named by the environment variable
// `variable` when it is set (BENCH_WATCHDOG: another build of procguard,
// such as the code before a change), otherwise the one built beside it.
std::string watchdogPath(const char* variable = "BENCH_WATCHDOG");

// A Unix path as Windows programs under Wine name it: Z:\ and backslashes.
std::string windowsPath(const std::string& path);

struct WatchRun {
    pid_t pid = 0;         // the watchdog
    pid_t target = 0;      // the target started before it (`targetAlreadyRunning`)
    std::string folder;    // config, target log and the watchdog's output
    std::string targetLog; // "start PID NS" / "exit PID NS" lines of bench_exit_target
};

// Writes a config that watches bench_exit_target (started first when
// `targetAlreadyRunning`) or `target`, and starts the watchdog on it in a
// session of its own, with standard input from /dev/null, so it never waits
// for a key. It has an X display only when `environment` gives it one.
bool startWatch(const std::string& name, const WatchOptions& options, WatchRun& run);

// Ends the watchdog if it still runs, and any target instance it left.
void stopWatch(WatchRun& run);

struct TargetEvent {
    bool start = false;
    pid_t pid = 0;
    std::int64_t ns = 0; // CLOCK_MONOTONIC
};

// The target log in time order.
std::vector<TargetEvent> readTargetLog(const std::string& path);

// Waits at most `timeoutMs` until `count` target instances have started.
bool waitForTargetStarts(const WatchRun& run, std::size_t count, int timeoutMs);

// What /proc/PID/status says about a process's memory and sleeps.
struct StatusSample {
    long rssKib = 0;
    long rssAnonKib = 0;
    long rssFileKib = 0;
    long hwmKib = 0;
    long voluntarySwitches = 0;
};
bool sampleStatus(pid_t pid, StatusSample& sample);

// User plus system time of a process (utime + stime of /proc/PID/stat), in
// nanoseconds; clock-tick resolution. -1 when it cannot be read.
std::int64_t processCpuNanoseconds(pid_t pid);

// Time the process has run on a CPU (/proc/PID/schedstat), in nanoseconds;
// -1 when the kernel does not say.
std::int64_t processRuntimeNanoseconds(pid_t pid);

// 1-based place of `pid` among the processes /proc lists, and their number.
int placeInProcessList(pid_t pid, int& processes);

} // namespace bench
