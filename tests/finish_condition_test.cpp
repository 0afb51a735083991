#include <gtest/gtest.h>

#include "finish/finish_condition.h"
#include "platform/fake/fake_system.h"
#include "unit_support.h"

namespace procguard {
namespace {

FinishCondition condition(FinishKind type, bool greater, const std::wstring& text, std::int32_t number) {
    FinishCondition result;
    result.type = type;
    result.dataBool = greater;
    result.dataString = text;
    result.dataInt = number;
    return result;
}

Variable withValue(const std::wstring& name, std::int32_t value) {
    Variable variable(name, VariableKind::RestartCount, 0, L"");
    variable.value = value;
    return variable;
}

class FinishConditionCheck : public ::testing::Test {
protected:
    void SetUp() override { test::resetSystem(); }
    VariableList none;
};

TEST_F(FinishConditionCheck, RestartCountEndsWhenTheMaximumIsReached) {
    const FinishCondition three = condition(FinishKind::RestartCount, false, L"", 3);
    EXPECT_FALSE(isFinishConditionMet(three, none, 2));
    EXPECT_TRUE(isFinishConditionMet(three, none, 3));
    EXPECT_TRUE(isFinishConditionMet(three, none, 4));
    // The count is compared as a signed number.
    EXPECT_FALSE(isFinishConditionMet(three, none, 0x80000000u));

    EXPECT_TRUE(isFinishConditionMet(condition(FinishKind::RestartCount, true, L"", 0), none, 0));
    EXPECT_TRUE(isFinishConditionMet(condition(FinishKind::RestartCount, false, L"", -4), none, 0));
}

TEST_F(FinishConditionCheck, FileCountComparesStrictlyWithTheThreshold) {
    auto& counts = fake::system().fileCounts;
    const FinishCondition greater = condition(FinishKind::FileCount, true, L"C:\\x\\*", 5);
    const FinishCondition smaller = condition(FinishKind::FileCount, false, L"C:\\x\\*", 5);

    counts[L"C:\\x\\*"] = 5;
    EXPECT_FALSE(isFinishConditionMet(greater, none, 0));
    EXPECT_FALSE(isFinishConditionMet(smaller, none, 0));
    counts[L"C:\\x\\*"] = 6;
    EXPECT_TRUE(isFinishConditionMet(greater, none, 0));
    EXPECT_FALSE(isFinishConditionMet(smaller, none, 0));
    counts[L"C:\\x\\*"] = 4;
    EXPECT_FALSE(isFinishConditionMet(greater, none, 0));
    EXPECT_TRUE(isFinishConditionMet(smaller, none, 0));
    // Searched afresh at every call.
    EXPECT_EQ(fake::system().countedMasks.size(), 6u);
}

TEST_F(FinishConditionCheck, MaskMatchingNothingCountsZero) {
    EXPECT_TRUE(isFinishConditionMet(condition(FinishKind::FileCount, false, L"Q:\\none\\*", 1), none, 0));
    EXPECT_FALSE(isFinishConditionMet(condition(FinishKind::FileCount, true, L"Q:\\none\\*", 0), none, 0));
    EXPECT_TRUE(isFinishConditionMet(condition(FinishKind::FileCount, true, L"Q:\\none\\*", -1), none, 0));
}

TEST_F(FinishConditionCheck, VariableValueComparesTheNamedVariable) {
    const VariableList variables{withValue(L"<a>", 13), withValue(L"<b>", -7)};
    EXPECT_TRUE(isFinishConditionMet(condition(FinishKind::VariableValue, true, L"<a>", 12), variables, 0));
    EXPECT_FALSE(isFinishConditionMet(condition(FinishKind::VariableValue, true, L"<a>", 13), variables, 0));
    EXPECT_FALSE(isFinishConditionMet(condition(FinishKind::VariableValue, false, L"<a>", 13), variables, 0));
    EXPECT_TRUE(isFinishConditionMet(condition(FinishKind::VariableValue, false, L"<b>", -6), variables, 0));
    EXPECT_FALSE(isFinishConditionMet(condition(FinishKind::VariableValue, true, L"<b>", -6), variables, 0));
}

TEST_F(FinishConditionCheck, VariableNameMustMatchExactly) {
    const VariableList variables{withValue(L"<a>", 100)};
    for (const wchar_t* name : {L"a", L"<A>", L" <a>", L"<a> ", L""}) {
        EXPECT_FALSE(isFinishConditionMet(condition(FinishKind::VariableValue, true, name, 0), variables, 0))
            << testing::PrintToString(std::wstring(name));
        EXPECT_FALSE(isFinishConditionMet(condition(FinishKind::VariableValue, false, name, 1000), variables, 0));
    }
    EXPECT_FALSE(isFinishConditionMet(condition(FinishKind::VariableValue, false, L"<a>", 1000), none, 0));
}

TEST_F(FinishConditionCheck, FirstOfTwoSameNamedVariablesDecides) {
    const VariableList variables{withValue(L"<a>", 1), withValue(L"<a>", 100)};
    EXPECT_FALSE(isFinishConditionMet(condition(FinishKind::VariableValue, true, L"<a>", 50), variables, 0));
    EXPECT_TRUE(isFinishConditionMet(condition(FinishKind::VariableValue, false, L"<a>", 50), variables, 0));
}

TEST_F(FinishConditionCheck, OtherKindsNeverEndTheRun) {
    fake::system().fileCounts[L"m"] = 10;
    const VariableList variables{withValue(L"m", 10)};
    for (std::int32_t type : {0, 4, 7, -1}) {
        for (bool greater : {false, true}) {
            const FinishCondition other = condition(static_cast<FinishKind>(type), greater, L"m", -5);
            EXPECT_FALSE(isFinishConditionMet(other, variables, 100)) << type;
        }
    }
    EXPECT_TRUE(fake::system().countedMasks.empty());
}

} // namespace
} // namespace procguard
