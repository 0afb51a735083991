// The CPU that each health probe of [health] adds to a check, against the
// floor of what the probe asks of the system.
//
// Five watchdogs run at once, each checking every 10 ms a target that runs
// before it starts, as in the healthy-check benchmark: one without probes
// and one with each probe. Beside them, in the same window, five
// bench_probe_floor processes wake as often: one only sleeps, the others
// make the floor's call after each sleep. A probe's figure is its watchdog's
// CPU per check less that of the watchdog without probes; its floor the
// floor process's CPU per call less that of the one that only sleeps.
// Several rounds, each starting the processes in another order, and their
// medians keep the machine's other work from tilting the figures.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "bench/figures.h"
#include "bench/watch_run.h"

extern char** environ;

namespace bench {

namespace {

constexpr std::uint32_t kPeriodMs = 10;
constexpr int kRounds = 5;
constexpr int kWindowMs = 6000;

enum Probe { kNoProbe, kHeartbeat, kMemory, kUrl, kCommand, kProbes };

struct ProbeSetup {
    const char* name;
    const char* floor;     // what the floor does
    const char* floorKind; // what bench_probe_floor is told to do
    FigureSlot slot;
};

const ProbeSetup kSetups[kProbes] = {
    {"no probe", "a bare sleep", "sleep", FigureSlot::ProbeHeartbeat}, // no line of its own
    {"heartbeat", "one stat of the file", "stat", FigureSlot::ProbeHeartbeat},
    {"memory", "one open, read and close of /proc/PID/statm", "statm", FigureSlot::ProbeMemory},
    {"URL", "one GET with libcurl on a kept easy handle", "get", FigureSlot::ProbeUrl},
    {"command", "one posix_spawn and waitpid of the same command", "spawn", FigureSlot::ProbeCommand},
};

// What the rounds share: the heartbeat file, the HTTP server and the logs
// that count the health command's runs.
struct ProbeWorld {
    std::string folder;
    std::string heartbeat;
    std::string serverReport; // the port, then one line per request
    std::string url;
    std::string watchdogLog; // bench_probe_command's, one byte per run
    std::string floorLog;
    pid_t server = 0;
};

long fileSize(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 ? static_cast<long>(info.st_size) : -1;
}

// Requests the server has answered: the lines of its report after the port.
long serverRequests(const ProbeWorld& world) {
    const std::string report = readFile(world.serverReport);
    return static_cast<long>(std::count(report.begin(), report.end(), '\n')) - 1;
}

pid_t spawnWithOutput(std::vector<std::string> words, const std::string& output) {
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = 0;
    const int error = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0) return 0;
    trackChild(pid);
    return pid;
}

bool startWorld(ProbeWorld& world) {
    world.folder = scratchDirectory() + "/probes";
    world.heartbeat = world.folder + "/heartbeat";
    world.serverReport = world.folder + "/server-report.txt";
    world.watchdogLog = world.folder + "/command-watchdog.log";
    world.floorLog = world.folder + "/command-floor.log";
    if (scratchDirectory().empty() || mkdir(world.folder.c_str(), 0755) != 0) return false;
    std::ofstream(world.heartbeat) << "alive\n";
    world.server = spawnWithOutput({BENCH_HTTP_SERVER, world.serverReport}, world.folder + "/server-output.txt");
    if (world.server == 0) return false;
    const std::int64_t deadline = monotonicNanoseconds() + 5000000000LL;
    while (fileSize(world.serverReport) <= 0) {
        if (monotonicNanoseconds() > deadline) return false;
        usleep(10000);
    }
    world.url = "http://127.0.0.1:" + std::to_string(std::atol(readFile(world.serverReport).c_str())) + "/ok";
    return true;
}

std::string healthSection(Probe probe, const ProbeWorld& world) {
    switch (probe) {
    // A day: the file, written once, stays fresh for the whole run.
    case kHeartbeat: return "[health]\nheartbeatFile=" + world.heartbeat + "\nheartbeatTimeout=86400000\n";
    case kMemory: return "[health]\nmemoryLimit=4096\n";
    case kUrl: return "[health]\nhealthUrl=" + world.url + "\n";
    case kCommand:
        // The config file drops one pair of quotes around a whole value; the
        // inner pairs group the words.
        return "[health]\nhealthCommand='\"" + std::string(BENCH_PROBE_COMMAND) + "\" \"" + world.watchdogLog + "\"'\n";
    default: return "";
    }
}

// What one round measured, in ms: each watchdog's CPU per check and each
// floor process's CPU per call.
struct Round {
    double perCheck[kProbes] = {};
    long checks[kProbes] = {};
    double perCall[kProbes] = {};
};

struct Counters {
    std::int64_t runtime[kProbes] = {};
    long switches[kProbes] = {};
    long requests = 0;
    long commandRuns = 0;
};

bool readCounters(const WatchRun (&runs)[kProbes], const ProbeWorld& world, Counters& counters) {
    for (int probe = 0; probe < kProbes; ++probe) {
        StatusSample status;
        counters.runtime[probe] = processRuntimeNanoseconds(runs[probe].pid);
        if (counters.runtime[probe] < 0 || !sampleStatus(runs[probe].pid, status)) return false;
        counters.switches[probe] = status.voluntarySwitches;
    }
    counters.requests = serverRequests(world);
    counters.commandRuns = fileSize(world.watchdogLog);
    return true;
}

// The floor's sleep is the watchdog's wait: the check period and the
// millisecond it adds so as never to wake early.
std::vector<std::string> floorWords(Probe probe, const ProbeWorld& world, pid_t memoryTarget) {
    std::vector<std::string> words{BENCH_PROBE_FLOOR, std::to_string(kWindowMs), std::to_string(kPeriodMs + 1),
                                   kSetups[probe].floorKind};
    switch (probe) {
    case kHeartbeat: words.push_back(world.heartbeat); break;
    case kMemory: words.push_back(std::to_string(memoryTarget)); break;
    case kUrl: words.push_back(world.url); break;
    case kCommand: words.insert(words.end(), {BENCH_PROBE_COMMAND, world.floorLog}); break;
    default: break;
    }
    return words;
}

int startsIn(const WatchRun& run) {
    const std::vector<TargetEvent> events = readTargetLog(run.targetLog);
    return static_cast<int>(std::count_if(events.begin(), events.end(), [](const TargetEvent& e) { return e.start; }));
}

// One round: the five watchdogs, past their start-up, over the window in
// which the floor processes run. Empty when it went well, otherwise why not.
std::string measureRound(int number, const ProbeWorld& world, Round& round) {
    WatchRun runs[kProbes];
    pid_t floors[kProbes] = {};
    auto stopAll = [&] {
        for (WatchRun& run : runs) stopWatch(run);
        for (pid_t floor : floors) killChild(floor);
    };
    for (int turn = 0; turn < kProbes; ++turn) {
        const auto probe = static_cast<Probe>((number + turn) % kProbes);
        WatchOptions options;
        options.checkPeriodMs = kPeriodMs;
        options.targetAlreadyRunning = true;
        options.moreSections = healthSection(probe, world);
        if (!startWatch(format("probe-%d-%d", number, probe), options, runs[probe])) {
            stopAll();
            return "cannot start the watchdog " + watchdogPath();
        }
    }
    usleep(500000); // past the start-up, the first connection and the first command

    Counters before, after;
    if (!readCounters(runs, world, before)) {
        stopAll();
        return "cannot read /proc of the watchdogs";
    }
    const pid_t memoryTarget = readTargetLog(runs[kMemory].targetLog).front().pid;
    for (int turn = 0; turn < kProbes; ++turn) {
        const auto probe = static_cast<Probe>((number + turn) % kProbes);
        floors[probe] = spawnWithOutput(floorWords(probe, world, memoryTarget),
                                        world.folder + format("/floor-%d-%d.txt", number, probe));
    }
    bool floorsDone = true;
    for (pid_t& floor : floors) {
        int status = 0;
        const bool ended = floor != 0 && waitForChild(floor, kWindowMs + 60000, &status);
        floorsDone = floorsDone && ended && WIFEXITED(status) && WEXITSTATUS(status) == 0;
        if (ended) floor = 0;
    }
    const bool counted = readCounters(runs, world, after);
    int restarts = 0;
    for (const WatchRun& run : runs) restarts += startsIn(run) - 1;
    stopAll();
    if (!floorsDone) return "a floor process failed (see " + world.folder + ")";
    if (!counted) return "cannot read /proc of the watchdogs";
    if (restarts != 0) return format("a target was restarted %d times (see %s)", restarts, runs[0].folder.c_str());

    long floorGets = 0;
    for (int probe = 0; probe < kProbes; ++probe) {
        long calls = 0, untimed = 0;
        long long spent = 0;
        std::istringstream(readFile(world.folder + format("/floor-%d-%d.txt", number, probe))) >> calls >> spent >>
            untimed;
        if (calls <= 0) return format("no calls counted for the %s floor", kSetups[probe].name);
        round.perCall[probe] = static_cast<double>(spent) / 1e6 / static_cast<double>(calls);
        if (probe == kUrl) floorGets = calls + untimed;
    }
    for (int probe = 0; probe < kProbes; ++probe) round.checks[probe] = after.switches[probe] - before.switches[probe];
    // These two sleep within their checks as well: what they leave behind
    // counts their checks instead.
    round.checks[kUrl] = after.requests - before.requests - floorGets;
    round.checks[kCommand] = after.commandRuns - before.commandRuns;
    for (int probe = 0; probe < kProbes; ++probe) {
        if (round.checks[probe] <= 0) return format("no checks counted for the %s watchdog", kSetups[probe].name);
        round.perCheck[probe] = static_cast<double>(after.runtime[probe] - before.runtime[probe]) / 1e6 /
                                static_cast<double>(round.checks[probe]);
    }
    return "";
}

std::pair<double, double> rangeOf(const std::vector<double>& values) {
    const auto [low, high] = std::minmax_element(values.begin(), values.end());
    return {*low, *high};
}

// Records the probe's line and returns its ratio to the floor.
double recordProbe(Probe probe, const std::vector<Round>& rounds) {
    std::vector<double> added, with, without, floor;
    double checks = 0;
    for (const Round& round : rounds) {
        added.push_back(round.perCheck[probe] - round.perCheck[kNoProbe]);
        with.push_back(round.perCheck[probe]);
        without.push_back(round.perCheck[kNoProbe]);
        floor.push_back(round.perCall[probe] - round.perCall[kNoProbe]);
        checks += static_cast<double>(round.checks[probe]);
    }
    const double cost = median(added);
    const double floorMs = median(floor);
    const double ratio = floorMs > 0 ? cost / floorMs : 0;
    const auto [addedLow, addedHigh] = rangeOf(added);
    const auto [floorLow, floorHigh] = rangeOf(floor);
    const ProbeSetup& setup = kSetups[probe];
    recordFigure(setup.slot,
                 format("CPU per check of the %s probe: %+.4f ms (%.4f with it, %.4f without; medians of %zu "
                        "rounds of about %.0f checks, rounds %+.4f to %+.4f); floor, %s: %.4f ms (%.4f to %.4f)",
                        setup.name, cost, median(with), median(without), rounds.size(),
                        checks / static_cast<double>(rounds.size()), addedLow, addedHigh, setup.floor, floorMs,
                        floorLow, floorHigh),
                 "<= 1.2 x floor", ratio, ratio <= 1.2);
    return ratio;
}

void probeCost(benchmark::State& state) {
    auto fail = [&](const std::string& reason) {
        state.SkipWithError(reason.c_str());
        for (int probe = kHeartbeat; probe < kProbes; ++probe)
            recordFailure(kSetups[probe].slot, format("CPU per check of the %s probe", kSetups[probe].name), reason);
    };
    settleProcessCount(100);
    ProbeWorld world;
    if (!startWorld(world)) {
        if (world.server != 0) killChild(world.server);
        return fail("cannot start " + std::string(BENCH_HTTP_SERVER) + " in " + world.folder);
    }
    std::vector<Round> rounds;
    std::string failure;
    for (auto _ : state) {
        for (int number = 0; number < kRounds && failure.empty(); ++number) {
            Round round;
            failure = measureRound(number, world, round);
            rounds.push_back(round);
        }
    }
    killChild(world.server);
    if (!failure.empty()) return fail(failure);
    std::vector<double> withoutProbes;
    for (const Round& round : rounds) withoutProbes.push_back(round.perCheck[kNoProbe]);
    state.SetIterationTime(median(withoutProbes) / 1000);
    for (int probe = kHeartbeat; probe < kProbes; ++probe)
        state.counters[std::string(kSetups[probe].floorKind) + "_ratio"] =
            recordProbe(static_cast<Probe>(probe), rounds);
}

} // namespace

BENCHMARK(probeCost)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace bench
