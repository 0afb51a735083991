// Waiting for a key on Windows: the console keyboard, not standard input.
#include "platform/platform.h"

#include <windows.h>
#include <conio.h>

namespace procguard {

void waitForKeystroke() {
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
    _getch();
}

} // namespace procguard
