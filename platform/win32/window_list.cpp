#include "platform/win32/window_list.h"

#include <windows.h>

namespace procguard::win32 {

namespace {

struct WindowSearch {
    ProcessId processId = 0;
    std::vector<WindowHandle> windows;
};

BOOL CALLBACK collectWindowOfProcess(HWND window, LPARAM searchAddress) {
    auto* search = reinterpret_cast<WindowSearch*>(searchAddress);
    const auto handle = reinterpret_cast<WindowHandle>(window);
    if (windowBelongsTo(handle, search->processId)) search->windows.push_back(handle);
    return TRUE; // always visit every window
}

} // namespace

bool windowBelongsTo(WindowHandle window, ProcessId id) {
    // A handle that names no window (any more) reports no thread.
    DWORD owner = 0;
    return id != 0 && GetWindowThreadProcessId(reinterpret_cast<HWND>(window), &owner) != 0 && owner == id;
}

std::vector<WindowHandle> listTopLevelWindows(ProcessId id) {
    WindowSearch search;
    search.processId = id;
    if (!EnumWindows(collectWindowOfProcess, reinterpret_cast<LPARAM>(&search))) return {};
    return search.windows;
}

} // namespace procguard::win32
