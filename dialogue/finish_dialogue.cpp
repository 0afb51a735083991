// The console dialogue that chooses when the surveillance run ends.
#include "dialogue/finish_dialogue.h"

#include "base/decimal.h"
#include "console/console.h"
#include "dialogue/path_answer.h"
#include "dialogue/prompts.h"

namespace procguard {

namespace {

std::wstring number(FinishKind kind) { return formatDecimal(static_cast<std::int32_t>(kind)); }

// A threshold or maximum; an answer that is no number counts as 0, one too
// large for the field as the nearest limit (a maximum of 3000000000 restarts
// must not end the run at once). False when the input ended.
bool readThreshold(const char* prompt, std::int32_t& threshold) {
    print(prompt);
    std::int32_t answer = 0;
    if (readClampedSignedNumber(answer) == ReadStatus::Ended) return false;
    threshold = answer;
    return true;
}

// Only '<' selects the smaller direction; every other character is taken as
// greater. Only that one character is consumed: the rest of the line is left
// for the next question of the setup.
void readDirection(const char* prompt, bool& greater) {
    print(prompt);
    wchar_t answer = 0;
    if (readCharacter(answer) == ReadStatus::Ended) return;
    greater = answer != L'<';
}

// The mask or name line (a mask unquoted as a path). False when the input ended.
bool readText(const char* prompt, std::wstring& text, bool path) {
    promptForLine(prompt);
    std::wstring answer;
    if ((path ? readPathLine(answer) : readLine(answer)) == ReadStatus::Ended) return false;
    text = std::move(answer);
    return true;
}

} // namespace

void defineFinishCondition(FinishCondition& condition) {
    print("When would you like the program to stop restarting the target process?\n[");
    print(number(FinishKind::Never));
    print("] Never.\n[");
    print(number(FinishKind::FileCount));
    print("] When a certain number of files exists.\n[");
    print(number(FinishKind::RestartCount));
    print("] After a certain number of restarts.\n[");
    print(number(FinishKind::VariableValue));
    print("] When a variable has reached a certain value.\nYour choice: ");

    // Not asked again: an answer that is no number is choice 0, and any
    // number outside the menu is stored and acts as Never.
    std::int32_t choice = 0;
    if (readClampedSignedNumber(choice) == ReadStatus::Ended) return;
    condition.type = static_cast<FinishKind>(choice);

    switch (condition.type) {
    case FinishKind::FileCount:
        if (!readText(kFileMaskPrompt, condition.dataString, true)) return;
        if (!readThreshold("Enter the number to check against: ", condition.dataInt)) return;
        readDirection("Should the number of files be greater or smaller than the given number? "
                      "(greater = >, smaller = <) ",
                      condition.dataBool);
        return;
    case FinishKind::RestartCount: readThreshold("Enter maximum number of restarts: ", condition.dataInt); return;
    case FinishKind::VariableValue:
        if (!readText("Enter the name of the variable to check (including <>):\n", condition.dataString, false)) return;
        if (!readThreshold("Enter the number to check against: ", condition.dataInt)) return;
        readDirection("Should the variable value be greater or smaller than the given number? "
                      "(greater = >, smaller = <) ",
                      condition.dataBool);
        return;
    default: return;
    }
}

} // namespace procguard
