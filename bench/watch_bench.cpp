// The real watchdog at work: how soon it restarts a target that exited, and
// what watching costs in memory and CPU time.
#include <benchmark/benchmark.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "bench/figures.h"
#include "bench/watch_run.h"

namespace bench {

namespace {

constexpr int kRestarts = 80;

// Time from each exit of the target to the start of the next instance.
std::vector<double> restartLatencies(const std::vector<TargetEvent>& events) {
    std::vector<double> latencies;
    std::int64_t exited = -1;
    for (const TargetEvent& event : events) {
        if (!event.start) {
            exited = event.ns;
        } else if (exited >= 0) {
            latencies.push_back(static_cast<double>(event.ns - exited));
            exited = -1;
        }
    }
    return latencies;
}

// Runs the watchdog with the check period `period` until it has restarted
// the target `restarts` times, and returns the latencies; none, with
// `failure` saying why, when the run did not give them all. The target lives
// between half a check period and one and a half, so its exits fall at every
// phase of the checks.
std::vector<double> runRestarts(const std::string& name, std::uint32_t period, int restarts,
                                const std::string& moreSections, std::string& failure) {
    WatchOptions options;
    options.checkPeriodMs = period;
    options.finishType = 2; // done after `restarts` restarts
    options.finishCount = restarts;
    options.targetMinMs = period / 2;
    options.targetMaxMs = period * 3 / 2;
    options.moreSections = moreSections;
    WatchRun run;
    if (!startWatch(name, options, run)) {
        failure = "cannot start the watchdog " + watchdogPath();
        return {};
    }
    const int timeoutMs = restarts * static_cast<int>(3 * period + 200) + 5000;
    const bool finished = waitForChild(run.pid, timeoutMs);
    if (finished) run.pid = 0;
    // The last instance may not have written its start yet when the
    // watchdog ends: on a busy machine an exec can take a while.
    waitForTargetStarts(run, static_cast<std::size_t>(restarts), 5000);
    stopWatch(run);
    std::vector<double> latencies = restartLatencies(readTargetLog(run.targetLog));
    if (!finished || static_cast<int>(latencies.size()) + 1 < restarts) {
        failure = format("%s with %zu of %d restart latencies (see %s)", finished ? "finished" : "timed out",
                         latencies.size(), restarts - 1, run.folder.c_str());
        return {};
    }
    return latencies;
}

double worstOf(const std::vector<double>& values) { return *std::max_element(values.begin(), values.end()); }

void restartLatency(benchmark::State& state) {
    const auto period = static_cast<std::uint32_t>(state.range(0));
    const FigureSlot slot = period < 100 ? FigureSlot::RestartLatencyShort : FigureSlot::RestartLatencyLong;
    const std::string what = format("restart latency, check period %u ms", period);
    releaseIdleProcesses();

    std::vector<double> latencies;
    for (auto _ : state) {
        std::string failure;
        latencies = runRestarts(format("latency-%u", period), period, kRestarts, "", failure);
        if (latencies.empty()) {
            state.SkipWithError(failure.c_str());
            recordFailure(slot, what, failure);
            return;
        }
        state.SetIterationTime(median(latencies) / 1e9);
    }

    const double middle = median(latencies) / 1e6;
    const double worst = worstOf(latencies) / 1e6;
    const double goal = period + 20.0;
    state.counters["median_ms"] = middle;
    state.counters["worst_ms"] = worst;
    state.counters["latencies"] = static_cast<double>(latencies.size());
    recordFigure(
        slot,
        format("%s: median %.1f ms, worst %.1f ms over %zu restarts", what.c_str(), middle, worst, latencies.size()),
        format("median <= %.0f ms", goal), middle / goal, middle <= goal);
}

// With restartOnExit=1 the wait between checks ends when the held target
// ends, so the latency no longer depends on the check period. Each period is
// run without the key too, in the same way, for the comparison; at 1 s with
// fewer restarts, or the pair alone would take two and a half minutes.
void restartOnExitLatency(benchmark::State& state) {
    const auto period = static_cast<std::uint32_t>(state.range(0));
    const int restarts = period >= 1000 ? 30 : kRestarts;
    const FigureSlot slot = period < 1000 ? FigureSlot::RestartOnExitShort : FigureSlot::RestartOnExitLong;
    const std::string what = format("restart latency with restartOnExit=1, check period %u ms", period);
    constexpr double kGoalMs = 5;
    releaseIdleProcesses();

    std::vector<double> onExit, atCheck;
    for (auto _ : state) {
        std::string failure;
        atCheck = runRestarts(format("exit-at-check-%u", period), period, restarts, "", failure);
        if (!atCheck.empty())
            onExit =
                runRestarts(format("exit-wakes-%u", period), period, restarts, "[restart]\nrestartOnExit=1\n", failure);
        if (onExit.empty()) {
            state.SkipWithError(failure.c_str());
            recordFailure(slot, what, failure);
            return;
        }
        state.SetIterationTime(median(onExit) / 1e9);
    }

    const double middle = median(onExit) / 1e6;
    state.counters["median_ms"] = middle;
    state.counters["worst_ms"] = worstOf(onExit) / 1e6;
    state.counters["without_median_ms"] = median(atCheck) / 1e6;
    recordFigure(slot,
                 format("%s: median %.2f ms, worst %.2f ms over %zu restarts (without it: median %.1f ms, worst "
                        "%.1f ms over %zu)",
                        what.c_str(), middle, worstOf(onExit) / 1e6, onExit.size(), median(atCheck) / 1e6,
                        worstOf(atCheck) / 1e6, atCheck.size()),
                 format("median <= %.0f ms", kGoalMs), middle / kGoalMs, middle <= kGoalMs);
}

FigureSlot cpuSlotFor(int processes) {
    if (processes <= 100) return FigureSlot::CpuPerCheck100;
    if (processes <= 1000) return FigureSlot::CpuPerCheck1000;
    return FigureSlot::CpuPerCheck4000;
}

// The floor of a check: the scheduler runtime of one wake-up from a bare
// sleep of the check period, measured here at the same pace. On a small
// virtual machine a timer wake-up alone costs tens of microseconds.
double sleepFloorMs(std::uint32_t periodMs, int wakeUps) {
    const timespec pause{0, static_cast<long>(periodMs) * 1000000L};
    nanosleep(&pause, nullptr);
    const std::int64_t begin = processRuntimeNanoseconds(getpid());
    for (int i = 0; i < wakeUps; ++i) nanosleep(&pause, nullptr);
    const std::int64_t end = processRuntimeNanoseconds(getpid());
    return begin < 0 || end < begin ? -1 : static_cast<double>(end - begin) / 1e6 / wakeUps;
}

// CPU per check at each size, for the growth figure at the end.
std::map<int, double>& cpuPerCheckBySize() {
    static std::map<int, double> figures;
    return figures;
}

void recordGrowth() {
    const auto& figures = cpuPerCheckBySize();
    if (figures.count(100) == 0 || figures.count(4000) == 0 || figures.at(100) <= 0) return;
    const double growth = figures.at(4000) / figures.at(100);
    recordFigure(FigureSlot::CpuPerCheckGrowth,
                 format("CPU per check, about 4,000 against about 100 processes: %.3f ms against %.3f ms",
                        figures.at(4000), figures.at(100)),
                 "<= 2 x", growth / 2, growth <= 2);
}

// The watchdog checks every 10 ms for a target that keeps running. The
// target runs before the watchdog starts, so the watchdog finds it by its
// image path and holds it: the costlier of the two healthy cases (a target
// the watchdog started itself is not even compared). Each check sleeps once,
// and nothing else in a check sleeps, so the watchdog's voluntary context
// switches count its checks; its scheduler runtime (nanoseconds) is the CPU
// time, since utime and stime count whole clock ticks.
void watchCost(benchmark::State& state) {
    const int wanted = static_cast<int>(state.range(0));
    constexpr std::uint32_t kPeriodMs = 10;
    constexpr int kWindowMs = 6000;
    const int running = settleProcessCount(wanted);
    const FigureSlot cpuSlot = cpuSlotFor(wanted);
    const std::string cpuWhat = format("CPU per healthy check, about %d processes", wanted);
    const std::string memoryWhat = "memory while watching";
    const bool measuresMemory = wanted == 1000;
    auto fail = [&](const std::string& reason) {
        state.SkipWithError(reason.c_str());
        recordFailure(cpuSlot, cpuWhat, reason);
        if (measuresMemory) recordFailure(FigureSlot::Memory, memoryWhat, reason);
    };
    if (running < wanted * 9 / 10) return fail("could not start enough idle processes");

    for (auto _ : state) {
        WatchOptions options;
        options.checkPeriodMs = kPeriodMs;
        options.targetAlreadyRunning = true;
        WatchRun run;
        if (!startWatch(format("cost-%d", wanted), options, run))
            return fail("cannot start the watchdog " + watchdogPath());
        int processes = 0;
        const int place = placeInProcessList(readTargetLog(run.targetLog).front().pid, processes);
        usleep(500000); // past the start-up

        StatusSample first, sample, largest;
        sampleStatus(run.pid, first);
        const std::int64_t cpuBegin = processCpuNanoseconds(run.pid);
        const std::int64_t runtimeBegin = processRuntimeNanoseconds(run.pid);
        const std::int64_t wallBegin = monotonicNanoseconds();
        for (int waited = 0; waited < kWindowMs; waited += 200) {
            usleep(200000);
            if (sampleStatus(run.pid, sample) && sample.rssKib > largest.rssKib) largest = sample;
        }
        sampleStatus(run.pid, sample);
        const std::int64_t cpu = processCpuNanoseconds(run.pid) - cpuBegin;
        const std::int64_t runtime = processRuntimeNanoseconds(run.pid) - runtimeBegin;
        const double wallMs = static_cast<double>(monotonicNanoseconds() - wallBegin) / 1e6;
        const std::vector<TargetEvent> events = readTargetLog(run.targetLog);
        const auto starts = static_cast<std::size_t>(
            std::count_if(events.begin(), events.end(), [](const TargetEvent& event) { return event.start; }));
        stopWatch(run);
        const long checks = sample.voluntarySwitches - first.voluntarySwitches;
        if (checks <= 0 || largest.rssKib == 0 || cpu < 0 || runtimeBegin < 0)
            return fail("cannot read /proc of the watchdog");
        if (starts != 1) return fail(format("the target was restarted %zu times", starts - 1));

        const double floorMs = sleepFloorMs(kPeriodMs, 200);
        const double cpuMs = static_cast<double>(runtime) / 1e6 / static_cast<double>(checks);
        const double ticksMs = static_cast<double>(cpu) / 1e6 / static_cast<double>(checks);
        const double rssMib = static_cast<double>(largest.rssKib) / 1024;
        cpuPerCheckBySize()[wanted] = cpuMs;
        state.SetIterationTime(cpuMs / 1000);
        state.counters["cpu_ms_per_check"] = cpuMs;
        state.counters["checks"] = static_cast<double>(checks);
        state.counters["processes"] = processes;
        state.counters["rss_kib"] = static_cast<double>(largest.rssKib);
        recordFigure(cpuSlot,
                     format("%s (%d running, target %d of them): %.4f ms per check (scheduler runtime over %ld "
                            "checks in %.1f s; utime+stime %.3f ms; floor, a bare %u ms sleep: %.4f ms)",
                            cpuWhat.c_str(), processes, place, cpuMs, checks, wallMs / 1000, ticksMs, kPeriodMs,
                            floorMs),
                     "< 0.05 ms", cpuMs / 0.05, cpuMs < 0.05);
        if (measuresMemory)
            recordFigure(FigureSlot::Memory,
                         format("%s %d processes: VmRSS %.2f MiB (anonymous %ld KiB, file-backed %ld KiB; peak "
                                "VmHWM %ld KiB)",
                                memoryWhat.c_str(), processes, rssMib, largest.rssAnonKib, largest.rssFileKib,
                                sample.hwmKib),
                         "< 4 MiB", rssMib / 4, rssMib < 4);
    }
    recordGrowth();
}

} // namespace

BENCHMARK(watchCost)->Arg(4000)->Arg(1000)->Arg(100)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(restartLatency)->Arg(20)->Arg(100)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(restartOnExitLatency)->Arg(100)->Arg(1000)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace bench
