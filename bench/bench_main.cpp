// procguard_bench: measures the watchdog against the floor of what the
// platform allows, and against its goals, in one run.
//
// The Google Benchmark table goes to standard error; standard output gets
// one line per figure with its goal and ratio. The exit code is 0 when every
// figure was measured, whether or not its goal holds, and 1 otherwise.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <iostream>
#include <string>

#include "bench/bench_support.h"
#include "bench/figures.h"

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 2;
    bench::installInterruptCleanup();

    // The table usually goes to a log file: colours only for a terminal.
    benchmark::ConsoleReporter table(isatty(STDERR_FILENO) ? benchmark::ConsoleReporter::OO_ColorTabular
                                                           : benchmark::ConsoleReporter::OO_Tabular);
    table.SetOutputStream(&std::cerr);
    table.SetErrorStream(&std::cerr);
    benchmark::RunSpecifiedBenchmarks(&table);
    benchmark::Shutdown();

    bench::releaseIdleProcesses();
    const std::string scratch = bench::scratchDirectory();
    const bool allMeasured = bench::printFigures(stdout) == 0;
    bench::removeScratchDirectory(!allMeasured);
    if (!allMeasured) std::fprintf(stderr, "logs of the failed run kept in %s\n", scratch.c_str());
    return allMeasured ? 0 : 1;
}
