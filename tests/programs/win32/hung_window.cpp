// A target whose window stops answering: it creates a visible window, handles
// what is already queued, and then its only thread sleeps instead of pumping
// messages. Once it no longer pumps it creates the event
// "procguard_hung_window_<process id>", so a test knows that every probe from
// then on goes unanswered. Ends by itself after a minute.
#include <windows.h>

#include <string>

int main() {
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = DefWindowProcW;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"procguard_hung";
    RegisterClassW(&windowClass);
    HWND window = CreateWindowW(L"procguard_hung", L"hung", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr,
                                nullptr, windowClass.hInstance, nullptr);
    if (window == nullptr) return 1;
    ShowWindow(window, SW_SHOW);
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
    const std::wstring readyName = L"procguard_hung_window_" + std::to_wstring(GetCurrentProcessId());
    HANDLE ready = CreateEventW(nullptr, TRUE, TRUE, readyName.c_str());
    Sleep(60000);
    if (ready != nullptr) CloseHandle(ready);
    return 0;
}
