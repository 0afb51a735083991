#include <gtest/gtest.h>

#include "vars/variable.h"

namespace procguard {
namespace {

std::vector<std::wstring> scannedNames(const std::wstring& argumentTemplate) {
    VariableList variables;
    scanPlaceholders(argumentTemplate, variables);
    std::vector<std::wstring> names;
    for (const Variable& variable : variables) names.push_back(variable.name);
    return names;
}

using Names = std::vector<std::wstring>;

TEST(PlaceholderScan, NameRunsFromOpeningToFirstClosingBracket) {
    EXPECT_EQ(scannedNames(L"x<a<b>y"), Names{L"<a<b>"});
    EXPECT_EQ(scannedNames(L"<a>>"), Names{L"<a>"});
    EXPECT_EQ(scannedNames(L"<a><b>"), (Names{L"<a>", L"<b>"}));
    EXPECT_EQ(scannedNames(L"-f <file name> <>"), (Names{L"<file name>", L"<>"}));
}

TEST(PlaceholderScan, UnclosedOrUnopenedBracketsArePlainText) {
    EXPECT_TRUE(scannedNames(L"").empty());
    EXPECT_TRUE(scannedNames(L"no placeholders").empty());
    EXPECT_TRUE(scannedNames(L"a>b<c").empty());
    EXPECT_EQ(scannedNames(L"<a> <x"), Names{L"<a>"});
}

TEST(PlaceholderScan, OneRecordPerDistinctNameInOrderOfFirstAppearance) {
    VariableList variables;
    scanPlaceholders(L"<b> <a> <b> <A> <a>", variables);
    ASSERT_EQ(variables.size(), 3u);
    EXPECT_EQ(variables[0].name, L"<b>");
    EXPECT_EQ(variables[1].name, L"<a>");
    EXPECT_EQ(variables[2].name, L"<A>");
    for (const Variable& variable : variables) {
        EXPECT_EQ(variable.type, VariableKind::RestartCount);
        EXPECT_EQ(variable.baseValue, 0);
        EXPECT_EQ(variable.value, 0);
        EXPECT_TRUE(variable.data.empty());
    }
}

TEST(PlaceholderScan, AppendsToListWithoutDuplicatingItsNames) {
    VariableList variables;
    variables.emplace_back(L"<b>", VariableKind::FileCount, 5, L"C:\\x\\*");
    scanPlaceholders(L"<a> <b> <c>", variables);
    ASSERT_EQ(variables.size(), 3u);
    EXPECT_EQ(variables[0].name, L"<b>");
    EXPECT_EQ(variables[0].type, VariableKind::FileCount); // untouched
    EXPECT_EQ(variables[0].baseValue, 5);
    EXPECT_EQ(variables[1].name, L"<a>");
    EXPECT_EQ(variables[2].name, L"<c>");
}

} // namespace
} // namespace procguard
