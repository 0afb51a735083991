// Finish conditions: the rule that ends a surveillance run.
#pragma once

#include <cstdint>
#include <string>

#include "vars/variable.h"

namespace procguard {

// Held and stored as a 32-bit signed integer; every value other than 1, 2
// and 3 behaves as Never.
enum class FinishKind : std::int32_t {
    Never = 0,
    FileCount = 1,
    RestartCount = 2,
    VariableValue = 3,
};

struct FinishCondition {
    FinishKind type = FinishKind::Never;
    bool dataBool = false;    // true: greater, false: smaller
    std::wstring dataString;  // file mask or variable name (with its brackets)
    std::int32_t dataInt = 0; // threshold or maximum restarts
};

// True when the run must end. Reads the values evaluateVariables set in the
// same check; a FileCount condition searches the file system afresh.
bool isFinishConditionMet(const FinishCondition& condition, const VariableList& variables, std::uint32_t restartCount);

} // namespace procguard
