#include <gtest/gtest.h>

#include <limits>

#include "platform/fake/fake_system.h"
#include "unit_support.h"
#include "vars/variable.h"

namespace procguard {
namespace {

class Evaluation : public ::testing::Test {
protected:
    void SetUp() override { test::resetSystem(); }
};

TEST_F(Evaluation, RestartCountIsCountPlusBase) {
    VariableList variables{{L"<n>", VariableKind::RestartCount, 0, L""},
                           {L"<m>", VariableKind::RestartCount, -1, L""},
                           {L"<k>", VariableKind::RestartCount, 10, L""}};
    evaluateVariables(variables, 0);
    EXPECT_EQ(variables[0].value, 0);
    EXPECT_EQ(variables[1].value, -1);
    evaluateVariables(variables, 1);
    EXPECT_EQ(variables[0].value, 1);
    EXPECT_EQ(variables[1].value, 0);
    EXPECT_EQ(variables[2].value, 11);
}

TEST_F(Evaluation, SumsWrapAsTwosComplement) {
    constexpr std::int32_t largest = std::numeric_limits<std::int32_t>::max();
    constexpr std::int32_t smallest = std::numeric_limits<std::int32_t>::min();
    fake::system().fileCounts[L"m"] = 2;
    VariableList variables{{L"<r>", VariableKind::RestartCount, largest, L""},
                           {L"<f>", VariableKind::FileCount, largest, L"m"},
                           {L"<s>", VariableKind::RestartCount, smallest, L""}};
    evaluateVariables(variables, 1);
    EXPECT_EQ(variables[0].value, smallest);
    EXPECT_EQ(variables[1].value, smallest + 1);
    evaluateVariables(variables, 0xFFFFFFFFu);
    EXPECT_EQ(variables[0].value, largest - 1);
    EXPECT_EQ(variables[2].value, largest);
}

TEST_F(Evaluation, FileCountSearchesAfreshForEveryVariable) {
    fake::system().fileCounts[L"C:\\x\\*"] = 5;
    VariableList variables{{L"<a>", VariableKind::FileCount, 0, L"C:\\x\\*"},
                           {L"<b>", VariableKind::FileCount, -2, L"C:\\x\\*"},
                           {L"<none>", VariableKind::FileCount, 7, L"C:\\nothing\\*"},
                           {L"<empty>", VariableKind::FileCount, 3, L""}};
    evaluateVariables(variables, 4);
    EXPECT_EQ(variables[0].value, 5);
    EXPECT_EQ(variables[1].value, 3);
    EXPECT_EQ(variables[2].value, 7);
    EXPECT_EQ(variables[3].value, 3);

    fake::system().fileCounts[L"C:\\x\\*"] = 1;
    evaluateVariables(variables, 4);
    EXPECT_EQ(variables[0].value, 1);
    EXPECT_EQ(variables[1].value, -1);
    EXPECT_EQ(fake::system().countedMasks.size(), 8u);
}

TEST_F(Evaluation, UnknownKindsAreLeftAlone) {
    VariableList variables{{L"<u>", static_cast<VariableKind>(4), 9, L""},
                           {L"<v>", static_cast<VariableKind>(-1), 9, L"m"}};
    variables[1].value = 42;
    fake::system().fileCounts[L"m"] = 3;
    evaluateVariables(variables, 2);
    EXPECT_EQ(variables[0].value, 0);
    EXPECT_EQ(variables[1].value, 42);
    EXPECT_TRUE(fake::system().countedMasks.empty());
}

} // namespace
} // namespace procguard
