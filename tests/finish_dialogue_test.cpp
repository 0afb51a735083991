#include <gtest/gtest.h>

#include "dialogue/finish_dialogue.h"
#include "console/console.h"
#include "dialogue_texts.h"
#include "platform/fake/fake_system.h"
#include "unit_support.h"

namespace procguard {
namespace {

const std::wstring& menu = test::kFinishMenu;
const std::wstring& maskPrompt = test::kMaskPrompt;
const std::wstring numberPrompt = L"Enter the number to check against: ";
const std::wstring filesDirection = L"Should the number of files be greater or smaller than the given number? "
                                    L"(greater = >, smaller = <) ";
const std::wstring variableDirection = L"Should the variable value be greater or smaller than the given number? "
                                       L"(greater = >, smaller = <) ";

class FinishDialogue : public ::testing::Test {
protected:
    void SetUp() override { test::resetSystem(); }

    FinishCondition run(const std::wstring& input, FinishCondition start = {}) {
        fake::system().input = input;
        defineFinishCondition(start);
        return start;
    }

    const std::wstring& output() { return fake::system().output; }
};

TEST_F(FinishDialogue, NeverAsksNothingMore) {
    const FinishCondition result = run(L"0\n");
    EXPECT_EQ(output(), menu);
    EXPECT_EQ(result.type, FinishKind::Never);
    EXPECT_FALSE(result.dataBool);
    EXPECT_TRUE(result.dataString.empty());
    EXPECT_EQ(result.dataInt, 0);
}

TEST_F(FinishDialogue, FileCountTranscript) {
    const FinishCondition result = run(L"1\nC:\\x y\\*.bmp\n5\n<\n");
    EXPECT_EQ(output(), menu + maskPrompt + numberPrompt + filesDirection);
    EXPECT_EQ(result.type, FinishKind::FileCount);
    EXPECT_EQ(result.dataString, L"C:\\x y\\*.bmp");
    EXPECT_EQ(result.dataInt, 5);
    EXPECT_FALSE(result.dataBool);
}

TEST_F(FinishDialogue, RestartCountTranscriptTouchesOnlyTheMaximum) {
    FinishCondition start;
    start.dataString = L"kept";
    const FinishCondition result = run(L"2\n3\n", start);
    EXPECT_EQ(output(), menu + L"Enter maximum number of restarts: ");
    EXPECT_EQ(result.type, FinishKind::RestartCount);
    EXPECT_EQ(result.dataInt, 3);
    EXPECT_FALSE(result.dataBool);
    EXPECT_EQ(result.dataString, L"kept");
}

TEST_F(FinishDialogue, VariableValueTranscript) {
    const FinishCondition result = run(L"3\n<a>\n-12\n>\n");
    EXPECT_EQ(output(),
              menu + L"Enter the name of the variable to check (including <>):\n" + numberPrompt + variableDirection);
    EXPECT_EQ(result.type, FinishKind::VariableValue);
    EXPECT_EQ(result.dataString, L"<a>");
    EXPECT_EQ(result.dataInt, -12);
    EXPECT_TRUE(result.dataBool);
}

TEST_F(FinishDialogue, ChoicesOutsideTheMenuAreStoredAndAskNothing) {
    for (const auto& [input, type] : {std::pair{L"7\n", 7}, std::pair{L"-1\n", -1}}) {
        test::resetSystem();
        const FinishCondition result = run(input);
        EXPECT_EQ(output(), menu);
        EXPECT_EQ(static_cast<std::int32_t>(result.type), type);
    }
}

TEST_F(FinishDialogue, AnswersThatAreNoNumberCountZero) {
    FinishCondition start;
    start.type = FinishKind::VariableValue;
    EXPECT_EQ(run(L"three\n", start).type, FinishKind::Never);
    EXPECT_EQ(output(), menu);

    test::resetSystem();
    start.dataInt = 9;
    EXPECT_EQ(run(L"2\nmany\n", start).dataInt, 0);

    // The bad line is dropped, so the direction is still read from the next one.
    test::resetSystem();
    const FinishCondition result = run(L"1\nm\nfive\n<\n", start);
    EXPECT_EQ(output(), menu + maskPrompt + numberPrompt + filesDirection);
    EXPECT_EQ(result.dataInt, 0);
    EXPECT_FALSE(result.dataBool);
}

TEST_F(FinishDialogue, NumbersTooLargeForTheFieldGiveTheNearestLimit) {
    // A maximum of 0 would end the run after its first check.
    EXPECT_EQ(run(L"2\n3000000000\n").dataInt, INT32_MAX);
    EXPECT_EQ(output(), menu + L"Enter maximum number of restarts: ");
    test::resetSystem();
    EXPECT_EQ(run(L"3\n<a>\n-99999999999\n<\n").dataInt, INT32_MIN);
}

TEST_F(FinishDialogue, OnlyLessThanSelectsTheSmallerDirection) {
    EXPECT_FALSE(run(L"3\n<a>\n1\n\n   \n\t <\n").dataBool);
    for (const wchar_t* answer : {L">\n", L"x\n", L"smaller\n"}) {
        test::resetSystem();
        FinishCondition start;
        EXPECT_TRUE(run(std::wstring(L"1\nm\n1\n") + answer, start).dataBool)
            << testing::PrintToString(std::wstring(answer));
    }
}

TEST_F(FinishDialogue, DirectionConsumesOneCharacter) {
    run(L"1\nm\n2\n<yes\n");
    wchar_t next = 0;
    ASSERT_EQ(readCharacter(next), ReadStatus::Ok);
    EXPECT_EQ(next, L'y');
}

TEST_F(FinishDialogue, EndOfInputLeavesTheRemainingFields) {
    FinishCondition start;
    start.dataInt = 9;
    start.dataBool = true;
    const FinishCondition result = run(L"1\nC:\\m\n", start);
    EXPECT_EQ(output(), menu + maskPrompt + numberPrompt);
    EXPECT_EQ(result.type, FinishKind::FileCount);
    EXPECT_EQ(result.dataString, L"C:\\m");
    EXPECT_EQ(result.dataInt, 9);
    EXPECT_TRUE(result.dataBool);
}

} // namespace
} // namespace procguard
