// Profile files and config paths on a real Linux file system.
#include <sys/capability.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "config/profile.h"
#include "posix/process_support.h"

namespace procguard {
namespace {

namespace fs = std::filesystem;

class ProfileFile : public testing::Test {
protected:
    void SetUp() override { ASSERT_FALSE(folder.path.empty()); }

    std::string pathOf(const std::string& name) const { return folder.path + "/" + name; }
    std::wstring widePath(const std::string& name) const { return test::widen(pathOf(name)); }
    void put(const std::string& name, const std::string& bytes) const {
        std::ofstream(pathOf(name), std::ios::binary) << bytes;
    }
    std::vector<std::string> entries() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder.path)) names.push_back(entry.path().filename());
        return names;
    }

    test::TempFolder folder;
};

TEST_F(ProfileFile, WriteThenReadThroughTheFile) {
    const std::wstring path = widePath("run.ini");
    EXPECT_EQ(readProfileString(L"main", L"k", path, L"dflt"), L"dflt") << "no file yet";
    ASSERT_TRUE(writeProfileString(L"main", L"k", path, L"v\u00E9").ok);
    ASSERT_TRUE(writeProfileString(L"main", L"empty", path, L"").ok);
    EXPECT_EQ(test::readFile(pathOf("run.ini")), "[main]\nk=v\xC3\xA9\nempty=\n");
    EXPECT_EQ(readProfileString(L"MAIN", L"K", path, L"dflt"), L"v\u00E9");
    EXPECT_EQ(readProfileString(L"main", L"empty", path, L"false"), L"false") << "an empty value reads as the default";
    EXPECT_EQ(entries(), std::vector<std::string>{"run.ini"}) << "no temporary file is left behind";
}

TEST_F(ProfileFile, LongValuesAreCutTo2047Characters) {
    put("long.ini", "[main]\nlong=" + std::string(3000, 'A') + "\nexact=" + std::string(2047, 'B') + "\n");
    EXPECT_EQ(readProfileString(L"main", L"long", widePath("long.ini"), L""), std::wstring(2047, L'A'));
    EXPECT_EQ(readProfileString(L"main", L"exact", widePath("long.ini"), L""), std::wstring(2047, L'B'));
}

TEST_F(ProfileFile, ValuesTheFileCannotHoldAreRefused) {
    put("run.ini", "[main]\nk=v\n");
    const Result result = writeProfileString(L"main", L"k", widePath("run.ini"), L"a\r\n[inj]\r\nx=1");
    EXPECT_FALSE(result.ok);
    EXPECT_NE(result.error.find(L"line break"), std::wstring::npos);
    EXPECT_EQ(test::readFile(pathOf("run.ini")), "[main]\nk=v\n");
    // A Linux name that is not UTF-8 has no UTF-16 form.
    const std::string windows("\xFF\xFE[\0m\0]\0\r\0\n\0", 12);
    put("le.ini", windows);
    EXPECT_EQ(writeProfileString(L"m", L"k", widePath("le.ini"), L"/opt/caf\xDCE9").error,
              L"the value of \"k\" holds bytes that are not UTF-8, which a UTF-16LE file cannot hold");
    EXPECT_EQ(test::readFile(pathOf("le.ini")), windows);
}

TEST_F(ProfileFile, ReplacingKeepsModeAndSymbolicLinks) {
    put("real.ini", "[main]\nk=1\n");
    chmod(pathOf("real.ini").c_str(), 0600);
    fs::create_symlink("real.ini", pathOf("link.ini"));
    ASSERT_TRUE(writeProfileString(L"main", L"k", widePath("link.ini"), L"2").ok);
    EXPECT_TRUE(fs::is_symlink(pathOf("link.ini")));
    EXPECT_EQ(test::readFile(pathOf("real.ini")), "[main]\nk=2\n");
    struct stat info {};
    ASSERT_EQ(stat(pathOf("real.ini").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0600u);

    // A link to a file that does not exist yet makes that file.
    fs::create_symlink("later.ini", pathOf("ahead.ini"));
    ASSERT_TRUE(writeProfileString(L"main", L"k", widePath("ahead.ini"), L"1").ok);
    EXPECT_TRUE(fs::is_symlink(pathOf("ahead.ini")));
    EXPECT_EQ(test::readFile(pathOf("later.ini")), "[main]\nk=1\n");

    const mode_t umaskBefore = umask(027);
    const bool written = writeProfileString(L"main", L"k", widePath("new.ini"), L"1").ok;
    umask(umaskBefore);
    ASSERT_TRUE(written);
    ASSERT_EQ(stat(pathOf("new.ini").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u) << "0666 less the umask";
}

TEST_F(ProfileFile, UnchangedValueLeavesTheFileAlone) {
    put("run.ini", "[main]\r\nk = 1 \r\n");
    struct stat before {
    }, after{};
    ASSERT_EQ(stat(pathOf("run.ini").c_str(), &before), 0);
    ASSERT_TRUE(writeProfileString(L"main", L"k", widePath("run.ini"), L"1").ok);
    ASSERT_EQ(stat(pathOf("run.ini").c_str(), &after), 0);
    EXPECT_EQ(before.st_ino, after.st_ino) << "not replaced";
    EXPECT_EQ(test::readFile(pathOf("run.ini")), "[main]\r\nk = 1 \r\n");
}

TEST_F(ProfileFile, UnwritablePlacesFailWithTheSystemsReason) {
    const Result missingFolder = writeProfileString(L"main", L"k", widePath("no_such_dir/x.ini"), L"v");
    EXPECT_FALSE(missingFolder.ok);
    EXPECT_EQ(missingFolder.error, L"No such file or directory");

    fs::create_directory(pathOf("adir"));
    const Result folderAsFile = writeProfileString(L"main", L"k", widePath("adir"), L"v");
    EXPECT_FALSE(folderAsFile.ok);
    EXPECT_EQ(folderAsFile.error, L"Is a directory");
    EXPECT_EQ(readProfileString(L"main", L"k", widePath("adir"), L"dflt"), L"dflt");

    put("file", "x");
    EXPECT_EQ(writeProfileString(L"main", L"k", widePath("file/x.ini"), L"v").error, L"Not a directory");
    EXPECT_EQ(entries().size(), 2u) << "nothing was created";
}

// Root, which may write anywhere, meets the checks without its override.
const std::vector<int> kFileOverrides = {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH};

TEST_F(ProfileFile, PermissionIsAskedOfFileAndFolder) {
    const test::LoweredCapabilities asAnOrdinaryUser(kFileOverrides);
    put("locked.ini", "[main]\nk=1\n");
    chmod(pathOf("locked.ini").c_str(), 0444);
    EXPECT_EQ(writeProfileString(L"main", L"k", widePath("locked.ini"), L"2").error, L"Permission denied");
    fs::create_directory(pathOf("ro"));
    chmod(pathOf("ro").c_str(), 0555);
    EXPECT_EQ(writeProfileString(L"main", L"k", widePath("ro/x.ini"), L"2").error, L"Permission denied");
    chmod(pathOf("ro").c_str(), 0755);
}

TEST_F(ProfileFile, CheckReadableFile) {
    put("run.ini", "");
    EXPECT_TRUE(checkReadableFile(widePath("run.ini")).ok);
    EXPECT_EQ(checkReadableFile(widePath("missing.ini")).error, L"No such file or directory");
    fs::create_directory(pathOf("adir"));
    EXPECT_EQ(checkReadableFile(widePath("adir")).error, L"Is a directory");
    ASSERT_EQ(mkfifo(pathOf("fifo").c_str(), 0644), 0);
    EXPECT_EQ(checkReadableFile(widePath("fifo")).error, L"Not a regular file") << "and does not hang";
    chmod(pathOf("run.ini").c_str(), 0);
    const test::LoweredCapabilities asAnOrdinaryUser(kFileOverrides);
    EXPECT_EQ(checkReadableFile(widePath("run.ini")).error, L"Permission denied");
}

// Changes the current directory for one test and restores it.
class CurrentDirectory : public ProfileFile {
protected:
    void SetUp() override {
        ProfileFile::SetUp();
        original = fs::current_path();
    }
    void TearDown() override { fs::current_path(original); }
    fs::path original;
};

TEST_F(CurrentDirectory, RelativeNamesGoBehindTheCurrentDirectory) {
    fs::current_path(folder.path);
    const std::wstring prefix = test::widen(folder.path) + L"/";
    EXPECT_EQ(currentDirectoryPrefix(), prefix);
    EXPECT_EQ(resolveConfigPath(L"run.ini"), prefix + L"run.ini");
    EXPECT_EQ(resolveConfigPath(L"cfg/run.ini"), prefix + L"cfg/run.ini");
    EXPECT_EQ(resolveConfigPath(L""), prefix);
    EXPECT_EQ(resolveConfigPath(L"C:run.ini"), prefix + L"C:run.ini") << "no drive letters here";
    EXPECT_EQ(resolveConfigPath(L"/etc/x.ini"), L"/etc/x.ini");
    EXPECT_EQ(resolveConfigPath(L"//srv/x.ini"), L"//srv/x.ini");

    ASSERT_TRUE(writeProfileString(L"main", L"k", L"rel.ini", L"v").ok);
    EXPECT_EQ(test::readFile(pathOf("rel.ini")), "[main]\nk=v\n");

    fs::current_path("/");
    EXPECT_EQ(resolveConfigPath(L"run.ini"), L"/run.ini") << "the root gets no second slash";
}

TEST_F(CurrentDirectory, LongAndNonAsciiDirectoriesAreUsedWhole) {
    std::string deep = folder.path + "/\xC3\xA9t\xC3\xA9";
    while (deep.size() < 1500) deep += "/" + std::string(100, 'd');
    fs::create_directories(deep);
    fs::current_path(deep);
    EXPECT_EQ(resolveConfigPath(L"run.ini"), test::widen(deep) + L"/run.ini");
    EXPECT_NE(resolveConfigPath(L"run.ini").find(L"\u00E9t\u00E9"), std::wstring::npos);
}

TEST_F(CurrentDirectory, DeletedDirectoryFallsBackToARelativePath) {
    fs::create_directory(pathOf("gone"));
    fs::current_path(pathOf("gone"));
    fs::remove(pathOf("gone"));
    EXPECT_EQ(resolveConfigPath(L"run.ini"), L"./run.ini");
    const Result write = writeProfileString(L"main", L"k", L"run.ini", L"v");
    EXPECT_FALSE(write.ok) << "a deleted folder takes no files";
    EXPECT_FALSE(write.error.empty());
}

} // namespace
} // namespace procguard
