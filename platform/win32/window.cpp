// The window a process is probed through, and whether a window still answers.
//
// The window found is remembered, and later checks use it without
// enumerating every top-level window of the desktop for as long as it
// exists and still belongs to the target: the process asked about or, for a
// target held with its tree, a process of its job. A destroyed window's
// handle can be given to a new window of any process; the owner is asked
// again at every check, so such a window is never probed in the target's
// name.
#include "platform/window.h"

#include <windows.h>

#include "base/windows_names.h"
#include "platform/win32/window_list.h"

namespace procguard {

namespace {

// The watchdog probes from one thread; nothing here is locked.
WindowHandle gRemembered = 0;

// The console host of a console program in the tree (conhost.exe, which the
// system puts into the program's job) owns the console's window. That window
// answers for the host, not for any program of the tree, as a console
// program has no window of its own.
bool isConsoleHost(ProcessId id) {
    std::wstring image;
    if (!readProcessImagePath(id, image)) return false;
    const std::size_t slash = image.find_last_of(L"\\/");
    return foldWindowsCase(image.substr(slash == std::wstring::npos ? 0 : slash + 1)) == L"conhost.exe";
}

// Whether the window's owner is, still, the target or a process of its tree.
bool belongsToTarget(WindowHandle window, const HeldProcess& target) {
    const ProcessId owner = windowOwner(window);
    if (owner == 0) return false;
    return owner == target.id || (target.tree != -1 && treeContains(target, owner));
}

} // namespace

WindowHandle findTargetWindow(const HeldProcess& target) {
    if (gRemembered != 0 && IsWindow(reinterpret_cast<HWND>(gRemembered)) && belongsToTarget(gRemembered, target))
        return gRemembered;
    gRemembered = 0;
    if (target.id == 0) return 0;
    // The tree is listed only here, for a target without a remembered window.
    std::vector<ProcessId> owners = listTreeProcesses(target);
    if (target.tree != -1) std::erase_if(owners, isConsoleHost);
    // A window can be destroyed between the enumeration and this walk; such a
    // handle no longer reports a thread and is passed over.
    for (WindowHandle handle : win32::listTopLevelWindows(owners)) {
        if (belongsToTarget(handle, target)) return gRemembered = handle;
    }
    return 0;
}

WindowHandle findProcessWindow(ProcessId id) { return findTargetWindow(HeldProcess{id}); }

bool windowAnswers(WindowHandle window, std::uint32_t timeoutMs) {
    // SMTO_NOTIMEOUTIFNOTHUNG: a busy but pumping window gets as long as it
    // needs; SMTO_ERRORONEXIT: a window whose thread ends fails at once.
    const UINT flags = SMTO_BLOCK | SMTO_NOTIMEOUTIFNOTHUNG | SMTO_ERRORONEXIT;
    return SendMessageTimeoutW(reinterpret_cast<HWND>(window), WM_NULL, 0, 0, flags, timeoutMs, nullptr) != 0;
}

} // namespace procguard
