// The top-level windows of a process in the system's enumeration order, as
// the window probe collects them; the Windows tests look at the list itself.
#pragma once

#include <vector>

#include "platform/window.h"

namespace procguard {

// Empty when the enumeration failed.
std::vector<WindowHandle> listProcessWindows(ProcessId id);

} // namespace procguard
