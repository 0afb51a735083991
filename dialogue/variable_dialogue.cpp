// The console dialogue that keeps or declines each placeholder found and sets
// the kind, file mask and base value of those kept.
#include "dialogue/variable_dialogue.h"

#include "base/decimal.h"
#include "console/console.h"
#include "dialogue/path_answer.h"
#include "dialogue/prompts.h"

namespace procguard {

namespace {

// Asks the kind, the file mask (file counts only) and the base value of a
// kept record. False when the input ended; the record then keeps whatever it
// had been given so far.
bool defineVariable(Variable& variable) {
    print("By what should this value be replaced?\n[");
    print(formatDecimal(static_cast<std::int32_t>(VariableKind::RestartCount)));
    print("] Number of times the program has been restarted.\n[");
    print(formatDecimal(static_cast<std::int32_t>(VariableKind::FileCount)));
    // An answer that is no number is asked again rather than leaving the
    // kind, and every question after it, without a defined answer.
    const std::int32_t kind =
        askSignedNumber("] Number of files matching a certain pattern (e.g. files in a folder).\nYour choice: ");
    if (consoleInputEnded()) return false;
    // Any number is kept; kinds other than 0 and 1 are simply never computed.
    variable.type = static_cast<VariableKind>(kind);

    if (variable.type == VariableKind::FileCount) {
        promptForLine(kFileMaskPrompt);
        std::wstring mask;
        if (readPathLine(mask) == ReadStatus::Ended) return false;
        variable.data = std::move(mask);
    }

    const std::int32_t base =
        askSignedNumber("Enter the base value for this variable (value to be added or subtracted from the "
                        "calculated value): ");
    if (consoleInputEnded()) return false;
    variable.baseValue = base;
    return true;
}

} // namespace

void defineVariables(VariableList& variables) {
    if (variables.empty()) return;
    print("Variables found:\n");
    std::size_t place = 0;
    while (place < variables.size()) {
        print(variables[place].name);
        print("\nUse this variable? (y/n) ");
        wchar_t answer = 0;
        if (readCharacter(answer) == ReadStatus::Ended) return;
        if (answer == L'y' || answer == L'Y') {
            if (!defineVariable(variables[place])) return;
            ++place;
        } else {
            // The next record moves into this place and is asked about next.
            variables.erase(variables.begin() + static_cast<std::ptrdiff_t>(place));
        }
    }
}

} // namespace procguard
