#include "console/console.h"

#include <cwctype>
#include <limits>

#include "platform/console.h"
#include "platform/key_wait.h"

namespace procguard {

namespace {

struct ConsoleInput {
    std::wstring buffer;
    std::size_t pos = 0;
    bool sourceEnded = false; // readConsoleInput reported the end
    bool readEnded = false;   // a read found no answer because of it
    bool linePending = false; // a character or number read left the rest of its line
};

ConsoleInput& input() {
    static ConsoleInput state;
    return state;
}

bool& keyWaitsSkipped() {
    static bool skipped = false;
    return skipped;
}

// Makes at least one unread character available; false at end of input.
bool fill() {
    ConsoleInput& in = input();
    while (in.pos >= in.buffer.size()) {
        if (in.sourceEnded) return false;
        in.buffer.clear();
        in.pos = 0;
        if (!readConsoleInput(in.buffer)) in.sourceEnded = true;
    }
    return true;
}

bool peek(wchar_t& c) {
    if (!fill()) return false;
    c = input().buffer[input().pos];
    return true;
}

ReadStatus ended() {
    input().readEnded = true;
    return ReadStatus::Ended;
}

// Skips blanks and line ends; false when the input ends first.
bool skipWhiteSpace() {
    wchar_t c;
    while (peek(c)) {
        if (!std::iswspace(static_cast<wint_t>(c))) return true;
        ++input().pos;
    }
    return false;
}

// Consumes the input up to and including the next line end.
void dropRestOfLine() {
    wchar_t c;
    while (peek(c)) {
        ++input().pos;
        if (c == L'\n') break;
    }
    input().linePending = false;
}

// Reads [+-]digits into a magnitude and a sign. The magnitude saturates just
// above any 32-bit value so that overflow is seen, never undefined.
ReadStatus readNumber(bool& negative, std::uint64_t& magnitude) {
    if (!skipWhiteSpace()) return ended();
    ConsoleInput& in = input();
    wchar_t c;
    negative = false;
    magnitude = 0;
    if (peek(c) && (c == L'+' || c == L'-')) {
        negative = c == L'-';
        ++in.pos;
    }
    bool digits = false;
    while (peek(c) && c >= L'0' && c <= L'9') {
        digits = true;
        if (magnitude <= std::numeric_limits<std::uint32_t>::max())
            magnitude = magnitude * 10 + static_cast<std::uint64_t>(c - L'0');
        ++in.pos;
    }
    if (!digits) {
        dropRestOfLine();
        return ReadStatus::NotANumber;
    }
    in.linePending = true;
    return ReadStatus::Ok;
}

} // namespace

void print(const std::wstring& text) { writeConsole(text); }

void print(const char* text) {
    std::wstring wide;
    for (const char* p = text; *p != '\0'; ++p) wide.push_back(static_cast<wchar_t>(static_cast<unsigned char>(*p)));
    writeConsole(wide);
}

void printLine(const std::wstring& text) { writeConsole(text + L"\n"); }

void promptForLine(const char* text) {
    print(text);
    if (input().linePending) dropRestOfLine();
}

ReadStatus readCharacter(wchar_t& answer) {
    if (!skipWhiteSpace()) return ended();
    answer = input().buffer[input().pos++];
    input().linePending = true;
    return ReadStatus::Ok;
}

namespace {

ReadStatus readSigned(std::int32_t& answer, bool clamp) {
    bool negative = false;
    std::uint64_t magnitude = 0;
    const ReadStatus status = readNumber(negative, magnitude);
    if (status != ReadStatus::Ok) return status;
    const std::uint64_t limit = negative ? std::uint64_t{1} << 31 : (std::uint64_t{1} << 31) - 1;
    if (magnitude > limit) {
        if (!clamp) {
            dropRestOfLine();
            return ReadStatus::NotANumber;
        }
        magnitude = limit;
    }
    const std::int64_t value = negative ? -static_cast<std::int64_t>(magnitude) : static_cast<std::int64_t>(magnitude);
    answer = static_cast<std::int32_t>(value);
    return ReadStatus::Ok;
}

} // namespace

ReadStatus readSignedNumber(std::int32_t& answer) { return readSigned(answer, false); }

ReadStatus readClampedSignedNumber(std::int32_t& answer) { return readSigned(answer, true); }

ReadStatus readUnsignedNumber(std::uint32_t& answer) {
    bool negative = false;
    std::uint64_t magnitude = 0;
    const ReadStatus status = readNumber(negative, magnitude);
    if (status != ReadStatus::Ok) return status;
    // A minus sign would wrap to a huge period or index; refuse it instead.
    if (negative || magnitude > std::numeric_limits<std::uint32_t>::max()) {
        dropRestOfLine();
        return ReadStatus::NotANumber;
    }
    answer = static_cast<std::uint32_t>(magnitude);
    return ReadStatus::Ok;
}

ReadStatus readLine(std::wstring& answer) {
    answer.clear();
    input().linePending = false;
    wchar_t c;
    bool any = false;
    while (peek(c)) {
        any = true;
        ++input().pos;
        if (c == L'\n') break;
        answer.push_back(c);
    }
    if (!any) return ended();
    // The one place a carriage return before the line end is dropped.
    if (!answer.empty() && answer.back() == L'\r') answer.pop_back();
    return ReadStatus::Ok;
}

namespace {

template <typename Number>
Number askNumber(const char* prompt, ReadStatus (*read)(Number&)) {
    print(prompt);
    for (;;) {
        Number value = 0;
        switch (read(value)) {
        case ReadStatus::Ok: return value;
        case ReadStatus::Ended: return 0;
        case ReadStatus::NotANumber: print("Not a number, try again: "); break;
        }
    }
}

} // namespace

std::uint32_t askUnsignedNumber(const char* prompt) { return askNumber(prompt, readUnsignedNumber); }

std::int32_t askSignedNumber(const char* prompt) { return askNumber(prompt, readSignedNumber); }

bool consoleInputEnded() { return input().readEnded; }

void waitForKey() {
    if (!keyWaitsSkipped()) waitForKeystroke();
}

void skipKeyWaits() { keyWaitsSkipped() = true; }

void showMessageAndWaitForKey(const std::wstring& text) {
    printLine(text);
    waitForKey();
}

void resetConsoleInput() {
    input() = ConsoleInput{};
    keyWaitsSkipped() = false;
}

} // namespace procguard
