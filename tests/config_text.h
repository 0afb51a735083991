// The text of a config file for a run of the real watchdog, for the tests
// and benchmarks that start it on one: the sections a save writes, each
// once. Tests that feed the watchdog odd files (repeated keys, junk, other
// encodings) write those by hand instead.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace procguard::test {

struct ConfigVariable {
    int type = 0; // 0 restart count, 1 file count
    std::string name{};
    std::string data{};
    int baseValue = 0;
};

struct RunConfig {
    std::string processName{};
    std::string commandParams{};
    std::uint32_t checkPeriod = 10000;
    std::uint32_t responseTimeout = 30000;
    int finishType = 0;  // 0 never, 1 file count, 2 restart count, 3 variable value
    int finishCount = 0; // dataInt: the threshold or the most restarts
    std::vector<ConfigVariable> variables{};
    std::string variableCount{}; // "variables=" as written; empty: the number of `variables`
    std::string moreSections{};  // appended as it stands, e.g. "[health]\nmemoryLimit=64\n"
};

inline std::string configText(const RunConfig& config) {
    const std::string count =
        config.variableCount.empty() ? std::to_string(config.variables.size()) : config.variableCount;
    std::string text = "[main]\nprocessName=" + config.processName + "\ncommandParams=" + config.commandParams +
                       "\ncheckPeriod=" + std::to_string(config.checkPeriod) +
                       "\nresponseTimeout=" + std::to_string(config.responseTimeout) + "\nvariables=" + count + "\n";
    text += "[finishCondition]\ntype=" + std::to_string(config.finishType) +
            "\ndataInt=" + std::to_string(config.finishCount) + "\ndataString=\ndataBool=false\n";
    for (std::size_t i = 0; i < config.variables.size(); ++i) {
        const ConfigVariable& variable = config.variables[i];
        text += "[variable" + std::to_string(i) + "]\ntype=" + std::to_string(variable.type) +
                "\nname=" + variable.name + "\ndata=" + variable.data +
                "\nbaseValue=" + std::to_string(variable.baseValue) + "\n";
    }
    return text + config.moreSections;
}

} // namespace procguard::test
