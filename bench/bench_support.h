// What the benchmarks share: clocks, the scratch folder, child processes that
// must not outlive the run, and the idle processes that fill the machine.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

namespace bench {

std::int64_t monotonicNanoseconds();

// CPU time (user and system) of the calling thread. The ratios compare CPU
// time, so that other work on a shared machine does not tilt them.
std::int64_t threadCpuNanoseconds();

double median(std::vector<double> values);

// A folder of the benchmark's own, made at first use in $TMPDIR (or /tmp).
const std::string& scratchDirectory();

// The whole file; empty when it cannot be read.
std::string readFile(const std::string& path);

// Removes the scratch folder with everything in it, or with `keepLogs` only
// its subfolder "files", so that the logs of a failed run can be read.
void removeScratchDirectory(bool keepLogs = false);

// Children that are killed if the benchmark is interrupted (SIGINT, SIGTERM,
// SIGHUP). Forget a child once it has been collected.
void installInterruptCleanup();
void trackChild(pid_t pid);
void forgetChild(pid_t pid);

// Waits at most `timeoutMs` for the child to end; true when it has ended
// (and was collected). `status` receives its wait status.
bool waitForChild(pid_t pid, int timeoutMs, int* status = nullptr);

// Ends a child for good: SIGKILL, then collect it.
void killChild(pid_t pid);

// Number of processes the machine runs now (the numeric entries of /proc).
int countProcesses();

// The floor of any lookup by image path: lists /proc and reads every
// process's exe link, and nothing else. Returns the number of links read.
int readEveryExeLink();

// Starts or stops idle processes (bench_idle_helper) until about `wanted`
// processes run, and returns how many run then. When the machine already
// runs more than `wanted` of its own, nothing is started.
int settleProcessCount(int wanted);

// Ends every idle process started by settleProcessCount.
void releaseIdleProcesses();

} // namespace bench
