#include "console/console.h"

#include <gtest/gtest.h>

#include "platform/fake/fake_system.h"
#include "unit_support.h"

namespace procguard {
namespace {

class ConsoleTest : public ::testing::TestWithParam<std::size_t> {
protected:
    void SetUp() override {
        test::resetSystem();
        // Every case runs with the input arriving at once and one character
        // at a time, as a pipe may deliver it.
        fake::system().inputChunk = GetParam();
    }
    static void type(const std::wstring& text) { fake::system().input = text; }
};

TEST_P(ConsoleTest, CharacterThenNumberShareALine) {
    type(L"2 4\n");
    wchar_t choice = 0;
    std::uint32_t index = 99;
    EXPECT_EQ(readCharacter(choice), ReadStatus::Ok);
    EXPECT_EQ(choice, L'2');
    EXPECT_EQ(readUnsignedNumber(index), ReadStatus::Ok);
    EXPECT_EQ(index, 4u);
}

TEST_P(ConsoleTest, LinePromptDropsOnlyTheRestOfTheAnsweredLine) {
    type(L"3 trailing words\n\nkept line\nnext line\n");
    wchar_t choice = 0;
    ASSERT_EQ(readCharacter(choice), ReadStatus::Ok);
    promptForLine("Name: ");
    std::wstring line;
    ASSERT_EQ(readLine(line), ReadStatus::Ok);
    EXPECT_EQ(line, L""); // the empty line typed after the answer is an answer of its own
    promptForLine("Again: ");
    ASSERT_EQ(readLine(line), ReadStatus::Ok);
    EXPECT_EQ(line, L"kept line");
    promptForLine("More: ");
    ASSERT_EQ(readLine(line), ReadStatus::Ok);
    EXPECT_EQ(line, L"next line"); // typed ahead, never swallowed
    EXPECT_EQ(fake::system().output, L"Name: Again: More: ");
}

TEST_P(ConsoleTest, LinesKeepBlanksAndLoseCarriageReturns) {
    type(L"  C:\\My Folder\\*.bmp  \r\nlast line without end");
    std::wstring line;
    ASSERT_EQ(readLine(line), ReadStatus::Ok);
    EXPECT_EQ(line, L"  C:\\My Folder\\*.bmp  ");
    ASSERT_EQ(readLine(line), ReadStatus::Ok);
    EXPECT_EQ(line, L"last line without end");
    EXPECT_EQ(readLine(line), ReadStatus::Ended);
    EXPECT_TRUE(consoleInputEnded());
}

TEST_P(ConsoleTest, NumbersStopAtTheFirstNonDigit) {
    type(L"12abc\n  -7\n+5\n");
    std::int32_t value = 0;
    wchar_t next = 0;
    ASSERT_EQ(readSignedNumber(value), ReadStatus::Ok);
    EXPECT_EQ(value, 12);
    ASSERT_EQ(readCharacter(next), ReadStatus::Ok);
    EXPECT_EQ(next, L'a');
    promptForLine("");
    ASSERT_EQ(readSignedNumber(value), ReadStatus::Ok);
    EXPECT_EQ(value, -7);
    ASSERT_EQ(readSignedNumber(value), ReadStatus::Ok);
    EXPECT_EQ(value, 5);
}

TEST_P(ConsoleTest, NumbersOutsideTheirRangeAreRefused) {
    type(L"2147483647 -2147483648 2147483648\n-1\n4294967295\n4294967296\n");
    std::int32_t s = 0;
    ASSERT_EQ(readSignedNumber(s), ReadStatus::Ok);
    EXPECT_EQ(s, 2147483647);
    ASSERT_EQ(readSignedNumber(s), ReadStatus::Ok);
    EXPECT_EQ(s, -2147483647 - 1);
    EXPECT_EQ(readSignedNumber(s), ReadStatus::NotANumber);
    EXPECT_EQ(s, -2147483647 - 1) << "a refused answer leaves the field alone";
    std::uint32_t u = 0;
    EXPECT_EQ(readUnsignedNumber(u), ReadStatus::NotANumber) << "a minus sign must not wrap around";
    ASSERT_EQ(readUnsignedNumber(u), ReadStatus::Ok);
    EXPECT_EQ(u, 4294967295u);
    EXPECT_EQ(readUnsignedNumber(u), ReadStatus::NotANumber);
    EXPECT_EQ(readUnsignedNumber(u), ReadStatus::Ended);
}

TEST_P(ConsoleTest, RefusedNumberDropsItsLineAndAsksAgain) {
    type(L"soon 5\n\n  250 ms\n");
    EXPECT_EQ(askUnsignedNumber("Period: "), 250u);
    EXPECT_EQ(fake::system().output, L"Period: Not a number, try again: ");
    wchar_t rest = 0;
    ASSERT_EQ(readCharacter(rest), ReadStatus::Ok);
    EXPECT_EQ(rest, L'm');
}

TEST_P(ConsoleTest, AskingStopsWhenTheInputEnds) {
    type(L"x\n");
    EXPECT_EQ(askSignedNumber("Base: "), 0);
    EXPECT_TRUE(consoleInputEnded());
    wchar_t c = 0;
    EXPECT_EQ(readCharacter(c), ReadStatus::Ended);
}

TEST_P(ConsoleTest, KeyWaitsFollowTheirText) {
    showMessageAndWaitForKey(L"Warning.\n");
    print("Bye...");
    waitForKey();
    EXPECT_EQ(fake::system().transcript, L"Warning.\n\n[key]Bye...[key]");
    EXPECT_EQ(fake::system().keyWaits, 2);
}

INSTANTIATE_TEST_SUITE_P(Chunks, ConsoleTest, ::testing::Values(0u, 1u, 3u));

} // namespace
} // namespace procguard
