#include "bench/figures.h"

#include <cstdarg>
#include <map>

namespace bench {

namespace {

struct Line {
    std::string text;
    bool measured = false;
    bool met = false;
    bool hasGoal = true;
};

std::map<FigureSlot, Line>& lines() {
    static std::map<FigureSlot, Line> recorded;
    return recorded;
}

} // namespace

void recordFigure(FigureSlot slot, const std::string& value, const std::string& goal, double ratio, bool met) {
    lines()[slot] = {
        format("%s | goal %s | ratio %.2f | %s", value.c_str(), goal.c_str(), ratio, met ? "met" : "NOT MET"), true,
        met};
}

void recordNote(FigureSlot slot, const std::string& text) { lines()[slot] = {text, true, false, false}; }

void recordFailure(FigureSlot slot, const std::string& what, const std::string& reason) {
    lines()[slot] = {what + " | NOT MEASURED: " + reason, false, false};
}

int printFigures(std::FILE* out) {
    int unmeasured = 0;
    int met = 0;
    int goals = 0;
    for (const auto& [slot, line] : lines()) {
        std::fprintf(out, "%s\n", line.text.c_str());
        if (!line.measured) ++unmeasured;
        if (line.met) ++met;
        if (line.hasGoal) ++goals;
    }
    std::fprintf(out, "goals met: %d of %d\n", met, goals);
    std::fflush(out);
    return unmeasured;
}

std::string format(const char* pattern, ...) {
    char buffer[512];
    va_list arguments;
    va_start(arguments, pattern);
    std::vsnprintf(buffer, sizeof buffer, pattern, arguments);
    va_end(arguments);
    return buffer;
}

} // namespace bench
