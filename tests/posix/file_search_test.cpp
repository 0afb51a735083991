// countMatchingFiles on a real folder.
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "platform/platform.h"
#include "posix/process_support.h"

namespace procguard {
namespace {

class CountMatchingFiles : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(folder.path.empty());
        for (const char* name : {"a.txt", "b.TXT", "noext"}) std::ofstream(folder.path + "/" + name) << "x";
        prefix = test::widen(folder.path) + L"/";
    }

    void addFile(const std::string& name) { std::ofstream(folder.path + "/" + name) << "x"; }

    test::TempFolder folder;
    std::wstring prefix;
};

TEST_F(CountMatchingFiles, StarCountsEveryEntryWithDotAndDotDot) {
    EXPECT_EQ(countMatchingFiles(prefix + L"*"), 5);
    std::filesystem::create_directory(folder.path + "/sub");
    addFile(".hidden");
    EXPECT_EQ(countMatchingFiles(prefix + L"*"), 7) << "folders and hidden files count too";
    EXPECT_EQ(countMatchingFiles(prefix + L".*"), 3) << ". .. .hidden";
}

TEST_F(CountMatchingFiles, PatternsAreCaseSensitive) {
    EXPECT_EQ(countMatchingFiles(prefix + L"*.txt"), 1);
    EXPECT_EQ(countMatchingFiles(prefix + L"*.TXT"), 1);
    EXPECT_EQ(countMatchingFiles(prefix + L"A.txt"), 0);
    EXPECT_EQ(countMatchingFiles(prefix + L"?.*"), 3) << "a.txt b.TXT ..";
    EXPECT_EQ(countMatchingFiles(prefix + L"a.txt"), 1) << "a name without wildcards";
}

TEST_F(CountMatchingFiles, StarDotStarNeedsADot) {
    // "." and ".." have dots, so they match as well.
    EXPECT_EQ(countMatchingFiles(prefix + L"*.*"), 4);
}

TEST_F(CountMatchingFiles, SearchesThatCannotStartCountZero) {
    EXPECT_EQ(countMatchingFiles(L""), 0);
    EXPECT_EQ(countMatchingFiles(prefix), 0) << "a mask ending in a slash";
    EXPECT_EQ(countMatchingFiles(prefix + L"missing/*"), 0);
    EXPECT_EQ(countMatchingFiles(prefix + L"a.txt/*"), 0) << "a file is no folder";
    EXPECT_EQ(countMatchingFiles(prefix + L"*.none"), 0);
    // The folder part is taken literally: no wildcards there.
    EXPECT_EQ(
        countMatchingFiles(test::widen(std::filesystem::path(folder.path).parent_path()) + L"/procguard-test-*/a.txt"),
        0);
}

TEST_F(CountMatchingFiles, RelativeMasksUseTheCurrentDirectory) {
    std::filesystem::create_directory(folder.path + "/sub");
    std::ofstream(folder.path + "/sub/c.log") << "x";
    const auto previous = std::filesystem::current_path();
    std::filesystem::current_path(folder.path);
    const int plain = countMatchingFiles(L"*.txt");
    const int nested = countMatchingFiles(L"sub/*.log");
    const int dotted = countMatchingFiles(L"./noext");
    std::filesystem::current_path(previous);
    EXPECT_EQ(plain, 1);
    EXPECT_EQ(nested, 1);
    EXPECT_EQ(dotted, 1);
}

TEST_F(CountMatchingFiles, NonAsciiNamesMatch) {
    addFile("caf\xC3\xA9.txt");
    addFile("raw-\xE9.txt"); // not UTF-8
    EXPECT_EQ(countMatchingFiles(prefix + L"caf\u00e9.*"), 1);
    EXPECT_EQ(countMatchingFiles(prefix + L"caf?.txt"), 1) << "? is one character, not one byte";
    EXPECT_EQ(countMatchingFiles(prefix + test::widen("raw-\xE9.txt")), 1);
}

} // namespace
} // namespace procguard
