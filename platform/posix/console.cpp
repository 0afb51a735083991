// The console on Linux: standard input and output as UTF-8 byte streams.
// Key waits live in key_wait.cpp.
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "platform/platform.h"
#include "platform/posix/utf8.h"

namespace procguard {

namespace {

// Bytes of a character whose rest has not arrived yet.
std::string& pendingInput() {
    static std::string bytes;
    return bytes;
}

} // namespace

bool readConsoleInput(std::wstring& text) {
    std::string& pending = pendingInput();
    char buffer[4096];
    for (;;) {
        const ssize_t length = read(STDIN_FILENO, buffer, sizeof buffer);
        if (length < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (length == 0) {
            // A character cut off by the end of input is kept as its bytes.
            if (pending.empty()) return false;
            text += decodeUtf8(pending);
            pending.clear();
            return true;
        }
        pending.append(buffer, static_cast<std::size_t>(length));
        const std::size_t complete = pending.size() - incompleteUtf8Tail(pending);
        if (complete == 0) continue; // only part of one character so far
        text += decodeUtf8(std::string_view(pending).substr(0, complete));
        pending.erase(0, complete);
        return true;
    }
}

void writeConsole(const std::wstring& text) {
    // Output to a pipe whose reader is gone (procguard | head) must not kill
    // the watchdog and leave its target unwatched: writes then just fail.
    static const bool sigpipeIgnored = [] {
        signal(SIGPIPE, SIG_IGN);
        return true;
    }();
    (void)sigpipeIgnored;

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
