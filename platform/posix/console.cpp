// The console on Linux: standard input and output as UTF-8 byte streams.
// Key waits live in key_wait.cpp.
#include <unistd.h>

#include <cerrno>
#include <string>

#include "base/utf8.h"
#include "platform/console.h"
#include "platform/posix/stop.h"

namespace procguard {

namespace {

constexpr std::size_t kInputChunk = 4096;

} // namespace

bool readConsoleInput(std::wstring& text) {
    static Utf8StreamDecoder decoder;
    char buffer[kInputChunk];
    for (;;) {
        // A stop ends the input, so a dialogue waiting for an answer ends too.
        if (waitForInputOrStop(STDIN_FILENO, -1) == WaitOutcome::Stopped) return false;
        const ssize_t length = read(STDIN_FILENO, buffer, sizeof buffer);
        if (length < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (length == 0) {
            // A character cut off by the end of input is kept as its bytes.
            const std::wstring rest = finishUtf8Stream(decoder);
            if (rest.empty()) return false;
            text += rest;
            return true;
        }
        const std::wstring decoded =
            decodeUtf8Chunk(decoder, std::string_view(buffer, static_cast<std::size_t>(length)));
        if (decoded.empty()) continue; // only part of one character so far
        text += decoded;
        return true;
    }
}

void writeConsole(const std::wstring& text) {
    const std::string bytes = encodeUtf8(text);
    std::size_t written = 0;
    while (written < bytes.size()) {
        const ssize_t length = write(STDOUT_FILENO, bytes.data() + written, bytes.size() - written);
        if (length < 0) {
            if (errno == EINTR) continue;
            return; // EPIPE or a closed console: nobody to tell
        }
        written += static_cast<std::size_t>(length);
    }
}

} // namespace procguard
