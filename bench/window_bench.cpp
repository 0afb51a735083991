// CPU per healthy check of a target with a window, among 0, 100 and 1,000
// other top-level windows: natively on Linux under a private Xvfb, with the
// X server's CPU beside procguard's, and for the Windows build under Wine,
// with wineserver's beside procguard.exe's.
//
// One watchdog watches one answering target for the whole run while crowds
// of other windows come and go around it. Every size is measured once in
// each of five rounds, in turns, and the medians count, so load that comes
// and goes on the machine falls on every size alike; natively each round
// also measures the floor on the same target, with the watchdog stopped.
// The target counts the checks: it notes each probe it answers, and a
// healthy check probes once.
#include <benchmark/benchmark.h>
#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "bench/figures.h"
#include "bench/ping_floor.h"
#include "bench/watch_run.h"
#include "bench/window_world.h"

namespace bench {

namespace {

constexpr std::uint32_t kPeriodMs = 100;
constexpr int kRounds = 5;
constexpr int kSettleMs = 500;
constexpr int kSampleMs = 4000;
constexpr int kIdleMs = 2000; // the server's own work with the crowd, the watchdog stopped
constexpr int kSizes[] = {0, 100, 1000};
constexpr int kFloorPings = 20; // in each round

struct Cost {
    double watchdogMs = 0; // per check
    double serverMs = 0;   // the X server's or wineserver's, per check
    double idleMs = 0;     // of that, what the server spends as fast with the watchdog stopped
};
using Costs = std::map<int, std::vector<Cost>>; // by size, one per round

// How one side runs: the watchdog on its target, the server whose CPU is
// given beside it, and the crowds of other windows.
struct Side {
    bool wine = false;
    WatchOptions options;
    pid_t server = 0;
    std::string targetLog;
    std::function<pid_t(int windows)> startCrowd; // its pid, 0 when it did not start
    int firstProbeTimeoutMs = 20000;
    // Natively: measures the floor, at the start of each round, while the
    // watchdog is stopped; false when it could not.
    std::function<bool()> floorTurn;
};

bool waitForLines(const std::string& path, const std::string& line, long count, int timeoutMs) {
    const std::int64_t deadline = monotonicNanoseconds() + static_cast<std::int64_t>(timeoutMs) * 1000000;
    while (countLines(path, line) < count) {
        if (monotonicNanoseconds() >= deadline) return false;
        usleep(20000);
    }
    return true;
}

// Wine maps a crowd's windows well after the client has made them, and
// cleans up after an ended one for a while. The sample waits, the watchdog
// stopped, until the server is quiet (under 2% of a processor, at most 10 s),
// so that work is not counted against the checks.
void waitUntilQuiet(pid_t watchdog, pid_t server) {
    kill(watchdog, SIGSTOP);
    for (int quarter = 0; quarter < 40; ++quarter) {
        const std::int64_t begin = processThreadsRuntime(server);
        usleep(250000);
        const std::int64_t end = processThreadsRuntime(server);
        if (begin < 0 || end < 0 || end - begin < 5000000) break;
    }
    kill(watchdog, SIGCONT);
}

bool measureInTurns(pid_t watchdog, const Side& side, Costs& costs, std::string& reason) {
    for (int round = 0; round < kRounds; ++round) {
        if (side.floorTurn) {
            kill(watchdog, SIGSTOP);
            const bool measured = side.floorTurn();
            kill(watchdog, SIGCONT);
            if (!measured) {
                reason = "the ping floor could not be measured";
                return false;
            }
        }
        for (std::size_t turn = 0; turn < std::size(kSizes); ++turn) {
            const int size = kSizes[(turn + static_cast<std::size_t>(round)) % std::size(kSizes)];
            const pid_t crowd = size > 0 ? side.startCrowd(size) : 0;
            if (size > 0 && crowd == 0) {
                reason = format("a crowd of %d windows did not start", size);
                return false;
            }
            usleep(kSettleMs * 1000);
            waitUntilQuiet(watchdog, side.server);
            const std::int64_t sampleStart = monotonicNanoseconds();
            const long checksBegin = countLines(side.targetLog, "answered");
            const std::int64_t watchdogBegin = processThreadsRuntime(watchdog);
            const std::int64_t serverBegin = processThreadsRuntime(side.server);
            usleep(kSampleMs * 1000);
            const long checks = countLines(side.targetLog, "answered") - checksBegin;
            const std::int64_t watchdogEnd = processThreadsRuntime(watchdog);
            const std::int64_t serverEnd = processThreadsRuntime(side.server);
            const std::int64_t sampleSpan = monotonicNanoseconds() - sampleStart;
            // What the server spends as fast with the same crowd and no checks.
            kill(watchdog, SIGSTOP);
            const std::int64_t idleBegin = processThreadsRuntime(side.server);
            const std::int64_t idleStart = monotonicNanoseconds();
            usleep(kIdleMs * 1000);
            const std::int64_t idleEnd = processThreadsRuntime(side.server);
            const std::int64_t idleSpan = monotonicNanoseconds() - idleStart;
            kill(watchdog, SIGCONT);
            if (crowd != 0) killChild(crowd);
            if (watchdogBegin < 0 || watchdogEnd < 0 || serverBegin < 0 || serverEnd < 0 || idleBegin < 0 ||
                idleEnd < 0) {
                reason = "the watchdog or the server ended during the run";
                return false;
            }
            // A slow check delays the next one: a watchdog that lists a large
            // desktop at every check checks less often than its period says.
            if (checks < kSampleMs / static_cast<long>(kPeriodMs) / 8) {
                reason =
                    format("only %ld probes were answered in %d ms among %d other windows", checks, kSampleMs, size);
                return false;
            }
            const auto perCheck = [&](std::int64_t ns) { return static_cast<double>(ns) / 1e6 / checks; };
            const double idleInSample = static_cast<double>(idleEnd - idleBegin) * static_cast<double>(sampleSpan) /
                                        static_cast<double>(idleSpan > 0 ? idleSpan : 1);
            costs[size].push_back({perCheck(watchdogEnd - watchdogBegin), perCheck(serverEnd - serverBegin),
                                   perCheck(static_cast<std::int64_t>(idleInSample))});
        }
    }
    return true;
}

bool watchAndMeasure(const Side& side, Costs& costs, std::string& reason) {
    WatchRun run;
    bool measured = false;
    if (!startWatch(side.wine ? "window-wine" : "window-linux", side.options, run)) {
        reason = "cannot start the watchdog " + watchdogPath(side.wine ? "BENCH_WINE_WATCHDOG" : "BENCH_WATCHDOG");
    } else if (!waitForLines(side.targetLog, "answered", 3, side.firstProbeTimeoutMs)) {
        reason = "the target's window was never probed (see " + run.folder + ")";
    } else {
        measured = measureInTurns(run.pid, side, costs, reason);
    }
    stopWatch(run);
    return measured;
}

Cost medianCost(const std::vector<Cost>& rounds) {
    std::vector<double> watchdog, server, idle;
    for (const Cost& cost : rounds) {
        watchdog.push_back(cost.watchdogMs);
        server.push_back(cost.serverMs);
        idle.push_back(cost.idleMs);
    }
    return {median(watchdog), median(server), median(idle)};
}

std::uint32_t targetWindow(const std::string& log) {
    std::ifstream lines(log);
    std::string word;
    unsigned long window = 0;
    while (lines >> word) {
        if (word == "window" && lines >> window) break;
    }
    return static_cast<std::uint32_t>(window);
}

FigureSlot slotFor(bool wine, int size) {
    if (size == 0) return wine ? FigureSlot::WineWindowCheck0 : FigureSlot::WindowCheck0;
    if (size == 100) return wine ? FigureSlot::WineWindowCheck100 : FigureSlot::WindowCheck100;
    return wine ? FigureSlot::WineWindowCheck1000 : FigureSlot::WindowCheck1000;
}

std::string sizeText(bool wine, int size) {
    return format("%s CPU per healthy check of a windowed target, %s other top-level windows",
                  wine ? "Wine: procguard.exe's" : "procguard's",
                  size == 1000 ? "1,000" : std::to_string(size).c_str());
}

std::string growthText(bool wine, bool server) {
    return format("%s CPU per check, 1,000 against 0 other windows",
                  wine ? (server ? "Wine: wineserver's" : "Wine: procguard.exe's")
                       : (server ? "the X server's" : "procguard's"));
}

void recordFailures(bool wine, const std::string& reason) {
    for (int size : kSizes) recordFailure(slotFor(wine, size), sizeText(wine, size), reason);
    recordFailure(wine ? FigureSlot::WineWindowCheckGrowth : FigureSlot::WindowCheckGrowth, growthText(wine, false),
                  reason);
    recordFailure(wine ? FigureSlot::WineServerGrowth : FigureSlot::WindowServerGrowth, growthText(wine, true), reason);
}

void recordGrowth(FigureSlot slot, const std::string& what, double many, double none) {
    const double growth = none > 0 ? many / none : 0;
    recordFigure(slot, format("%s: %.4f ms against %.4f ms", what.c_str(), many, none), "<= 1.2 x", growth,
                 none > 0 && growth <= 1.2);
}

void recordCosts(bool wine, const Costs& costs, const PingFloor& floor) {
    for (int size : kSizes) {
        const Cost cost = medianCost(costs.at(size));
        const std::string text =
            format("%s: %.4f ms (%s %.4f ms, %.4f ms of it as fast with the watchdog stopped; medians of %d rounds of "
                   "%d ms, checks every %u ms)",
                   sizeText(wine, size).c_str(), cost.watchdogMs, wine ? "wineserver" : "X server", cost.serverMs,
                   cost.idleMs, kRounds, kSampleMs, kPeriodMs);
        if (wine) {
            recordNote(slotFor(wine, size), text);
            continue;
        }
        const double ratio = cost.watchdogMs / floor.pingMs;
        recordFigure(slotFor(wine, size),
                     text + format("; floor, one ping round trip on an open connection: %.4f ms (%.4f ms with the "
                                   "wake-up from a %u ms sleep before it; medians of %d rounds of %d pings)",
                                   floor.pingMs, floor.withWakeUpMs, kPeriodMs, kRounds, kFloorPings),
                     "<= 2 x ping floor", ratio, ratio <= 2);
    }
    const Cost none = medianCost(costs.at(0));
    const Cost many = medianCost(costs.at(1000));
    recordGrowth(wine ? FigureSlot::WineWindowCheckGrowth : FigureSlot::WindowCheckGrowth, growthText(wine, false),
                 many.watchdogMs, none.watchdogMs);
    recordGrowth(wine ? FigureSlot::WineServerGrowth : FigureSlot::WindowServerGrowth, growthText(wine, true),
                 many.serverMs, none.serverMs);
}

const char* kNoXServer = "Xvfb did not start on any display from :140 to :159 (Debian package xvfb)";

void linuxWindowCheck(benchmark::State& state) {
    auto fail = [&](const std::string& reason) {
        state.SkipWithError(reason.c_str());
        recordFailures(false, reason);
    };
    for (auto _ : state) {
        XServer server;
        if (!startXServer(server)) return fail(kNoXServer);
        const std::vector<std::string> display{"DISPLAY=" + server.display};

        Side side;
        side.server = server.pid;
        side.targetLog = scratchDirectory() + "/x11-target.txt";
        side.options.checkPeriodMs = kPeriodMs;
        side.options.responseTimeoutMs = 5000;
        side.options.target = BENCH_X11_CLIENT;
        side.options.arguments = "target " + side.targetLog;
        side.options.environment = display;
        side.startCrowd = [&](int windows) {
            return startWhenReady({BENCH_X11_CLIENT, "crowd", std::to_string(windows)}, display, 30000);
        };
        std::vector<double> pingMs, withWakeUpMs;
        side.floorTurn = [&] {
            const PingFloor floor =
                measurePingFloor(server.display, targetWindow(side.targetLog), kPeriodMs, kFloorPings);
            pingMs.push_back(floor.pingMs);
            withWakeUpMs.push_back(floor.withWakeUpMs);
            return floor.pingMs > 0;
        };
        Costs costs;
        std::string reason;
        const bool measured = watchAndMeasure(side, costs, reason);
        stopXServer(server);
        if (!measured) return fail(reason);
        recordCosts(false, costs, {median(pingMs), median(withWakeUpMs)});
        state.SetIterationTime(medianCost(costs.at(1000)).watchdogMs / 1000);
    }
}

void wineWindowCheck(benchmark::State& state) {
    auto fail = [&](const std::string& reason) {
        state.SkipWithError(reason.c_str());
        recordFailures(true, reason);
    };
    for (auto _ : state) {
        const std::string watchdog = watchdogPath("BENCH_WINE_WATCHDOG");
        const char* client = std::getenv("BENCH_WINE_CLIENT");
        if (watchdog.empty() || client == nullptr || access(watchdog.c_str(), R_OK) != 0 || access(client, R_OK) != 0)
            return fail("BENCH_WINE_WATCHDOG and BENCH_WINE_CLIENT name no Windows programs (scripts/bench.sh builds "
                        "them)");
        Wine wine;
        std::string reason;
        if (!prepareWine(wine, reason)) return fail(reason);
        XServer server;
        if (!startXServer(server)) {
            releaseWine(wine);
            return fail(kNoXServer);
        }
        const std::vector<std::string> environment{"DISPLAY=" + server.display, "WINEDEBUG=-all"};
        // The first program with a window starts Wine's background services
        // and its desktop process, which can take long on a busy machine;
        // they are started here, outside the figures.
        const pid_t warmUp = startWhenReady({wine.loader, client, "crowd", "1"}, environment, 120000);
        if (warmUp == 0) {
            releaseWine(wine);
            stopXServer(server);
            return fail("Wine did not start a program with a window within two minutes");
        }
        killChild(warmUp);

        Side side;
        side.wine = true;
        side.server = wine.server;
        side.targetLog = scratchDirectory() + "/wine-target.txt";
        side.options.checkPeriodMs = kPeriodMs;
        side.options.responseTimeoutMs = 5000;
        side.options.wineLoader = wine.loader;
        side.options.target = client;
        side.options.arguments = "target " + windowsPath(side.targetLog);
        side.options.environment = environment;
        side.startCrowd = [&](int windows) {
            return startWhenReady({wine.loader, client, "crowd", std::to_string(windows)}, environment, 60000);
        };
        side.firstProbeTimeoutMs = 60000;
        Costs costs;
        const bool measured = watchAndMeasure(side, costs, reason);
        releaseWine(wine);
        stopXServer(server);
        if (!measured) return fail(reason);
        recordCosts(true, costs, {});
        state.SetIterationTime(medianCost(costs.at(1000)).watchdogMs / 1000);
    }
}

} // namespace

BENCHMARK(linuxWindowCheck)->Name("window/linux")->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(wineWindowCheck)->Name("window/wine")->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace bench
