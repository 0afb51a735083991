// The console dialogue that keeps or declines each placeholder found in the
// argument template and sets the kind, file mask and base value of those kept.
#pragma once

#include "vars/variable.h"

namespace procguard {

// A kind or base value that is not a number is asked again. When the console
// input ends the dialogue stops at once and leaves the records as they are;
// the caller sees consoleInputEnded().
void defineVariables(VariableList& variables);

} // namespace procguard
