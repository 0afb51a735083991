// The top-level windows of a process, as the Win32 backend finds them. The
// probe's look-up and the Windows tests use this; it is not part of the seam.
#pragma once

#include <vector>

#include "platform/window.h"

namespace procguard::win32 {

// Whether `window` exists and one of process `id`'s threads owns it: the one
// question every window is asked before it is probed in that name.
bool windowBelongsTo(WindowHandle window, ProcessId id);

// The top-level windows that processes of `owners` own, in EnumWindows order
// (the z-order, topmost first); empty when the enumeration failed.
std::vector<WindowHandle> listTopLevelWindows(const std::vector<ProcessId>& owners);
inline std::vector<WindowHandle> listTopLevelWindows(ProcessId id) {
    return listTopLevelWindows(std::vector<ProcessId>{id});
}

} // namespace procguard::win32
