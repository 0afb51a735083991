// Counting the entries of wildcard searches in real folders, and the whole
// recorded table of masks replayed against the same fixture.
#include <gtest/gtest.h>

#include <sstream>

#include "platform/platform.h"
#include "win32/process_support.h"

namespace procguard {
namespace {

// Makes `folder` the current directory for the life of the object.
struct CurrentDirectoryGuard {
    std::wstring previous;
    explicit CurrentDirectoryGuard(const std::wstring& folder) {
        wchar_t buffer[32768];
        previous.assign(buffer, GetCurrentDirectoryW(32768, buffer));
        SetCurrentDirectoryW(folder.c_str());
    }
    ~CurrentDirectoryGuard() { SetCurrentDirectoryW(previous.c_str()); }
};

void makeFile(const std::wstring& path) { ASSERT_TRUE(test::writeFileBytes(path, "x")); }

TEST(Win32FileSearch, StarInAFolderCountsItsEntriesAndTheTwoDots) {
    const std::wstring folder = test::makeScratchFolder(L"count");
    makeFile(folder + L"\\one.txt");
    makeFile(folder + L"\\two.txt");
    makeFile(folder + L"\\three.log");
    EXPECT_EQ(countMatchingFiles(folder + L"\\*"), 5);
    EXPECT_EQ(countMatchingFiles(folder + L"\\*.txt"), 2);
    EXPECT_EQ(countMatchingFiles(folder + L"\\three.log"), 1);
    EXPECT_EQ(countMatchingFiles(folder + L"\\*.none"), 0);
    EXPECT_EQ(countMatchingFiles(folder + L"\\missing\\*"), 0);
    EXPECT_EQ(countMatchingFiles(L""), 0);

    // The count follows the folder from one search to the next.
    ASSERT_TRUE(CreateDirectoryW((folder + L"\\sub").c_str(), nullptr));
    EXPECT_EQ(countMatchingFiles(folder + L"\\*"), 6);
    DeleteFileW((folder + L"\\one.txt").c_str());
    EXPECT_EQ(countMatchingFiles(folder + L"\\*.txt"), 1);
    test::removeFolderTree(folder);
}

// The fixture the recorded table was made with: the same names, folders and
// the two names only a verbatim path can create.
void buildRecordedFixture(const std::wstring& folder) {
    const wchar_t* files[] = {L"a.bmp",
                              L"b.BMP",
                              L"ab.bmp",
                              L"c.txt",
                              L"noext",
                              L".hidden",
                              L"x.y.z",
                              L"with space.bmp",
                              L"averyveryverylongfilename_number_one.bmp",
                              L"averyveryverylongfilename_number_two.txt",
                              L"page.html",
                              L"data.bmpx",
                              L"plaindot."};
    for (const wchar_t* name : files) makeFile(folder + L"\\" + name);
    makeFile(L"\\\\?\\" + folder + L"\\trailingdot.");
    makeFile(L"\\\\?\\" + folder + L"\\trailingspace ");
    for (const wchar_t* name : {L"dir1", L"dir1\\sub", L"dir.ext", L"emptydir"})
        ASSERT_TRUE(CreateDirectoryW((folder + L"\\" + name).c_str(), nullptr));
    makeFile(folder + L"\\dir1\\inner.txt");
}

// A mask as the table writes it: quoted, escaped, <T> for the test folder.
std::wstring maskFromTable(const std::string& cell, const std::wstring& folder) {
    std::wstring forwardFolder = folder;
    for (wchar_t& unit : forwardFolder)
        if (unit == L'\\') unit = L'/';
    const std::string text = cell.substr(1, cell.size() - 2);
    std::wstring mask;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text.compare(i, 3, "<T>") == 0) {
            mask += i + 3 < text.size() && text[i + 3] == '/' ? forwardFolder : folder;
            i += 2;
        } else if (text[i] == '\\' && i + 1 < text.size()) {
            const char escaped = text[++i];
            if (escaped == 't')
                mask += L'\t';
            else if (escaped == 'r')
                mask += L'\r';
            else if (escaped == 'n')
                mask += L'\n';
            else if (escaped == 'u') {
                mask += static_cast<wchar_t>(std::stoul(text.substr(i + 1, 4), nullptr, 16));
                i += 4;
            } else
                mask += static_cast<wchar_t>(escaped);
        } else {
            mask += static_cast<wchar_t>(static_cast<unsigned char>(text[i]));
        }
    }
    return mask;
}

TEST(Win32FileSearch, ReplaysTheRecordedMaskTable) {
    const std::string table = test::readFileBytes(test::sourceTreePath("tests/data/findfile.tsv"));
    ASSERT_FALSE(table.empty()) << "tests/data/findfile.tsv not found";

    const std::wstring scratch = test::makeScratchFolder(L"findfile");
    ASSERT_TRUE(CreateDirectoryW((scratch + L"\\oracle").c_str(), nullptr));
    const std::wstring folder = scratch + L"\\oracle\\findfile";
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    buildRecordedFixture(folder);

    int replayed = 0;
    {
        CurrentDirectoryGuard inFixture(folder);
        std::istringstream lines(table);
        std::string line;
        std::getline(lines, line); // header
        while (std::getline(lines, line)) {
            std::istringstream cells(line);
            std::string maskCell, countCell;
            std::getline(cells, maskCell, '\t');
            std::getline(cells, countCell, '\t');
            // Not searches, or what the machine holds rather than the fixture.
            if (maskCell == "\"(cwd)\"" || maskCell == "\"Z:\\\\*\"" || maskCell == "\"C:\\\\*\"") continue;
            const std::wstring mask = maskFromTable(maskCell, folder);
            EXPECT_EQ(countMatchingFiles(mask), std::stoi(countCell)) << "mask " << maskCell;
            ++replayed;
        }
    }
    EXPECT_GT(replayed, 80);
    test::removeFolderTree(scratch);
}

} // namespace
} // namespace procguard
