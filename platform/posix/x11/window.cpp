// Windows of a process on Linux: the top-level X11 windows that name the
// process in _NET_WM_PID, probed with the window manager's ping. Run without
// a reachable X display, no process has a window, so a running target always
// counts as healthy, as a console program does on Windows.
#include "platform/platform.h"
#include "platform/posix/x11/windows.h"

namespace procguard {

std::vector<WindowHandle> listProcessWindows(ProcessId id) { return x11::listClientWindows(id); }

WindowHandle findProcessWindow(ProcessId id) { return x11::findClientWindow(id); }

bool windowAnswers(WindowHandle window, std::uint32_t timeoutMs) { return x11::answersPing(window, timeoutMs); }

} // namespace procguard
