// The summary the benchmark run ends with: one line per figure, with its goal
// and its ratio to the goal or to the floor it is measured against.
#pragma once

#include <cstdio>
#include <string>

namespace bench {

// Where a figure's line stands in the summary.
enum class FigureSlot {
    Lookup100,
    Lookup1000,
    Lookup4000,
    RestartLatencyShort,
    RestartLatencyLong,
    RestartOnExitShort,
    RestartOnExitLong,
    Memory,
    CpuPerCheck100,
    CpuPerCheck1000,
    CpuPerCheck4000,
    CpuPerCheckGrowth,
    ProbeHeartbeat,
    ProbeMemory,
    ProbeUrl,
    ProbeCommand,
    FileCount,
    WindowCheck0,
    WindowCheck100,
    WindowCheck1000,
    WindowCheckGrowth,
    WindowServerGrowth,
    WineWindowCheck0,
    WineWindowCheck100,
    WineWindowCheck1000,
    WineWindowCheckGrowth,
    WineServerGrowth,
};

// Records (or replaces) the line of one figure. `value` says what was
// measured, `goal` what it should be, `ratio` is the measured figure divided
// by its goal or floor, and `met` whether the goal holds.
void recordFigure(FigureSlot slot, const std::string& value, const std::string& goal, double ratio, bool met);

// Records a line that gives figures but has no goal of its own.
void recordNote(FigureSlot slot, const std::string& text);

// Records a figure that could not be measured, with the reason.
void recordFailure(FigureSlot slot, const std::string& what, const std::string& reason);

// Prints every recorded line in slot order and a last line that counts the
// goals met (notes have none). Returns how many figures could not be measured.
int printFigures(std::FILE* out);

// printf into a std::string.
std::string format(const char* pattern, ...) __attribute__((format(printf, 1, 2)));

} // namespace bench
