// bench_window_client.exe: the Windows programs of the window benchmark, run
// under Wine.
//
//   bench_window_client target LOG  one top-level window; appends "answered"
//                                   to LOG for each null message it is sent
//                                   (each probe of the watchdog)
//   bench_window_client crowd N     N other top-level windows; writes "ready"
//                                   to standard output once they exist
//
// The target ends with the process that started it (the watchdog); the
// crowd is killed by the benchmark.
#include <windows.h>
#include <tlhelp32.h>

#include <cstdlib>
#include <string>

namespace {

HANDLE gLog = INVALID_HANDLE_VALUE;

LRESULT CALLBACK windowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NULL && gLog != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        WriteFile(gLog, "answered\n", 9, &written, nullptr);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

HWND createWindow(int number) {
    const wchar_t* className = L"procguard_bench_window";
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = windowProcedure;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = className;
    RegisterClassW(&windowClass); // fails harmlessly after the first
    const std::wstring title = L"bench window " + std::to_wstring(number);
    HWND window = CreateWindowW(className, title.c_str(), WS_OVERLAPPEDWINDOW, 10 + number % 400, 10 + number % 300,
                                120, 80, nullptr, nullptr, windowClass.hInstance, nullptr);
    if (window != nullptr) ShowWindow(window, SW_SHOWNOACTIVATE);
    return window;
}

// The process that started this one, opened to wait for its end.
HANDLE openParent() {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return nullptr;
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof entry;
    DWORD parent = 0;
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
        if (entry.th32ProcessID == GetCurrentProcessId()) parent = entry.th32ParentProcessID;
    }
    CloseHandle(snapshot);
    return parent != 0 ? OpenProcess(SYNCHRONIZE, FALSE, parent) : nullptr;
}

} // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 2 ? argv[1] : "";
    HANDLE parent = nullptr;
    if (mode == "target") {
        gLog = CreateFileA(argv[2], FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        parent = openParent();
        if (gLog == INVALID_HANDLE_VALUE || parent == nullptr || createWindow(0) == nullptr) return 1;
    } else if (mode == "crowd") {
        const long count = std::strtol(argv[2], nullptr, 10);
        for (long i = 1; i <= count; ++i) {
            if (createWindow(static_cast<int>(i)) == nullptr) return 1;
        }
        DWORD written = 0;
        WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), "ready\n", 6, &written, nullptr);
    } else {
        return 2;
    }

    for (;;) {
        const DWORD woken = MsgWaitForMultipleObjects(parent != nullptr ? 1 : 0, &parent, FALSE, INFINITE, QS_ALLINPUT);
        if (parent != nullptr && woken == WAIT_OBJECT_0) return 0;
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
    }
}
