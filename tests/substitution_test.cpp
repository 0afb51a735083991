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
    EXPECT_EQ(substituteVariables(L"<a<b> <b>", {withValue(L"<a<b>", 1), withValue(L"<b>", 2)}),
              L"1 2");
    EXPECT_EQ(substituteVariables(L"<a<b> <b>", {withValue(L"<b>", 2), withValue(L"<a<b>", 1)}),
              L"<a2 2");
}

TEST(Substitution, SearchResumesBehindTheInsertedValue) {
    EXPECT_EQ(substituteVariables(L"1", {withValue(L"1", 11)}), L"11");
    EXPECT_EQ(substituteVariables(L"1 x 1", {withValue(L"1", 11)}), L"11 x 11");
}

TEST(Substitution, EmptyNameTakesNoPart) {
    EXPECT_EQ(substituteVariables(L"a <b>", {withValue(L"", 5), withValue(L"<b>", 1)}), L"a 1");
}

} // namespace
} // namespace procguard
