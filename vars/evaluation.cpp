// Recomputes the variables' current values at every check.
#include "platform/files.h"
#include "vars/variable.h"

namespace procguard {

namespace {

// Two's-complement sum: the addition is done unsigned, where overflow is
// defined, and the conversion back to signed is modular.
std::int32_t wrappingSum(std::uint32_t a, std::uint32_t b) { return static_cast<std::int32_t>(a + b); }

} // namespace

void evaluateVariables(VariableList& variables, std::uint32_t restartCount) {
    for (Variable& variable : variables) {
        const auto base = static_cast<std::uint32_t>(variable.baseValue);
        switch (variable.type) {
        case VariableKind::RestartCount: variable.value = wrappingSum(base, restartCount); break;
        case VariableKind::FileCount:
            // No caching: two variables with one mask search twice, so each
            // sees the file system as it is now.
            variable.value = wrappingSum(static_cast<std::uint32_t>(countMatchingFiles(variable.data)), base);
            break;
        default:
            // Unknown kinds are kept as loaded or typed but never computed.
            break;
        }
    }
}

} // namespace procguard
