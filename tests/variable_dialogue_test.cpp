#include <gtest/gtest.h>

#include "console/console.h"
#include "dialogue_texts.h"
#include "platform/fake/fake_system.h"
#include "unit_support.h"
#include "dialogue/variable_dialogue.h"

namespace procguard {
namespace {

const std::wstring question = L"\nUse this variable? (y/n) ";
const std::wstring kindMenu = L"By what should this value be replaced?\n[0] Number of times the program has been "
                              L"restarted.\n[1] Number of files matching a certain pattern (e.g. files in a folder).\n"
                              L"Your choice: ";
const std::wstring& maskPrompt = test::kMaskPrompt;
const std::wstring basePrompt = L"Enter the base value for this variable (value to be added or subtracted from the "
                                L"calculated value): ";

class VariableDialogue : public ::testing::Test {
protected:
    void SetUp() override { test::resetSystem(); }

    // Runs the dialogue over the scan of `argumentTemplate` with `input` typed.
    VariableList run(const std::wstring& argumentTemplate, const std::wstring& input) {
        VariableList variables;
        scanPlaceholders(argumentTemplate, variables);
        fake::system().input = input;
        defineVariables(variables);
        return variables;
    }

    const std::wstring& output() { return fake::system().output; }
};

TEST_F(VariableDialogue, NothingToAskWithoutPlaceholders) {
    EXPECT_TRUE(run(L"-plain", L"y\n").empty());
    EXPECT_EQ(output(), L"");
}

TEST_F(VariableDialogue, TranscriptOfAFileCountAndARestartCount) {
    // "y 1" answers two questions; the line end after it must not become the mask.
    VariableList variables = run(L"-i <in> -n <n>", L"y 1\nC:\\x\\*.bmp\n-2\nY\n0\n7\n");
    EXPECT_EQ(output(), L"Variables found:\n<in>" + question + kindMenu + maskPrompt + basePrompt + L"<n>" + question +
                            kindMenu + basePrompt);
    ASSERT_EQ(variables.size(), 2u);
    EXPECT_EQ(variables[0].type, VariableKind::FileCount);
    EXPECT_EQ(variables[0].data, L"C:\\x\\*.bmp");
    EXPECT_EQ(variables[0].baseValue, -2);
    EXPECT_EQ(variables[1].type, VariableKind::RestartCount);
    EXPECT_TRUE(variables[1].data.empty());
    EXPECT_EQ(variables[1].baseValue, 7);
}

TEST_F(VariableDialogue, MaskLineIsTakenAsTyped) {
    VariableList variables = run(L"<a>", L"y 1 trailing words\n  D:\\my files\\*.* \n0\n");
    ASSERT_EQ(variables.size(), 1u);
    EXPECT_EQ(variables[0].data, L"  D:\\my files\\*.* ");
}

TEST_F(VariableDialogue, DeclinedRecordIsRemovedAndTheNextTakesItsPlace) {
    VariableList variables = run(L"<a> <b> <c>", L"n\ny 0 1\ny 0 2\n");
    EXPECT_EQ(output(), L"Variables found:\n<a>" + question + L"<b>" + question + kindMenu + basePrompt + L"<c>" +
                            question + kindMenu + basePrompt);
    ASSERT_EQ(variables.size(), 2u);
    EXPECT_EQ(variables[0].name, L"<b>");
    EXPECT_EQ(variables[0].baseValue, 1);
    EXPECT_EQ(variables[1].name, L"<c>");
    EXPECT_EQ(variables[1].baseValue, 2);
}

TEST_F(VariableDialogue, EachLetterOfAWordAnswersOneQuestion) {
    // "no": 'n' declines <a>, the pending 'o' declines <b>.
    VariableList variables = run(L"<a> <b> <c>", L"no\ny 0 5\n");
    EXPECT_EQ(output(),
              L"Variables found:\n<a>" + question + L"<b>" + question + L"<c>" + question + kindMenu + basePrompt);
    ASSERT_EQ(variables.size(), 1u);
    EXPECT_EQ(variables[0].name, L"<c>");
    EXPECT_EQ(variables[0].baseValue, 5);

    test::resetSystem();
    EXPECT_TRUE(run(L"<a> <b>", L"n\nN\n").empty());
}

TEST_F(VariableDialogue, KindsOtherThanFileCountAskNoMask) {
    VariableList variables = run(L"<a> <b>", L"y 7 4\ny -1 -3\n");
    EXPECT_EQ(output().find(maskPrompt), std::wstring::npos);
    ASSERT_EQ(variables.size(), 2u);
    EXPECT_EQ(variables[0].type, static_cast<VariableKind>(7));
    EXPECT_EQ(variables[0].baseValue, 4);
    EXPECT_EQ(variables[1].type, static_cast<VariableKind>(-1));
    EXPECT_EQ(variables[1].baseValue, -3);
}

TEST_F(VariableDialogue, AnswerThatIsNoNumberIsAskedAgain) {
    // "yes": the 'y' keeps the record, "es" is no kind; the bad line is dropped.
    VariableList variables = run(L"<a>", L"yes\n1\nm\nten\n-4\n");
    EXPECT_EQ(output(), L"Variables found:\n<a>" + question + kindMenu + L"Not a number, try again: " + maskPrompt +
                            basePrompt + L"Not a number, try again: ");
    ASSERT_EQ(variables.size(), 1u);
    EXPECT_EQ(variables[0].type, VariableKind::FileCount);
    EXPECT_EQ(variables[0].data, L"m");
    EXPECT_EQ(variables[0].baseValue, -4);
}

TEST_F(VariableDialogue, EndOfInputStopsTheQuestions) {
    // Ends before the mask: the kind is kept, nothing further is asked.
    VariableList variables = run(L"<a> <b>", L"y 1\n");
    EXPECT_EQ(output(), L"Variables found:\n<a>" + question + kindMenu + maskPrompt);
    ASSERT_EQ(variables.size(), 2u);
    EXPECT_EQ(variables[0].type, VariableKind::FileCount);
    EXPECT_EQ(variables[0].baseValue, 0);
    EXPECT_TRUE(consoleInputEnded());

    // Ends at a yes/no question: the records stay as they were made.
    test::resetSystem();
    variables = run(L"<a> <b>", L"y 0 3\n");
    EXPECT_EQ(output(), L"Variables found:\n<a>" + question + kindMenu + basePrompt + L"<b>" + question);
    ASSERT_EQ(variables.size(), 2u);
    EXPECT_EQ(variables[0].baseValue, 3);
    EXPECT_EQ(variables[1].type, VariableKind::RestartCount);

    // Ends while a kind is asked again.
    test::resetSystem();
    variables = run(L"<a>", L"y x\n");
    ASSERT_EQ(variables.size(), 1u);
    EXPECT_EQ(variables[0].type, VariableKind::RestartCount);
}

} // namespace
} // namespace procguard
