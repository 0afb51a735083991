// A target with two top-level windows, of which the one the system enumerates
// first is hidden: a visible window, then a hidden one, which the system puts
// above it. Pumps messages; ends by itself after a minute.
#include <windows.h>

namespace {

LRESULT CALLBACK windowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_TIMER) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

HWND createWindow(const wchar_t* className) {
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = windowProcedure;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = className;
    RegisterClassW(&windowClass);
    return CreateWindowW(className, className, WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr, nullptr,
                         windowClass.hInstance, nullptr);
}

} // namespace

int main() {
    HWND visible = createWindow(L"procguard_visible");
    if (visible == nullptr) return 1;
    ShowWindow(visible, SW_SHOW);
    HWND hidden = createWindow(L"procguard_hidden");
    if (hidden == nullptr) return 1;
    SetTimer(visible, 1, 60000, nullptr);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return 0;
}
