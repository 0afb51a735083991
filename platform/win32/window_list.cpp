#include "platform/win32/window_list.h"

#include <windows.h>

#include <algorithm>

namespace procguard::win32 {

namespace {

struct WindowSearch {
    const std::vector<ProcessId>* owners = nullptr;
    std::vector<WindowHandle> windows;
};

BOOL CALLBACK collectWindowOfProcess(HWND window, LPARAM searchAddress) {
    auto* search = reinterpret_cast<WindowSearch*>(searchAddress);
    const auto handle = reinterpret_cast<WindowHandle>(window);
    const ProcessId owner = windowOwner(handle);
    if (owner != 0 && std::find(search->owners->begin(), search->owners->end(), owner) != search->owners->end())
        search->windows.push_back(handle);
    return TRUE; // always visit every window
}

} // namespace

} // namespace procguard::win32

namespace procguard {

ProcessId windowOwner(WindowHandle window) {
    // A handle that names no window (any more) reports no thread.
    DWORD owner = 0;
    return GetWindowThreadProcessId(reinterpret_cast<HWND>(window), &owner) != 0 ? owner : 0;
}

} // namespace procguard

namespace procguard::win32 {

bool windowBelongsTo(WindowHandle window, ProcessId id) { return id != 0 && windowOwner(window) == id; }

std::vector<WindowHandle> listTopLevelWindows(const std::vector<ProcessId>& owners) {
    WindowSearch search;
    search.owners = &owners;
    if (!EnumWindows(collectWindowOfProcess, reinterpret_cast<LPARAM>(&search))) return {};
    return search.windows;
}

} // namespace procguard::win32
