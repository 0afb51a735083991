// The settings of one run.
#pragma once

#include <cstdint>
#include <string>

#include "finish/finish_condition.h"
#include "health/health_checks.h"
#include "restart/restart_policy.h"
#include "vars/variable.h"

namespace procguard {

// The entry owns the only instance and lends it out.
struct WatchSettings {
    std::wstring processName;   // full path of the target executable
    std::wstring commandParams; // the argument template
    VariableList variables;
    std::uint32_t checkPeriod = 0;     // ms slept before each check
    std::uint32_t responseTimeout = 0; // ms a window has to answer, and a terminated process to end
    FinishCondition finishCondition;
    // Optional sections of a config file; the setup dialogue leaves them as
    // they are and a save does not write them.
    HealthChecks health;
    RestartPolicy restart;
};

} // namespace procguard
