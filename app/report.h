// Telling what happened in a run. Each outcome is described once, by an
// EventRecord; report() turns that one description into the console's text
// and the event log's line, so the two never disagree.
#pragma once

#include "app/event_log.h"

namespace procguard {

// Prints the outcome's console text and logs its event line (when the log is
// on). Every outcome of a check and every change of state goes through here.
void report(const EventRecord& record);

} // namespace procguard
