// Builds the argument line of a restart from the argument template.
#include "config/profile.h"
#include "vars/variable.h"

namespace procguard {

std::wstring substituteVariables(const std::wstring& argumentTemplate, const VariableList& variables) {
    std::wstring line = argumentTemplate;
    for (const Variable& variable : variables) {
        // An empty name would be found at every position and never let the
        // search move on; such a record (only a config file can hold one)
        // takes no part.
        if (variable.name.empty())
            continue;
        const std::wstring text = formatDecimal(variable.value);
        std::size_t searchFrom = 0;
        for (;;) {
            const std::size_t at = line.find(variable.name, searchFrom);
            if (at == std::wstring::npos)
                break;
            line.replace(at, variable.name.size(), text);
            // Resume behind the inserted digits so that a name made of digits
            // cannot match its own value again.
            searchFrom = at + text.size();
        }
    }
    return line;
}

} // namespace procguard
