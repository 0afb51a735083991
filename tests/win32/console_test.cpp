// The console seam without a console: piped input and output, and key waits
// that must not stop an unattended run.
#include <gtest/gtest.h>

#include <windows.h>

#include "platform/platform.h"
#include "platform/win32/utf8_input.h"

namespace procguard {
namespace {

// Swaps one standard handle for the life of the object.
struct StandardHandleSwap {
    DWORD which;
    HANDLE previous;
    StandardHandleSwap(DWORD which, HANDLE replacement) : which(which), previous(GetStdHandle(which)) {
        SetStdHandle(which, replacement);
    }
    ~StandardHandleSwap() { SetStdHandle(which, previous); }
};

void writeBytes(HANDLE pipe, const std::string& bytes) {
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(pipe, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
    ASSERT_EQ(written, bytes.size());
}

TEST(Win32Console, PipedInputIsDecodedAcrossSplitCharactersAndLineEnds) {
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    ASSERT_TRUE(CreatePipe(&readEnd, &writeEnd, nullptr, 0));
    StandardHandleSwap input(STD_INPUT_HANDLE, readEnd);
    std::wstring text;

    writeBytes(writeEnd, "3\r\nab\xC3");          // "é" cut after its first byte
    ASSERT_TRUE(readConsoleInput(text));
    EXPECT_EQ(text, L"3\nab");
    writeBytes(writeEnd, "\xA9\r");                // CR whose LF is still to come
    ASSERT_TRUE(readConsoleInput(text));
    EXPECT_EQ(text, L"3\nab\u00e9");
    writeBytes(writeEnd, "\nx \xE2\x82\xAC\xF0\x9F\x98\x80\n");
    ASSERT_TRUE(readConsoleInput(text));
    EXPECT_EQ(text, L"3\nab\u00e9\nx \u20ac\U0001F600\n");

    writeBytes(writeEnd, "tail\r");
    CloseHandle(writeEnd);
    ASSERT_TRUE(readConsoleInput(text));
    EXPECT_EQ(text, L"3\nab\u00e9\nx \u20ac\U0001F600\ntail");
    ASSERT_TRUE(readConsoleInput(text));           // the held-back CR comes out at the end
    EXPECT_EQ(text, L"3\nab\u00e9\nx \u20ac\U0001F600\ntail\r");
    EXPECT_FALSE(readConsoleInput(text));
    EXPECT_FALSE(readConsoleInput(text));
    CloseHandle(readEnd);
}

TEST(Win32Console, OutputWithoutAConsoleIsUtf8) {
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    ASSERT_TRUE(CreatePipe(&readEnd, &writeEnd, nullptr, 0));
    {
        StandardHandleSwap output(STD_OUTPUT_HANDLE, writeEnd);
        writeConsole(L"Process restarted (1 runs).\n");
        writeConsole(L"Gr\u00fc\u00dfe \u20ac \u4e2d\n");
        writeConsole(L"");
    }
    CloseHandle(writeEnd);
    std::string bytes;
    char buffer[256];
    DWORD read = 0;
    while (ReadFile(readEnd, buffer, sizeof buffer, &read, nullptr) && read > 0) bytes.append(buffer, read);
    CloseHandle(readEnd);
    EXPECT_EQ(bytes, "Process restarted (1 runs).\nGr\xC3\xBC\xC3\x9F" "e \xE2\x82\xAC \xE4\xB8\xAD\n");
}

TEST(Win32Console, KeyWaitWithoutAConsoleReturnsAtOnce) {
    if (GetConsoleWindow() != nullptr) GTEST_SKIP() << "this run has a console with a keyboard";
    // Without a keyboard the wait must return rather than block the run; a
    // wait that blocks here ends the test by its time limit.
    waitForKeystroke();
    waitForKeystroke();
    SUCCEED();
}

TEST(Win32Utf8Input, AnIncompleteSequenceAtTheEndIsHeldBack) {
    EXPECT_EQ(incompleteUtf8Tail(""), 0u);
    EXPECT_EQ(incompleteUtf8Tail("abc"), 0u);
    EXPECT_EQ(incompleteUtf8Tail("a\xC3"), 1u);
    EXPECT_EQ(incompleteUtf8Tail("a\xC3\xA9"), 0u);
    EXPECT_EQ(incompleteUtf8Tail("\xE2\x82"), 2u);
    EXPECT_EQ(incompleteUtf8Tail("\xF0\x9F\x98"), 3u);
    EXPECT_EQ(incompleteUtf8Tail("\xF0\x9F\x98\x80"), 0u);
    EXPECT_EQ(incompleteUtf8Tail("\x80\x80"), 0u) << "stray continuation bytes are not held";
    EXPECT_EQ(incompleteUtf8Tail("\xFF"), 0u) << "an invalid byte is not held";
}

TEST(Win32Utf8Input, CharactersFedOneByteAtATimeComeOutWhole) {
    const std::string bytes = "a\r\n\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\r\n";
    Utf8InputDecoder decoder;
    std::wstring text;
    for (char byte : bytes) text += decodeInputChunk(decoder, std::string_view(&byte, 1));
    text += flushInput(decoder);
    EXPECT_EQ(text, L"a\n\u00e9\u20ac\U0001F600\n");

    Utf8InputDecoder broken;
    EXPECT_EQ(decodeInputChunk(broken, "x\xFFy"), L"x\uFFFDy");
    EXPECT_EQ(decodeInputChunk(broken, "\xC3"), L"");
    EXPECT_EQ(flushInput(broken), L"\uFFFD") << "a sequence cut off by the end of input";
}

TEST(Win32Utf8Input, OnlyCrLfPairsBecomeLf) {
    EXPECT_EQ(normaliseLineEnds(L"a\r\nb\rc\n\r\n"), L"a\nb\rc\n\n");
    EXPECT_EQ(normaliseLineEnds(L"\r"), L"\r");
}

} // namespace
} // namespace procguard
