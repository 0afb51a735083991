// The console on Windows: reading answers and writing text. Key waits live in
// key_wait.cpp.
#include "platform/console.h"
#include "platform/stop.h"

#include <windows.h>

#include "base/utf8.h"
#include "platform/win32/stop.h"

namespace procguard {

namespace {

constexpr wchar_t kEndOfInputKey = L'\x1A'; // Ctrl+Z
constexpr DWORD kInputChunk = 4096;         // characters from a console, bytes from a pipe
// Ctrl+C ends a console read without input before the handler thread has
// run; this long it may take to say that it was a stop.
constexpr unsigned long kAbortedReadGraceMs = 1000;

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
    wchar_t buffer[kInputChunk];
    DWORD read = 0;
    if (!ReadConsoleW(input, buffer, kInputChunk, &read, nullptr) || read == 0) {
        waitForStop(kAbortedReadGraceMs);
        return false;
    }
    const std::wstring_view line(buffer, read);
    if (isEndOfInputLine(line)) return false;
    text += line;
    return true;
}

bool readFromPipeOrFile(HANDLE input, std::wstring& text) {
    static Utf8StreamDecoder decoder;
    for (;;) {
        char buffer[kInputChunk];
        DWORD read = 0;
        if (!ReadFile(input, buffer, sizeof buffer, &read, nullptr) || read == 0) {
            // End of input (or a broken pipe): what was held back is all there is.
            const std::wstring rest = finishUtf8Stream(decoder);
            if (rest.empty()) return false;
            text += rest;
            return true;
        }
        const std::wstring decoded = decodeUtf8Chunk(decoder, std::string_view(buffer, read));
        if (!decoded.empty()) {
            text += decoded;
            return true;
        }
        // Only part of a character so far: read on.
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
    // A stop ends the input, so a dialogue waiting for an answer ends too.
    if (stopRequested()) return false;
    HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    if (input == nullptr || input == INVALID_HANDLE_VALUE) return false;
    if (isConsole(input)) return readFromConsole(input, text);
    return readFromPipeOrFile(input, text);
}

void writeConsole(const std::wstring& text) {
    if (text.empty()) return;
    HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    if (output == nullptr || output == INVALID_HANDLE_VALUE) return;
    if (!isConsole(output)) {
        const std::string bytes = encodeUtf8(text);
        writeAll(output, bytes.data(), bytes.size());
        return;
    }
    const wchar_t* data = text.data();
    std::size_t left = text.size();
    while (left > 0) {
        DWORD written = 0;
        if (!WriteConsoleW(output, data, static_cast<DWORD>(left), &written, nullptr) || written == 0) return;
        data += written;
        left -= written;
    }
}

} // namespace procguard
