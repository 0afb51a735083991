// Builds the argument line of a restart from the argument template.
#include "base/decimal.h"
#include "vars/variable.h"

namespace procguard {

namespace {

// The longest command line Windows can start. Values may contain the names
// of later variables (a config file can name a variable "1"), so each
// variable could otherwise multiply the line's length; past this nothing
// could be started anyway.
constexpr std::size_t kMaxArgumentLine = 32767;

} // namespace

std::wstring substituteVariables(const std::wstring& argumentTemplate, const VariableList& variables) {
    std::wstring line = argumentTemplate;
    std::wstring next;
    for (const Variable& variable : variables) {
        // An empty name would be found at every position and never let the
        // search move on; such a record (only a config file can hold one)
        // takes no part.
        if (variable.name.empty()) continue;
        const std::wstring text = formatDecimal(variable.value);
        // The search resumes behind each inserted value, so the occurrences
        // are those of the line as the earlier variables left it, scanned
        // left to right; building a new line keeps this linear.
        next.clear();
        std::size_t copied = 0;
        bool capped = false;
        for (std::size_t at = line.find(variable.name); at != std::wstring::npos;
             at = line.find(variable.name, copied)) {
            const std::size_t projected =
                next.size() + (at - copied) + text.size() + (line.size() - at - variable.name.size());
            if (text.size() > variable.name.size() && projected > kMaxArgumentLine) {
                capped = true;
                break;
            }
            next.append(line, copied, at - copied);
            next += text;
            copied = at + variable.name.size();
        }
        next.append(line, copied, std::wstring::npos);
        line.swap(next);
        if (capped) break;
    }
    return line;
}

} // namespace procguard
