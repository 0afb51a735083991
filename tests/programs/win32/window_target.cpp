// A target with top-level windows for the window tests:
//
//   window_target answer        a visible window that pumps messages, so it
//                               answers every probe
//   window_target hidden-first  a visible window, then a hidden one, which
//                               the system enumerates first; pumps messages
//   window_target hung          a visible window whose only thread stops
//                               pumping messages
//
// A message WM_APP to a pumping window closes it and opens another of the
// same class in its place, then creates the event
// "procguard_reopened_<process id>".
//
// Once a hung target no longer pumps, it creates the event
// "procguard_hung_window_<process id>", so a test knows that every probe
// from then on goes unanswered. Ends by itself after a minute, so that no
// test leaves it behind.
#include <windows.h>

#include <string>

namespace {

constexpr UINT kLifetimeMs = 60000;

HWND openWindow(const wchar_t* className) {
    return CreateWindowW(className, className, WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr, nullptr,
                         GetModuleHandleW(nullptr), nullptr);
}

LRESULT CALLBACK windowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_TIMER) {
        PostQuitMessage(0);
        return 0;
    }
    if (message == WM_APP) {
        wchar_t className[64] = {};
        GetClassNameW(window, className, 64);
        HWND reopened = openWindow(className);
        ShowWindow(reopened, SW_SHOW);
        SetTimer(reopened, 1, kLifetimeMs, nullptr);
        DestroyWindow(window);
        CreateEventW(nullptr, TRUE, TRUE, (L"procguard_reopened_" + std::to_wstring(GetCurrentProcessId())).c_str());
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
    return openWindow(className);
}

} // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "answer";
    HWND visible = createWindow(mode == "hung"           ? L"procguard_hung"
                                : mode == "hidden-first" ? L"procguard_visible"
                                                         : L"procguard_answering");
    if (visible == nullptr) return 1;
    ShowWindow(visible, SW_SHOW);
    MSG message;
    if (mode == "hung") {
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
        const std::wstring readyName = L"procguard_hung_window_" + std::to_wstring(GetCurrentProcessId());
        HANDLE ready = CreateEventW(nullptr, TRUE, TRUE, readyName.c_str());
        Sleep(kLifetimeMs);
        if (ready != nullptr) CloseHandle(ready);
        return 0;
    }
    if (mode == "hidden-first" && createWindow(L"procguard_hidden") == nullptr) return 1;
    SetTimer(visible, 1, kLifetimeMs, nullptr);
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return 0;
}
