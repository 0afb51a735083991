// The window probe: a top-level window of a process, and whether it answers.
#pragma once

#include <cstdint>

#include "platform/held_process.h"
#include "platform/process.h"

namespace procguard {

using WindowHandle = std::uintptr_t; // 0: no window

// The first top-level window of the process that still exists, or 0.
WindowHandle findProcessWindow(ProcessId id);

// The window the target is probed through: the first top-level window that
// still exists of the held process or, for a target held with its tree, of
// any process of the tree, in the platform's enumeration order; 0 if none.
// The window found is remembered while it exists and its owner is still the
// target's, and later calls cost no look at the whole desktop.
WindowHandle findTargetWindow(const HeldProcess& target);

// The process a window belongs to (Windows: its thread's process; X11: the
// _NET_WM_PID it names), or 0 when it is gone.
ProcessId windowOwner(WindowHandle window);

// Sends the window a null message and waits at most `timeoutMs` for the
// answer. False when it did not answer (time-out, hung, or gone).
bool windowAnswers(WindowHandle window, std::uint32_t timeoutMs);

} // namespace procguard
