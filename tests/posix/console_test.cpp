// Console input and output through pipes put in place of stdin and stdout.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <string>

#include <gtest/gtest.h>

#include "platform/platform.h"

namespace procguard {
namespace {

// Puts the read end of a fresh pipe on `target` (or its write end, for
// output) for the life of the record.
struct RedirectedStream {
    RedirectedStream(int target, bool output) : target(target) {
        saved = dup(target);
        if (pipe(ends) != 0) return;
        dup2(output ? ends[1] : ends[0], target);
        close(output ? ends[1] : ends[0]);
        other = output ? ends[0] : ends[1];
    }
    ~RedirectedStream() {
        dup2(saved, target);
        close(saved);
        if (other >= 0) close(other);
    }
    void closeOther() {
        close(other);
        other = -1;
    }

    int target;
    int saved = -1;
    int ends[2] = {-1, -1};
    int other = -1; // the test's end of the pipe
};

TEST(ConsoleInput, KeepsACharacterSplitAcrossReadsWhole) {
    RedirectedStream input(STDIN_FILENO, false);
    std::wstring text;
    ASSERT_EQ(write(input.other, "a\xC3", 2), 2); // "a" and half of U+00E4
    ASSERT_TRUE(readConsoleInput(text));
    EXPECT_EQ(text, L"a");
    ASSERT_EQ(write(input.other,
                    "\xA4"
                    "b\n",
                    3),
              3);
    ASSERT_TRUE(readConsoleInput(text));
    EXPECT_EQ(text, L"a\u00e4b\n");

    // A character cut off by the end of input is not lost.
    ASSERT_EQ(write(input.other, "\xE2\x82", 2), 2);
    input.closeOther();
    ASSERT_TRUE(readConsoleInput(text));
    EXPECT_EQ(text, L"a\u00e4b\n\xDCE2\xDC82");
    EXPECT_FALSE(readConsoleInput(text)) << "end of input";
    EXPECT_EQ(text, L"a\u00e4b\n\xDCE2\xDC82");
}

TEST(ConsoleOutput, WritesUtf8AndSurvivesAClosedReader) {
    {
        RedirectedStream output(STDOUT_FILENO, true);
        writeConsole(L"caf\u00e9 \xDCE9\n"); // an escaped byte goes out as that byte
        char buffer[32] = {};
        const ssize_t length = read(output.other, buffer, sizeof buffer);
        EXPECT_EQ(std::string(buffer, length > 0 ? length : 0), "caf\xC3\xA9 \xE9\n");
    }
    {
        initializePlatform();
        RedirectedStream output(STDOUT_FILENO, true);
        output.closeOther();
        writeConsole(L"nobody reads this\n"); // SIGPIPE would end the test process here
    }
    // Still here: the write met an ignored SIGPIPE, not the default that ends the process.
    struct sigaction pipeAction {};
    ASSERT_EQ(sigaction(SIGPIPE, nullptr, &pipeAction), 0);
    EXPECT_EQ(pipeAction.sa_handler, SIG_IGN);
}

TEST(ProgramArgument, DecodesUtf8AndStaysInRange) {
    char program[] = "procguard";
    char name[] = "conf \xC3\xA4\xE9.ini";
    char* argv[] = {program, name, nullptr};
    EXPECT_EQ(programArgument(2, argv, 1), L"conf \u00e4\xDCE9.ini");
    EXPECT_EQ(programArgument(2, argv, 2), L"");
    EXPECT_EQ(programArgument(2, argv, -1), L"");
}

} // namespace
} // namespace procguard
