// The placeholder scan and the argument substitution on any template and
// any variable list.
//
// Input: template NUL variable NUL variable ..., one character per byte.
// Each variable is "<value> <name>" (a decimal value, a blank, then the
// name; without a leading number the value is 0 and the whole field is the
// name). These stand for a list loaded from a config file: names of any
// form, duplicates and empty names included. The scan then appends the
// template's own placeholders, which take the given values in turn.
#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "config/profile.h"
#include "fuzz/fuzz_failure.h"
#include "base/decimal.h"
#include "vars/variable.h"

namespace {

using namespace procguard;

// The longest command line Windows starts: substitution stops growing the
// line there, however the names and values multiply it.
constexpr std::size_t kLongestCommandLine = 32767;
// Where growthBound stops counting.
constexpr std::size_t kUncounted = std::size_t{1} << 40;

Variable parseVariable(const std::wstring& field) {
    std::size_t at = 0;
    const bool negative = at < field.size() && field[at] == L'-';
    if (negative) ++at;
    std::int64_t value = 0;
    std::size_t digits = 0;
    for (; at < field.size() && field[at] >= L'0' && field[at] <= L'9'; ++at, ++digits)
        value = std::min<std::int64_t>(value * 10 + (field[at] - L'0'), std::int64_t{1} << 31);
    if (digits == 0 || at >= field.size() || field[at] != L' ')
        return Variable(field, VariableKind::RestartCount, 0, {});
    value = negative ? -value : value;
    Variable variable(field.substr(at + 1), VariableKind::RestartCount, 0, {});
    variable.value = static_cast<std::int32_t>(std::clamp<std::int64_t>(value, INT32_MIN, INT32_MAX));
    return variable;
}

std::vector<std::wstring> splitAtNul(const std::wstring& text) {
    std::vector<std::wstring> fields;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find(L'\0', start)) != std::wstring::npos; start = end + 1)
        fields.push_back(text.substr(start, end - start));
    fields.push_back(text.substr(start));
    return fields;
}

// The longest line substitution can make: each variable replaces at most
// one occurrence per |name| characters of the line as it stands, each
// growing it by |value text| - |name|.
std::size_t growthBound(std::size_t length, const VariableList& variables) {
    for (const Variable& variable : variables) {
        const std::size_t name = variable.name.size();
        const std::size_t text = formatDecimal(variable.value).size();
        if (name == 0 || text <= name) continue;
        length += length / name * (text - name);
        if (length > kUncounted) return kUncounted;
    }
    return length;
}

// Scanned names begin with '<' and end with '>', appear in the template, and
// hold each name once.
void checkScan(const std::wstring& argumentTemplate, const VariableList& given, const VariableList& scanned) {
    VariableList fresh;
    scanPlaceholders(argumentTemplate, fresh);
    std::size_t opening = std::count(argumentTemplate.begin(), argumentTemplate.end(), L'<');
    if (fresh.size() > opening) fail("more placeholders than opening brackets");
    for (std::size_t i = 0; i < fresh.size(); ++i) {
        const std::wstring& name = fresh[i].name;
        if (name.size() < 2 || name.front() != L'<' || name.back() != L'>') fail("a placeholder without brackets");
        if (name.find(L'>') != name.size() - 1) fail("a placeholder runs past its first closing bracket");
        if (argumentTemplate.find(name) == std::wstring::npos) fail("a placeholder that is not in the template");
        for (std::size_t j = 0; j < i; ++j)
            if (fresh[j].name == name) fail("a placeholder listed twice");
        if (fresh[i].type != VariableKind::RestartCount || fresh[i].baseValue != 0 || fresh[i].value != 0 ||
            !fresh[i].data.empty())
            fail("a new record is not blank");
    }
    // Appending to a given list keeps it and adds exactly the names it lacks.
    if (!std::equal(given.begin(), given.end(), scanned.begin(),
                    [](const Variable& a, const Variable& b) { return a.name == b.name; }))
        fail("the scan changed the records it was given");
    std::vector<std::wstring> expected;
    for (const Variable& v : fresh)
        if (std::none_of(given.begin(), given.end(), [&](const Variable& g) { return g.name == v.name; }))
            expected.push_back(v.name);
    if (scanned.size() != given.size() + expected.size()) fail("the scan appended the wrong number of records");
    for (std::size_t i = 0; i < expected.size(); ++i)
        if (scanned[given.size() + i].name != expected[i]) fail("the scan appended the wrong names");
}

// Each replacement of a scanned name uses up one of the template's opening
// brackets (inserted digits hold none) and adds at most 9 characters.
void checkScannedSubstitution(const std::wstring& argumentTemplate, const VariableList& given) {
    VariableList scanned;
    scanPlaceholders(argumentTemplate, scanned);
    for (std::size_t i = 0; i < scanned.size(); ++i)
        scanned[i].value = given.empty() ? static_cast<std::int32_t>(i) * -104729 : given[i % given.size()].value;
    const std::wstring line = substituteVariables(argumentTemplate, scanned);
    const std::size_t opening = std::count(argumentTemplate.begin(), argumentTemplate.end(), L'<');
    if (line.size() > argumentTemplate.size() + 9 * opening) fail("substitution grew past its bound");
    if (scanned.empty() && line != argumentTemplate) fail("a line without variables changed");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::vector<std::wstring> fields = splitAtNul(std::wstring(data, data + size));
    const std::wstring& argumentTemplate = fields[0];
    VariableList given;
    for (std::size_t i = 1; i < fields.size(); ++i) given.push_back(parseVariable(fields[i]));

    VariableList variables = given;
    scanPlaceholders(argumentTemplate, variables);
    checkScan(argumentTemplate, given, variables);
    checkScannedSubstitution(argumentTemplate, given);

    for (std::size_t i = given.size(); i < variables.size(); ++i)
        variables[i].value = given.empty() ? static_cast<std::int32_t>(i) : given[i % given.size()].value;
    const std::wstring line = substituteVariables(argumentTemplate, variables);
    if (line.size() > growthBound(argumentTemplate.size(), variables)) fail("substitution grew past its bound");
    if (line.size() > std::max(argumentTemplate.size(), kLongestCommandLine))
        fail("substitution grew past the longest command line");
    return 0;
}
