// Waiting for a key on Windows: the console keyboard, not standard input.
#include "platform/key_wait.h"
#include "platform/stop.h"

#include <windows.h>
#include <conio.h>

#include "platform/win32/stop.h"

namespace procguard {

namespace {

// How often the keyboard is looked at while the wait also listens for a stop.
constexpr unsigned long kKeyPollMs = 20;

} // namespace

void waitForKeystroke() {
    if (stopRequested()) return;
    // _getch reads the console keyboard, not standard input. Without a
    // console there is no keyboard to wait for, and an unattended watchdog
    // must not stop here.
    HANDLE keyboard = CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, 0, nullptr);
    if (keyboard == INVALID_HANDLE_VALUE) return;
    DWORD mode = 0;
    const bool hasKeyboard = GetConsoleMode(keyboard, &mode) != 0;
    CloseHandle(keyboard);
    if (!hasKeyboard) return;
    while (_kbhit()) _getch();
    // _getch alone would not return on a stop.
    while (!_kbhit())
        if (waitForStop(kKeyPollMs)) return;
    _getch();
}

} // namespace procguard
