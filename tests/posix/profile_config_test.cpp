// Saving and loading run settings through real profile files.
#include <cstdint>
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "config/config_file.h"
#include "posix/process_support.h"
#include "render_job.h"

namespace procguard {
namespace {

using Settings = WatchSettings;
using test::renderJob;

Result save(const std::wstring& file, const Settings& s) { return saveConfig(file, s); }

LoadResult load(const std::wstring& file, Settings& s) { return loadConfig(file, s); }

class ProfileConfig : public testing::Test {
protected:
    void SetUp() override { ASSERT_FALSE(folder.path.empty()); }
    std::string pathOf(const std::string& name) const { return folder.path + "/" + name; }
    std::wstring widePath(const std::string& name) const { return test::widen(pathOf(name)); }

    test::TempFolder folder;
};

TEST_F(ProfileConfig, RenderJobGivesTheDocumentedLines) {
    ASSERT_TRUE(save(widePath("render.ini"), renderJob()).ok);
    EXPECT_EQ(test::readFile(pathOf("render.ini")), "[main]\n"
                                                    "processName=D:\\Jobs\\render.exe\n"
                                                    "commandParams=-log run<Run>.txt -skip <Done>\n"
                                                    "checkPeriod=5000\n"
                                                    "responseTimeout=20000\n"
                                                    "variables=2\n"
                                                    "[finishCondition]\n"
                                                    "type=1\n"
                                                    "dataInt=500\n"
                                                    "dataString=D:\\Jobs\\out\\frame*.png\n"
                                                    "dataBool=true\n"
                                                    "[variable0]\n"
                                                    "type=0\n"
                                                    "name=<Run>\n"
                                                    "data=\n"
                                                    "baseValue=1\n"
                                                    "[variable1]\n"
                                                    "type=1\n"
                                                    "name=<Done>\n"
                                                    "data=D:\\Jobs\\out\\frame*.png\n"
                                                    "baseValue=0\n");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path), {}), 1) << "no temporary file left";
}

TEST_F(ProfileConfig, EveryFieldRoundTrips) {
    Settings saved = renderJob();
    saved.processName = L"/srv/\u6E32\u67D3/r\u00E9nder \u20AC.bin";
    saved.commandParams = L"  --quoted \"<Run>\"  ";
    saved.checkPeriod = 3000000000u;
    saved.responseTimeout = 0xFFFFFFFFu;
    saved.variables[0].baseValue = -3;
    saved.variables[1].type = static_cast<VariableKind>(7); // unknown kinds are kept as they are
    saved.finishCondition = {FinishKind::VariableValue, false, L"'<Run>'", INT32_MIN};
    ASSERT_TRUE(save(widePath("all.ini"), saved).ok);
    EXPECT_NE(test::readFile(pathOf("all.ini")).find("checkPeriod=-1294967296\n"), std::string::npos);

    Settings loaded;
    const LoadResult result = load(widePath("all.ini"), loaded);
    ASSERT_EQ(result.status, LoadStatus::Loaded)
        << std::string(result.outcome.error.begin(), result.outcome.error.end());
    test::expectLoadedAsSaved(loaded, saved);
}

// The bytes the Windows build writes for a text: UTF-16LE behind a
// byte-order mark, CRLF line ends.
std::string windowsBytes(const std::string& utf8) {
    std::string bytes = "\xFF\xFE";
    const auto unit = [&bytes](std::uint32_t u) { bytes += {static_cast<char>(u & 0xFF), static_cast<char>(u >> 8)}; };
    for (const wchar_t c : test::widen(utf8)) {
        if (c == L'\n') unit(L'\r');
        if (c > 0xFFFF) unit(0xD800 + ((c - 0x10000) >> 10));
        unit(c > 0xFFFF ? 0xDC00 + (c & 0x3FF) : c);
    }
    return bytes;
}

// windows_saved.ini is what the Windows build saves (its own test checks that);
// linux_resaved.ini, what a Linux save makes of it, is read back there.
TEST_F(ProfileConfig, AFileTheWindowsBuildSavedWorksLikeItsUtf8Twin) {
    const std::string data = std::string(PROCGUARD_SOURCE_DIR) + "/tests/data/";
    ASSERT_TRUE(save(widePath("twin.ini"), test::unicodeRenderJob()).ok);
    ASSERT_EQ(windowsBytes(test::readFile(pathOf("twin.ini"))), test::readFile(data + "windows_saved.ini"));
    std::filesystem::copy_file(data + "windows_saved.ini", pathOf("windows.ini"));
    Settings loaded;
    EXPECT_EQ(load(widePath("windows.ini"), loaded).status, LoadStatus::Loaded);
    test::expectLoadedAsSaved(loaded, test::unicodeRenderJob());
    for (const char* name : {"twin.ini", "windows.ini"}) ASSERT_TRUE(save(widePath(name), test::resavedRenderJob()).ok);
    // Still UTF-16LE with its mark, every other line as it was, CRLF for the new ones.
    EXPECT_EQ(test::readFile(pathOf("windows.ini")), windowsBytes(test::readFile(pathOf("twin.ini"))));
    EXPECT_EQ(test::readFile(pathOf("windows.ini")), test::readFile(data + "linux_resaved.ini"));
}

TEST_F(ProfileConfig, SavingIntoAnEditedFileKeepsItsOtherLines) {
    const std::string original = "; render farm settings\r\n"
                                 "\r\n"
                                 "[main]\r\n"
                                 "; the target\r\n"
                                 "processName = old.exe\r\n"
                                 "custom=keep me\r\n"
                                 "\r\n"
                                 "[other tool]\n"
                                 "x = 1\n";
    std::ofstream(pathOf("edit.ini"), std::ios::binary) << original;
    Settings s = renderJob();
    s.variables.pop_back();
    ASSERT_TRUE(save(widePath("edit.ini"), s).ok);
    EXPECT_EQ(test::readFile(pathOf("edit.ini")), "; render farm settings\r\n"
                                                  "\r\n"
                                                  "[main]\r\n"
                                                  "; the target\r\n"
                                                  "processName = D:\\Jobs\\render.exe\r\n"
                                                  "custom=keep me\r\n"
                                                  "commandParams=-log run<Run>.txt -skip <Done>\r\n"
                                                  "checkPeriod=5000\r\n"
                                                  "responseTimeout=20000\r\n"
                                                  "variables=1\r\n"
                                                  "\r\n"
                                                  "[other tool]\n"
                                                  "x = 1\n"
                                                  "[finishCondition]\r\n"
                                                  "type=1\r\n"
                                                  "dataInt=500\r\n"
                                                  "dataString=D:\\Jobs\\out\\frame*.png\r\n"
                                                  "dataBool=true\r\n"
                                                  "[variable0]\r\n"
                                                  "type=0\r\n"
                                                  "name=<Run>\r\n"
                                                  "data=\r\n"
                                                  "baseValue=1\r\n");
}

TEST_F(ProfileConfig, FewerVariablesLeaveOldSectionsUnread) {
    ASSERT_TRUE(save(widePath("run.ini"), renderJob()).ok);
    Settings fewer = renderJob();
    fewer.variables.resize(1);
    fewer.variables[0].name = L"<Only>";
    ASSERT_TRUE(save(widePath("run.ini"), fewer).ok);
    EXPECT_NE(test::readFile(pathOf("run.ini")).find("[variable1]\ntype=1\nname=<Done>\n"), std::string::npos);
    Settings loaded;
    load(widePath("run.ini"), loaded);
    ASSERT_EQ(loaded.variables.size(), 1u);
    EXPECT_EQ(loaded.variables[0].name, L"<Only>");
}

TEST_F(ProfileConfig, FailuresAreReported) {
    Settings s;
    LoadResult missing = load(widePath("missing.ini"), s);
    EXPECT_EQ(missing.status, LoadStatus::FileMissing);
    EXPECT_EQ(missing.outcome.error,
              L"Cannot read config file " + widePath("missing.ini") + L": No such file or directory");
    EXPECT_EQ(s.checkPeriod, 10000u);

    LoadResult folderLoad = load(test::widen(folder.path), s);
    EXPECT_EQ(folderLoad.status, LoadStatus::FileMissing);
    EXPECT_NE(folderLoad.outcome.error.find(L"Is a directory"), std::wstring::npos);

    const Result noFolder = save(widePath("no/such/folder.ini"), renderJob());
    EXPECT_FALSE(noFolder.ok);
    EXPECT_EQ(noFolder.error, L"No such file or directory");
    EXPECT_EQ(save(test::widen(folder.path), renderJob()).error, L"Is a directory");

    Settings withBreak = renderJob();
    withBreak.commandParams = L"a\nb";
    const Result refused = save(widePath("break.ini"), withBreak);
    EXPECT_FALSE(refused.ok);
    EXPECT_NE(refused.error.find(L"commandParams"), std::wstring::npos);
    // The keys before it are written; nothing after it.
    EXPECT_EQ(test::readFile(pathOf("break.ini")), "[main]\nprocessName=D:\\Jobs\\render.exe\n");
}

} // namespace
} // namespace procguard
