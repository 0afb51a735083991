// Stopping and sleeping on Windows.
//
// Console control events (Ctrl+C, Ctrl+Break, the console closing, logoff,
// shutdown) arrive on a thread of their own, and the end of the session also
// arrives as a message to a window. Both set one event; the main thread
// sleeps on that event instead of in Sleep(), so a stop ends the sleep at
// once, and cleans up before the process ends.
#include "platform/win32/stop.h"

#include <windows.h>

#include "platform/stop.h"

namespace procguard {

namespace {

// How long the process is kept alive after the console closed or the session
// ended, for the main thread to clean up and exit with the stop's code. The
// system allows about five seconds before it ends the process itself.
constexpr DWORD kCleanUpGraceMs = 4000;

HANDLE gStopEvent = nullptr; // manual reset: once set, it stays set
HANDLE gMainThread = nullptr;

void requestStop() {
    SetEvent(gStopEvent);
    // A blocking read of piped console input would wait for input that may
    // never come.
    if (gMainThread != nullptr) CancelSynchronousIo(gMainThread);
}

// The process ends as soon as the handler returns from the last three
// events; it waits instead, and the main thread ends the process first.
BOOL WINAPI onControlEvent(DWORD type) {
    switch (type) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT: requestStop(); return TRUE;
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
        requestStop();
        Sleep(kCleanUpGraceMs);
        return TRUE;
    default: return FALSE;
    }
}

LRESULT CALLBACK onSessionMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_QUERYENDSESSION) return TRUE;
    if (message == WM_ENDSESSION) {
        // The session may end as soon as this returns.
        if (wParam) {
            requestStop();
            Sleep(kCleanUpGraceMs);
        }
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

// A program that loads user32 (procguard does, to probe windows) is told of
// logoff and shutdown only through WM_QUERYENDSESSION and WM_ENDSESSION sent
// to its top-level windows, never through CTRL_LOGOFF_EVENT or
// CTRL_SHUTDOWN_EVENT. This hidden window, on a thread of its own, is there
// to hear them.
DWORD WINAPI runSessionWindow(void*) {
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = onSessionMessage;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"procguard_session";
    if (RegisterClassW(&windowClass) == 0) return 0;
    if (CreateWindowW(L"procguard_session", L"procguard", WS_OVERLAPPED, 0, 0, 0, 0, nullptr, nullptr,
                      windowClass.hInstance, nullptr) == nullptr)
        return 0;
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
    return 0;
}

} // namespace

void installStopHandlers() {
    if (gStopEvent != nullptr) return;
    gStopEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (gStopEvent == nullptr) return;
    DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &gMainThread, 0, FALSE,
                    DUPLICATE_SAME_ACCESS);
    SetConsoleCtrlHandler(onControlEvent, TRUE);
    HANDLE thread = CreateThread(nullptr, 0, runSessionWindow, nullptr, 0, nullptr);
    if (thread != nullptr) CloseHandle(thread);
}

bool stopRequested() { return gStopEvent != nullptr && WaitForSingleObject(gStopEvent, 0) == WAIT_OBJECT_0; }

HANDLE stopEvent() { return gStopEvent; }

bool waitForStop(unsigned long ms) {
    if (gStopEvent == nullptr) {
        Sleep(ms);
        return false;
    }
    return WaitForSingleObject(gStopEvent, ms) == WAIT_OBJECT_0;
}

// The check period is waited out on the stop event rather than in Sleep(),
// which nothing could cut short.
void sleepMilliseconds(std::uint32_t ms) { waitForStop(ms); }

ObjectWait waitForObjectOrStop(void* object, unsigned long ms) {
    if (gStopEvent == nullptr)
        return WaitForSingleObject(object, ms) == WAIT_OBJECT_0 ? ObjectWait::Signalled : ObjectWait::TimedOut;
    // WaitForMultipleObjects reports the lowest index of those signalled: the
    // stop event goes first.
    const HANDLE handles[2] = {gStopEvent, object};
    switch (WaitForMultipleObjects(2, handles, FALSE, ms)) {
    case WAIT_OBJECT_0: return ObjectWait::Stopped;
    case WAIT_OBJECT_0 + 1: return ObjectWait::Signalled;
    default: return ObjectWait::TimedOut;
    }
}

PeriodEnd waitForCheckPeriod(std::uint32_t ms, const HeldProcess& target) {
    if (target.id == 0 || target.handle == -1) {
        sleepMilliseconds(ms);
        return stopRequested() ? PeriodEnd::Stopped : PeriodEnd::TimePassed;
    }
    switch (waitForObjectOrStop(reinterpret_cast<HANDLE>(target.handle), ms)) {
    case ObjectWait::Signalled: return PeriodEnd::TargetEnded;
    case ObjectWait::Stopped: return PeriodEnd::Stopped;
    case ObjectWait::TimedOut: break;
    }
    return PeriodEnd::TimePassed;
}

} // namespace procguard
