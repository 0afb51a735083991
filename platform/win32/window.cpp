// The top-level windows of a process, and whether a window still answers.
#include "platform/platform.h"
#include "platform/win32/window_list.h"

#include <windows.h>

namespace procguard {

namespace {

struct WindowSearch {
    DWORD processId = 0;
    std::vector<WindowHandle> windows;
};

BOOL CALLBACK collectWindowOfProcess(HWND window, LPARAM searchAddress) {
    auto* search = reinterpret_cast<WindowSearch*>(searchAddress);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == search->processId) search->windows.push_back(reinterpret_cast<WindowHandle>(window));
    return TRUE; // always visit every window
}

} // namespace

std::vector<WindowHandle> listProcessWindows(ProcessId id) {
    WindowSearch search;
    search.processId = id;
    if (!EnumWindows(collectWindowOfProcess, reinterpret_cast<LPARAM>(&search))) return {};
    return search.windows;
}

WindowHandle findProcessWindow(ProcessId id) {
    // A window can be destroyed between the enumeration and this walk; such a
    // handle no longer reports a thread and is passed over.
    for (WindowHandle handle : listProcessWindows(id)) {
        DWORD owner = 0;
        if (GetWindowThreadProcessId(reinterpret_cast<HWND>(handle), &owner) != 0 && owner == id)
            return handle;
    }
    return 0;
}

bool windowAnswers(WindowHandle window, std::uint32_t timeoutMs) {
    // SMTO_NOTIMEOUTIFNOTHUNG: a busy but pumping window gets as long as it
    // needs; SMTO_ERRORONEXIT: a window whose thread ends fails at once.
    const UINT flags = SMTO_BLOCK | SMTO_NOTIMEOUTIFNOTHUNG | SMTO_ERRORONEXIT;
    return SendMessageTimeoutW(reinterpret_cast<HWND>(window), WM_NULL, 0, 0, flags, timeoutMs,
                               nullptr) != 0;
}

} // namespace procguard
