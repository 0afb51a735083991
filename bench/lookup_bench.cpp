// One target lookup against the floor the platform allows: listing /proc and
// reading every process's exe link, and nothing else.
//
// The lookup asks for a path that no process runs, so it reads every process
// too. Each iteration times one lookup and one pass of the floor, in turns,
// so load that comes and goes on the machine falls on both alike.
#include <benchmark/benchmark.h>

#include "target/process_lookup.h"
#include "bench/bench_support.h"
#include "bench/figures.h"

namespace bench {

namespace {

const std::wstring kAbsentTarget = L"/nonexistent/procguard-bench/absent-target";

FigureSlot slotFor(int processes) {
    if (processes <= 100) return FigureSlot::Lookup100;
    if (processes <= 1000) return FigureSlot::Lookup1000;
    return FigureSlot::Lookup4000;
}

void lookupAgainstFloor(benchmark::State& state) {
    const int wanted = static_cast<int>(state.range(0));
    const int running = settleProcessCount(wanted);
    const std::string what = format("lookup, about %d processes (%d running)", wanted, running);
    if (running < wanted * 9 / 10) {
        state.SkipWithError("could not start enough idle processes");
        recordFailure(slotFor(wanted), what, "could not start enough idle processes");
        return;
    }

    std::vector<double> lookupNs;
    std::vector<double> floorNs;
    bool lookupFirst = false;
    for (auto _ : state) {
        lookupFirst = !lookupFirst;
        for (int turn = 0; turn < 2; ++turn) {
            const bool lookup = (turn == 0) == lookupFirst;
            const std::int64_t begin = threadCpuNanoseconds();
            if (lookup) {
                benchmark::DoNotOptimize(procguard::findProcessByPath(kAbsentTarget));
            } else {
                benchmark::DoNotOptimize(readEveryExeLink());
            }
            const double spent = static_cast<double>(threadCpuNanoseconds() - begin);
            (lookup ? lookupNs : floorNs).push_back(spent);
        }
    }

    const double lookup = median(lookupNs);
    const double floor = median(floorNs);
    const double ratio = floor > 0 ? lookup / floor : 0;
    state.counters["processes"] = running;
    state.counters["lookup_us"] = lookup / 1000;
    state.counters["floor_us"] = floor / 1000;
    state.counters["ratio"] = ratio;
    recordFigure(slotFor(wanted),
                 format("%s: findProcessByPath %.1f us, floor %.1f us (CPU time, median of %zu)", what.c_str(),
                        lookup / 1000, floor / 1000, lookupNs.size()),
                 "<= 1.20 x floor", ratio, ratio <= 1.2);
}

} // namespace

// Fixed iteration counts keep the run short when the machine is busy: about
// half a second of CPU time for each size.
BENCHMARK(lookupAgainstFloor)->Arg(100)->Iterations(600)->Unit(benchmark::kMicrosecond);
BENCHMARK(lookupAgainstFloor)->Arg(1000)->Iterations(60)->Unit(benchmark::kMicrosecond);
BENCHMARK(lookupAgainstFloor)->Arg(4000)->Iterations(16)->Unit(benchmark::kMicrosecond);

} // namespace bench
