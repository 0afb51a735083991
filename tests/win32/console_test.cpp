// The console seam without a console: piped input and output, and key waits
// that must not stop an unattended run.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <memory>
#include <thread>

#include "platform/platform.h"
#include "win32/process_support.h"

namespace procguard {
namespace {

using test::StandardHandleSwap;

void writeBytes(HANDLE pipe, const std::string& bytes) {
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(pipe, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
    ASSERT_EQ(written, bytes.size());
}

TEST(Win32Console, PipedInputIsDecodedAcrossSplitCharacters) {
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    ASSERT_TRUE(CreatePipe(&readEnd, &writeEnd, nullptr, 0));
    StandardHandleSwap input(STD_INPUT_HANDLE, readEnd);
    std::wstring text;

    writeBytes(writeEnd, "3\r\nab\xC3"); // "\u00e9" cut after its first byte
    ASSERT_TRUE(readConsoleInput(text));
    EXPECT_EQ(text, L"3\r\nab");
    writeBytes(writeEnd, "\xA9\r\nx \xE2\x82\xAC\xF0\x9F\x98\x80\n");
    ASSERT_TRUE(readConsoleInput(text));
    EXPECT_EQ(text, L"3\r\nab\u00e9\r\nx \u20ac\U0001F600\n");

    writeBytes(writeEnd, "tail\xE2\x82");
    CloseHandle(writeEnd);
    ASSERT_TRUE(readConsoleInput(text));
    EXPECT_EQ(text, L"3\r\nab\u00e9\r\nx \u20ac\U0001F600\ntail");
    ASSERT_TRUE(readConsoleInput(text)); // the cut character comes out as its bytes at the end
    EXPECT_EQ(text, L"3\r\nab\u00e9\r\nx \u20ac\U0001F600\ntail\xDCE2\xDC82");
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
    EXPECT_EQ(bytes, "Process restarted (1 runs).\nGr\xC3\xBC\xC3\x9F"
                     "e \xE2\x82\xAC \xE4\xB8\xAD\n");
}

TEST(Win32Console, KeyWaitWithoutAConsoleReturnsAtOnceAndLeavesInputAlone) {
    if (GetConsoleWindow() != nullptr) GTEST_SKIP() << "this run has a console with a keyboard";
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    ASSERT_TRUE(CreatePipe(&readEnd, &writeEnd, nullptr, 0));
    StandardHandleSwap input(STD_INPUT_HANDLE, readEnd);
    writeBytes(writeEnd, "typed ahead\n");
    CloseHandle(writeEnd);

    // Without a keyboard the waits must return rather than block the run;
    // one that blocks is left behind on its thread.
    const auto returned = std::make_shared<std::atomic<bool>>(false);
    std::thread([returned] {
        waitForKeystroke();
        waitForKeystroke();
        *returned = true;
    }).detach();
    EXPECT_TRUE(test::waitUntil([&] { return returned->load(); }));
    // The answers piped in are the dialogue's, not keys to drop.
    std::wstring text;
    EXPECT_TRUE(readConsoleInput(text));
    EXPECT_EQ(text, L"typed ahead\n");
    CloseHandle(readEnd);
}

} // namespace
} // namespace procguard
