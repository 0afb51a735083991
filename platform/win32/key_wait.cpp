// Waiting for a key on Windows: the console keyboard, not standard input.
#include "platform/key_wait.h"
#include "platform/stop.h"

#include <windows.h>

#include "platform/win32/stop.h"

namespace procguard {

namespace {

// A key that would end a _getch: a press that gives a character or is an
// extended key (an arrow, F1), not Shift, Ctrl, Alt or a lock key alone.
bool isKeyPress(const INPUT_RECORD& record) {
    if (record.EventType != KEY_EVENT || !record.Event.KeyEvent.bKeyDown) return false;
    if (record.Event.KeyEvent.uChar.UnicodeChar != 0) return true;
    switch (record.Event.KeyEvent.wVirtualKeyCode) {
    case VK_SHIFT:
    case VK_CONTROL:
    case VK_MENU:
    case VK_LWIN:
    case VK_RWIN:
    case VK_CAPITAL:
    case VK_NUMLOCK:
    case VK_SCROLL: return false;
    default: return true;
    }
}

} // namespace

void waitForKeystroke() {
    if (stopRequested()) return;
    // Without a console there is no keyboard to wait for, and an unattended
    // watchdog must not stop here.
    HANDLE keyboard = CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
    if (keyboard == INVALID_HANDLE_VALUE) return;
    DWORD mode = 0;
    if (!GetConsoleMode(keyboard, &mode)) {
        CloseHandle(keyboard);
        return;
    }
    FlushConsoleInputBuffer(keyboard);
    // The wait is on the console input itself, not a poll of _kbhit: Wine's
    // console reads its terminal only for a program that waits for console
    // input or reads it, and a program that had read none before (a config
    // file named on the command line) would never see the key. Each record
    // that wakes the wait is read, so mouse, focus and key-release records
    // never make it spin.
    HANDLE handles[] = {keyboard, stopEvent()};
    const DWORD count = handles[1] != nullptr ? 2 : 1;
    for (;;) {
        if (WaitForMultipleObjects(count, handles, FALSE, INFINITE) != WAIT_OBJECT_0) break;
        INPUT_RECORD record;
        DWORD read = 0;
        if (!ReadConsoleInputW(keyboard, &record, 1, &read)) break;
        if (read == 1 && isKeyPress(record)) break;
    }
    // The rest of the key (its release, the further records of a key that
    // sends several) would otherwise reach the next answer.
    FlushConsoleInputBuffer(keyboard);
    CloseHandle(keyboard);
}

} // namespace procguard
