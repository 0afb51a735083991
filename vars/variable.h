// Restart variables: the placeholders of the argument template.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace procguard {

// Held and stored as a 32-bit signed integer; any other number is kept as it
// is and never computed.
enum class VariableKind : std::int32_t {
    RestartCount = 0,
    FileCount = 1,
};

struct Variable {
    std::wstring name; // the placeholder with both angle brackets, compared exactly
    std::wstring data; // file mask of a FileCount variable
    VariableKind type = VariableKind::RestartCount;
    std::int32_t baseValue = 0;
    std::int32_t value = 0; // current value; written only by evaluateVariables

    Variable() = default;
    Variable(std::wstring name, VariableKind type, std::int32_t baseValue, std::wstring data)
            : name(std::move(name)), data(std::move(data)), type(type), baseValue(baseValue) {}
};

using VariableList = std::vector<Variable>;

// Appends one RestartCount record per distinct "<...>" placeholder of
// `argumentTemplate` that the list does not hold yet, in order of first
// appearance. No nesting and no escaping: the name runs from a '<' to the
// first '>' after it.
void scanPlaceholders(const std::wstring& argumentTemplate, VariableList& variables);

// Recomputes every variable's value for `restartCount`: RestartCount is
// base + count, FileCount is base + countMatchingFiles(data), both wrapping
// as 32-bit two's complement; other kinds are left alone.
void evaluateVariables(VariableList& variables, std::uint32_t restartCount);

// The argument line: every occurrence of each variable's name, in list
// order, replaced by its value in decimal. A variable with an empty name is
// left out (the empty text would match everywhere).
std::wstring substituteVariables(const std::wstring& argumentTemplate, const VariableList& variables);

} // namespace procguard
