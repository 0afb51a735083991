#include <gtest/gtest.h>

#include <limits>

#include "vars/variable.h"

namespace procguard {
namespace {

Variable withValue(const std::wstring& name, std::int32_t value) {
    Variable variable(name, VariableKind::RestartCount, 0, L"");
    variable.value = value;
    return variable;
}

TEST(Substitution, ReplacesEveryOccurrenceWithTheDecimalValue) {
    EXPECT_EQ(substituteVariables(L"-n <A> -m <A>", {withValue(L"<A>", 3)}), L"-n 3 -m 3");
    EXPECT_EQ(substituteVariables(L"<A><A>", {withValue(L"<A>", -5)}), L"-5-5");
    EXPECT_EQ(substituteVariables(L"x=<A>", {withValue(L"<A>", 0)}), L"x=0");
    EXPECT_EQ(substituteVariables(L"<A>", {withValue(L"<A>", std::numeric_limits<std::int32_t>::min())}),
              L"-2147483648");
}

TEST(Substitution, OtherTextIsKept) {
    EXPECT_EQ(substituteVariables(L"-a <b> <c", {}), L"-a <b> <c");
    // Case-sensitive, and a declined placeholder keeps its brackets.
    EXPECT_EQ(substituteVariables(L"<a> <A> <gone>", {withValue(L"<a>", 1)}), L"1 <A> <gone>");
}

TEST(Substitution, VariablesApplyInListOrder) {
    EXPECT_EQ(substituteVariables(L"<a<b> <b>", {withValue(L"<a<b>", 1), withValue(L"<b>", 2)}), L"1 2");
    EXPECT_EQ(substituteVariables(L"<a<b> <b>", {withValue(L"<b>", 2), withValue(L"<a<b>", 1)}), L"<a2 2");
}

TEST(Substitution, SearchResumesBehindTheInsertedValue) {
    EXPECT_EQ(substituteVariables(L"1", {withValue(L"1", 11)}), L"11");
    EXPECT_EQ(substituteVariables(L"1 x 1", {withValue(L"1", 11)}), L"11 x 11");
}

TEST(Substitution, EmptyNameTakesNoPart) {
    EXPECT_EQ(substituteVariables(L"a <b>", {withValue(L"", 5), withValue(L"<b>", 1)}), L"a 1");
}

// Names that occur in their own values multiply the line with every
// variable; the line must stay within what a command line can hold.
TEST(Substitution, SelfFeedingNamesCannotGrowTheLineWithoutBound) {
    const VariableList ones(12, withValue(L"1", -1111111111));
    const std::wstring line = substituteVariables(L"1", ones);
    EXPECT_LE(line.size(), 32767u);
    EXPECT_GT(line.size(), 10000u) << "replacements within the limit are still made";

    const std::wstring longTemplate(40000, L'x');
    EXPECT_EQ(substituteVariables(longTemplate + L"<A>", {withValue(L"<A>", 7)}), longTemplate + L"7")
        << "a replacement that does not lengthen the line is always made";
}

} // namespace
} // namespace procguard
