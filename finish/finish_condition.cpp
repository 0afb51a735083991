// Decides, once per check, whether the surveillance run ends.
#include "finish/finish_condition.h"

#include "platform/files.h"

namespace procguard {

namespace {

bool passes(std::int32_t observed, bool greater, std::int32_t threshold) {
    return greater ? observed > threshold : observed < threshold;
}

} // namespace

bool isFinishConditionMet(const FinishCondition& condition, const VariableList& variables, std::uint32_t restartCount) {
    switch (condition.type) {
    case FinishKind::FileCount:
        // Searched afresh: the count must be the file system's state now.
        return passes(countMatchingFiles(condition.dataString), condition.dataBool, condition.dataInt);
    case FinishKind::RestartCount:
        // Compared as signed, so a maximum of 0 or less ends the run at the
        // first check.
        return static_cast<std::int32_t>(restartCount) >= condition.dataInt;
    case FinishKind::VariableValue:
        // The first record of that exact name decides; later ones of the
        // same name (possible in a loaded list) are never looked at.
        for (const Variable& variable : variables) {
            if (variable.name == condition.dataString)
                return passes(variable.value, condition.dataBool, condition.dataInt);
        }
        return false;
    default:
        // Never, and any other number stored by the dialogue or a config file.
        return false;
    }
}

} // namespace procguard
