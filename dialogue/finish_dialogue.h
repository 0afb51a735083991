// The console dialogue that chooses when the surveillance run ends.
#pragma once

#include "finish/finish_condition.h"

namespace procguard {

// Fills `condition` in place; only the fields of the chosen kind change. A
// menu, threshold or maximum answer that is not a number counts as 0 and is
// not asked again. When the console input ends the fields not answered yet
// keep their values.
void defineFinishCondition(FinishCondition& condition);

} // namespace procguard
