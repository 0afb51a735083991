// The window probe: a top-level window of a process, and whether it answers.
#pragma once

#include <cstdint>

#include "platform/process.h"

namespace procguard {

using WindowHandle = std::uintptr_t; // 0: no window

// The first top-level window of the process that still exists, or 0.
WindowHandle findProcessWindow(ProcessId id);

// Sends the window a null message and waits at most `timeoutMs` for the
// answer. False when it did not answer (time-out, hung, or gone).
bool windowAnswers(WindowHandle window, std::uint32_t timeoutMs);

} // namespace procguard
