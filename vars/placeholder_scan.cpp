// The placeholder scan: one Variable per distinct "<...>" of the argument
// template.
#include <algorithm>

#include "vars/variable.h"

namespace procguard {

void scanPlaceholders(const std::wstring& argumentTemplate, VariableList& variables) {
    std::size_t searchFrom = 0;
    for (;;) {
        const std::size_t open = argumentTemplate.find(L'<', searchFrom);
        if (open == std::wstring::npos) return;
        // A second '<' before the '>' belongs to the name: there is no nesting.
        const std::size_t close = argumentTemplate.find(L'>', open);
        if (close == std::wstring::npos) return; // an unclosed '<' and everything after it stay plain text
        std::wstring name = argumentTemplate.substr(open, close - open + 1);
        const bool known =
            std::any_of(variables.begin(), variables.end(), [&](const Variable& v) { return v.name == name; });
        if (!known) variables.emplace_back(std::move(name), VariableKind::RestartCount, 0, std::wstring());
        searchFrom = close;
    }
}

} // namespace procguard
