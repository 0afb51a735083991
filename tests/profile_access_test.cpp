#include <gtest/gtest.h>

#include <climits>

#include "base/decimal.h"
#include "config/profile.h"
#include "platform/fake/fake_system.h"
#include "unit_support.h"

namespace procguard {
namespace {

const std::wstring kFile = L"run.ini";
const std::wstring kPath = L"C:\\Work\\run.ini";

class ProfileAccess : public ::testing::Test {
protected:
    void SetUp() override { test::resetSystem(); }

    // Stores `text` exactly as given: the fake trims nothing, so the integer
    // reader meets the text as it stands.
    std::int32_t readStored(const std::wstring& text, std::int32_t defaultValue = 7) {
        fake::system().profiles[kPath][L"main"][L"n"] = text;
        return readProfileInt(L"main", L"n", kPath, defaultValue);
    }
};

TEST_F(ProfileAccess, FormatDecimalIsPlainSignedDecimal) {
    EXPECT_EQ(formatDecimal(0), L"0");
    EXPECT_EQ(formatDecimal(-5), L"-5");
    EXPECT_EQ(formatDecimal(INT32_MAX), L"2147483647");
    EXPECT_EQ(formatDecimal(INT32_MIN), L"-2147483648");
}

TEST_F(ProfileAccess, ReadIntTakesTheLeadingNumber) {
    EXPECT_EQ(readStored(L"42"), 42);
    EXPECT_EQ(readStored(L"-42"), -42);
    EXPECT_EQ(readStored(L"+42"), 42);
    EXPECT_EQ(readStored(L"12abc"), 12);
    EXPECT_EQ(readStored(L"0x1A"), 0);
    EXPECT_EQ(readStored(L"007"), 7);
    EXPECT_EQ(readStored(L"-0", 9), 0);
    EXPECT_EQ(readStored(L" \t\v\f\r\n15 apples"), 15);
    EXPECT_EQ(readStored(L"-2147483648"), INT32_MIN);
    EXPECT_EQ(readStored(L"2147483647"), INT32_MAX);
}

TEST_F(ProfileAccess, ReadIntFallsBackToTheDefault) {
    EXPECT_EQ(readStored(L"abc"), 7);
    EXPECT_EQ(readStored(L"-"), 7);
    EXPECT_EQ(readStored(L"+"), 7);
    EXPECT_EQ(readStored(L"- 5"), 7);
    EXPECT_EQ(readStored(L"2147483648"), 7);
    EXPECT_EQ(readStored(L"-2147483649"), 7);
    EXPECT_EQ(readStored(L"99999999999999999999999"), 7);
    EXPECT_EQ(readStored(L"\x0663"), 7); // an Arabic-Indic digit is not a decimal digit here
    EXPECT_EQ(readStored(L""), 7);
    EXPECT_EQ(readProfileInt(L"main", L"missing", kPath, 7), 7);
    EXPECT_EQ(readProfileInt(L"main", L"n", L"C:\\Work\\other.ini", -3), -3);
}

TEST_F(ProfileAccess, MissingKeyReadsTheDefaultsOwnText) {
    // The default travels as text through the string read and is parsed back,
    // so every 32-bit default, the ends included, survives.
    EXPECT_EQ(readProfileInt(L"main", L"n", kPath, INT32_MIN), INT32_MIN);
    EXPECT_EQ(readProfileInt(L"main", L"n", kPath, INT32_MAX), INT32_MAX);
}

TEST_F(ProfileAccess, WriteIntStoresTheDecimalText) {
    EXPECT_TRUE(writeProfileInt(L"main", L"checkPeriod", kPath, -1294967296).ok);
    ASSERT_EQ(fake::system().profileWrites.size(), 1u);
    const fake::ProfileWrite& write = fake::system().profileWrites[0];
    EXPECT_EQ(write.section, L"main");
    EXPECT_EQ(write.key, L"checkPeriod");
    EXPECT_EQ(write.path, kPath);
    EXPECT_EQ(write.text, L"-1294967296");
    EXPECT_EQ(readProfileInt(L"main", L"checkPeriod", kPath, 0), -1294967296);
}

TEST_F(ProfileAccess, WriteIntReportsAFailedWrite) {
    fake::system().unwritablePaths.push_back(kPath);
    const Result result = writeProfileInt(L"main", L"n", kPath, 1);
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.error, L"Access is denied.");
}

} // namespace
} // namespace procguard
