// What the window benchmark runs among: a private X server, crowds of other
// top-level windows on it, and Wine for the Windows build.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

namespace bench {

// Xvfb on the first free display from :140 to :159, which no desktop and
// no test run of this project uses.
struct XServer {
    pid_t pid = 0;
    std::string display; // ":N"
};
bool startXServer(XServer& server);
void stopXServer(XServer& server);

// Time every thread of a process has run on a CPU (the sum over
// /proc/PID/task/*/schedstat), in nanoseconds; -1 when it cannot be read.
// The Windows build under Wine runs threads of Wine's own beside the main one.
std::int64_t processThreadsRuntime(pid_t pid);

// Starts `argv` (found on PATH when it names no folder) with `environment`
// added to the benchmark's own, and waits at most `timeoutMs` until it
// writes "ready" to its standard output. Its pid, or 0 when it did not get
// there (it is then killed).
pid_t startWhenReady(const std::vector<std::string>& argv, const std::vector<std::string>& environment, int timeoutMs);

// How many lines of the file are `line`.
long countLines(const std::string& path, const std::string& line);

// Wine for the Windows build: its loader, and a server of its own for
// WINEPREFIX, ended with everything it ran by releaseWine. Fails when a
// server runs for the prefix already.
struct Wine {
    std::string loader;
    std::string prefix;
    pid_t server = 0;
};
bool prepareWine(Wine& wine, std::string& reason);
void releaseWine(Wine& wine);

} // namespace bench
