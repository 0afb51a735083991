// The console: reading answers, writing text, waiting for a key, and the
// command line.
#include "platform/platform.h"

#include <windows.h>
#include <conio.h>
#include <shellapi.h>

#include "platform/win32/utf8_input.h"

namespace procguard {

namespace {

constexpr wchar_t kEndOfInputKey = L'\x1A'; // Ctrl+Z

bool isConsole(HANDLE handle) {
    DWORD mode = 0;
    return handle != nullptr && handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode);
}

// Ctrl+Z at the start of a line (then Enter) ends console input, as it does
// for every console program that reads its standard input.
bool isEndOfInputLine(std::wstring_view line) {
    if (line.empty() || line[0] != kEndOfInputKey) return false;
    const std::wstring_view rest = line.substr(1);
    return rest.empty() || rest == L"\r\n" || rest == L"\n";
}

bool readFromConsole(HANDLE input, std::wstring& text) {
    wchar_t buffer[4096];
    DWORD read = 0;
    if (!ReadConsoleW(input, buffer, 4096, &read, nullptr) || read == 0) return false;
    const std::wstring line(buffer, read);
    if (isEndOfInputLine(line)) return false;
    text += normaliseLineEnds(line);
    return true;
}

bool readFromPipeOrFile(HANDLE input, std::wstring& text) {
    static Utf8InputDecoder decoder;
    for (;;) {
        char buffer[4096];
        DWORD read = 0;
        if (!ReadFile(input, buffer, sizeof buffer, &read, nullptr) || read == 0) {
            // End of input (or a broken pipe): what was held back is all there is.
            const std::wstring rest = flushInput(decoder);
            if (rest.empty()) return false;
            text += rest;
            return true;
        }
        const std::wstring decoded = decodeInputChunk(decoder, std::string_view(buffer, read));
        if (!decoded.empty()) {
            text += decoded;
            return true;
        }
        // Only part of a character (or a lone CR) so far: read on.
    }
}

void writeAll(HANDLE output, const char* data, std::size_t size) {
    while (size > 0) {
        DWORD written = 0;
        if (!WriteFile(output, data, static_cast<DWORD>(size), &written, nullptr) || written == 0) return;
        data += written;
        size -= written;
    }
}

} // namespace

bool readConsoleInput(std::wstring& text) {
    HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    if (input == nullptr || input == INVALID_HANDLE_VALUE) return false;
    if (isConsole(input)) return readFromConsole(input, text);
    return readFromPipeOrFile(input, text);
}

void writeConsole(const std::wstring& text) {
    if (text.empty()) return;
    HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    if (output == nullptr || output == INVALID_HANDLE_VALUE) return;
    if (isConsole(output)) {
        const wchar_t* data = text.data();
        std::size_t left = text.size();
        while (left > 0) {
            DWORD written = 0;
            if (!WriteConsoleW(output, data, static_cast<DWORD>(left), &written, nullptr) || written == 0)
                return;
            data += written;
            left -= written;
        }
        return;
    }
    const int size = static_cast<int>(text.size());
    const int length = WideCharToMultiByte(CP_UTF8, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), size, bytes.data(), length, nullptr, nullptr);
    writeAll(output, bytes.data(), bytes.size());
}

void waitForKeystroke() {
    // _getch reads the console keyboard, not standard input. Without a
    // console there is no keyboard to wait for, and an unattended watchdog
    // must not stop here.
    HANDLE keyboard = CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, 0, nullptr);
    if (keyboard == INVALID_HANDLE_VALUE) return;
    const bool hasKeyboard = isConsole(keyboard);
    CloseHandle(keyboard);
    if (!hasKeyboard) return;
    while (_kbhit()) _getch();
    _getch();
}

std::wstring programArgument(int argc, char** argv, int index) {
    // The narrow argv holds the command line in the ANSI code page, which
    // loses every character outside it; the wide command line is exact.
    int count = 0;
    LPWSTR* arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    if (arguments != nullptr) {
        std::wstring argument = index >= 0 && index < count ? arguments[index] : L"";
        LocalFree(arguments);
        return argument;
    }
    if (index < 0 || index >= argc || argv[index] == nullptr) return L"";
    const int length = MultiByteToWideChar(CP_ACP, 0, argv[index], -1, nullptr, 0);
    if (length <= 1) return L"";
    std::wstring argument(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_ACP, 0, argv[index], -1, argument.data(), length);
    argument.resize(static_cast<std::size_t>(length) - 1);
    return argument;
}

} // namespace procguard
