#include <gtest/gtest.h>

#include <tuple>
#include <vector>

#include "config/config_file.h"
#include "platform/fake/fake_system.h"
#include "unit_support.h"
#include "render_job.h"

namespace procguard {
namespace {

const std::wstring kFile = L"run.ini";
const std::wstring kPath = L"C:\\Work\\run.ini";

using KeyText = std::tuple<std::wstring, std::wstring, std::wstring>;

// Settings whose every field a load must overwrite.
struct Settings : WatchSettings {
    Settings() {
        processName = L"stale";
        commandParams = L"stale";
        checkPeriod = 1;
        responseTimeout = 1;
        finishCondition = {FinishKind::RestartCount, true, L"stale", 99};
    }
};

Settings renderJob() {
    Settings s;
    static_cast<WatchSettings&>(s) = test::renderJob();
    return s;
}

Result save(const Settings& s, const std::wstring& file = kFile) { return saveConfig(file, s); }

LoadResult load(Settings& s, const std::wstring& file = kFile) { return loadConfig(file, s); }

std::vector<KeyText> writtenKeys() {
    std::vector<KeyText> keys;
    for (const fake::ProfileWrite& w : fake::system().profileWrites) {
        EXPECT_EQ(w.path, kPath); // every write resolves the name
        keys.emplace_back(w.section, w.key, w.text);
    }
    return keys;
}

void store(const std::wstring& section, const std::wstring& key, const std::wstring& text) {
    fake::system().profiles[kPath][section][key] = text;
}

void expectDefaults(const Settings& s) {
    EXPECT_EQ(s.processName, L"");
    EXPECT_EQ(s.commandParams, L"");
    EXPECT_EQ(s.checkPeriod, 10000u);
    EXPECT_EQ(s.responseTimeout, 30000u);
    EXPECT_EQ(s.finishCondition.type, FinishKind::Never);
    EXPECT_EQ(s.finishCondition.dataInt, 0);
    EXPECT_EQ(s.finishCondition.dataString, L"");
    EXPECT_FALSE(s.finishCondition.dataBool);
}

class ConfigFile : public ::testing::Test {
protected:
    void SetUp() override { test::resetSystem(); }
};

TEST_F(ConfigFile, VariableSectionNames) {
    EXPECT_EQ(variableSectionName(0), L"variable0");
    EXPECT_EQ(variableSectionName(10), L"variable10");
    EXPECT_EQ(variableSectionName(4294967295u), L"variable4294967295");
}

TEST_F(ConfigFile, SaveWritesEveryKeyInItsFixedOrder) {
    ASSERT_TRUE(save(renderJob()).ok);
    const std::vector<KeyText> expected = {
        {L"main", L"processName", L"D:\\Jobs\\render.exe"},
        {L"main", L"commandParams", L"-log run<Run>.txt -skip <Done>"},
        {L"main", L"checkPeriod", L"5000"},
        {L"main", L"responseTimeout", L"20000"},
        {L"finishCondition", L"type", L"1"},
        {L"finishCondition", L"dataInt", L"500"},
        {L"finishCondition", L"dataString", L"D:\\Jobs\\out\\frame*.png"},
        {L"finishCondition", L"dataBool", L"true"},
        {L"main", L"variables", L"2"},
        {L"variable0", L"type", L"0"},
        {L"variable0", L"name", L"<Run>"},
        {L"variable0", L"data", L""},
        {L"variable0", L"baseValue", L"1"},
        {L"variable1", L"type", L"1"},
        {L"variable1", L"name", L"<Done>"},
        {L"variable1", L"data", L"D:\\Jobs\\out\\frame*.png"},
        {L"variable1", L"baseValue", L"0"},
    };
    EXPECT_EQ(writtenKeys(), expected); // 9 + 4 x 2 writes
}

TEST_F(ConfigFile, SaveWithoutVariablesWritesNineKeys) {
    Settings s = renderJob();
    s.variables.clear();
    s.finishCondition.dataBool = false;
    s.checkPeriod = 3000000000u; // above INT32_MAX: stored as the same 32 bits, signed
    ASSERT_TRUE(save(s).ok);
    const std::vector<KeyText> keys = writtenKeys();
    ASSERT_EQ(keys.size(), 9u);
    EXPECT_EQ(keys[2], KeyText(L"main", L"checkPeriod", L"-1294967296"));
    EXPECT_EQ(keys[7], KeyText(L"finishCondition", L"dataBool", L"false"));
    EXPECT_EQ(keys[8], KeyText(L"main", L"variables", L"0"));
}

TEST_F(ConfigFile, SaveStopsAtTheFirstFailedWrite) {
    fake::system().unwritablePaths.push_back(kPath);
    const Result result = save(renderJob());
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.error, L"Access is denied.");
    EXPECT_EQ(fake::system().profileWrites.size(), 1u);
}

TEST_F(ConfigFile, SavedSettingsLoadBack) {
    Settings saved = renderJob();
    saved.checkPeriod = 3000000000u;
    saved.variables[0].baseValue = -3;
    saved.variables[1].value = 12; // current values are not stored
    ASSERT_TRUE(save(saved).ok);
    Settings loaded;
    const LoadResult result = load(loaded);
    EXPECT_EQ(result.status, LoadStatus::Loaded);
    EXPECT_EQ(result.path, kPath);
    EXPECT_EQ(result.outcome.error, L"");
    test::expectLoadedAsSaved(loaded, saved);
}

TEST_F(ConfigFile, MissingFileIsReportedAndLoadsNothing) {
    Settings s;
    const LoadResult result = load(s, L"nowhere.ini");
    EXPECT_EQ(result.status, LoadStatus::FileMissing);
    EXPECT_EQ(result.path, L"C:\\Work\\nowhere.ini");
    EXPECT_NE(result.outcome.error.find(L"Cannot read config file C:\\Work\\nowhere.ini: "), std::wstring::npos);
    EXPECT_NE(result.outcome.error.find(L"cannot find the file"), std::wstring::npos);
    expectDefaults(s);
    EXPECT_TRUE(s.variables.empty());
}

TEST_F(ConfigFile, ATargetAloneLoadsEveryOtherDefault) {
    store(L"main", L"processName", L"C:\\t.exe");
    Settings s;
    EXPECT_EQ(load(s).status, LoadStatus::Loaded);
    EXPECT_EQ(s.processName, L"C:\\t.exe");
    s.processName.clear();
    expectDefaults(s);
    EXPECT_TRUE(s.variables.empty());
}

TEST_F(ConfigFile, AFileWithoutTargetIsRefusedWithTheOtherKeysAsRead) {
    store(L"main", L"checkPeriod", L"5");
    store(L"main", L"variables", L"1");
    Settings s;
    const LoadResult result = load(s);
    EXPECT_EQ(result.status, LoadStatus::NoTarget);
    EXPECT_EQ(result.outcome.error, L"Config file C:\\Work\\run.ini names no target: its [main] section has no "
                                    L"processName, or an empty one.");
    EXPECT_EQ(s.checkPeriod, 5u);
    EXPECT_TRUE(s.variables.empty());
}

TEST_F(ConfigFile, DataBoolIsTrueOnlyForExactlyTrue) {
    const std::vector<std::pair<std::wstring, bool>> cases = {{L"true", true}, {L"True", false}, {L"TRUE", false},
                                                              {L"1", false},   {L"yes", false},  {L"true ", false}};
    for (const auto& [text, expected] : cases) {
        store(L"finishCondition", L"dataBool", text);
        Settings s;
        load(s);
        EXPECT_EQ(s.finishCondition.dataBool, expected) << "dataBool=" << std::string(text.begin(), text.end());
    }
}

TEST_F(ConfigFile, UnreadableIntegersTakeTheirDefaults) {
    store(L"main", L"checkPeriod", L"soon");
    store(L"main", L"responseTimeout", L"");
    store(L"finishCondition", L"type", L"2x");
    Settings s;
    load(s);
    EXPECT_EQ(s.checkPeriod, 10000u);
    EXPECT_EQ(s.responseTimeout, 30000u);
    EXPECT_EQ(s.finishCondition.type, FinishKind::RestartCount);
}

TEST_F(ConfigFile, CountBeyondTheSectionsGivesDefaultVariables) {
    store(L"main", L"processName", L"C:\\t.exe");
    store(L"main", L"variables", L"3");
    store(L"variable0", L"name", L"<A>");
    store(L"variable0", L"type", L"1");
    store(L"variable0", L"data", L"*.log");
    store(L"variable0", L"baseValue", L"-3");
    store(L"variable2", L"name", L"<C>");
    Settings s;
    EXPECT_EQ(load(s).status, LoadStatus::Loaded);
    ASSERT_EQ(s.variables.size(), 3u);
    EXPECT_EQ(s.variables[0].name, L"<A>");
    EXPECT_EQ(s.variables[0].type, VariableKind::FileCount);
    EXPECT_EQ(s.variables[0].data, L"*.log");
    EXPECT_EQ(s.variables[0].baseValue, -3);
    EXPECT_EQ(s.variables[1].name, L""); // no [variable1]: all defaults
    EXPECT_EQ(s.variables[1].type, VariableKind::RestartCount);
    EXPECT_EQ(s.variables[1].baseValue, 0);
    EXPECT_EQ(s.variables[2].name, L"<C>");
}

TEST_F(ConfigFile, SectionsBeyondTheCountAreNotRead) {
    for (int i = 0; i < 5; ++i) store(L"variable" + std::to_wstring(i), L"name", L"<V" + std::to_wstring(i) + L">");
    store(L"main", L"variables", L"2");
    store(L"main", L"processName", L"C:\\t.exe");
    Settings s;
    s.variables = {Variable(L"<Kept>", VariableKind::RestartCount, 0, L"")};
    load(s);
    ASSERT_EQ(s.variables.size(), 3u); // appended behind what the list held
    EXPECT_EQ(s.variables[0].name, L"<Kept>");
    EXPECT_EQ(s.variables[1].name, L"<V0>");
    EXPECT_EQ(s.variables[2].name, L"<V1>");
}

TEST_F(ConfigFile, BadVariableCountIsRefusedWithoutVariables) {
    for (const wchar_t* count : {L"-1", L"10001", L"2147483647"}) {
        test::resetSystem();
        store(L"main", L"processName", L"/bin/app");
        store(L"main", L"checkPeriod", L"250");
        store(L"main", L"variables", count);
        store(L"variable0", L"name", L"<A>");
        Settings s;
        const LoadResult result = load(s);
        EXPECT_EQ(result.status, LoadStatus::BadVariableCount) << count;
        EXPECT_TRUE(s.variables.empty());
        EXPECT_EQ(s.processName, L"/bin/app"); // the other keys still load
        EXPECT_EQ(s.checkPeriod, 250u);
        EXPECT_NE(result.outcome.error.find(kPath), std::wstring::npos);
        EXPECT_NE(result.outcome.error.find(count), std::wstring::npos);
        EXPECT_NE(result.outcome.error.find(L"between 0 and 10000"), std::wstring::npos);
    }
}

TEST_F(ConfigFile, LargestAllowedCountLoads) {
    store(L"main", L"processName", L"C:\\t.exe");
    store(L"main", L"variables", L"10000");
    store(L"variable9999", L"name", L"<Last>");
    Settings s;
    EXPECT_EQ(load(s).status, LoadStatus::Loaded);
    ASSERT_EQ(s.variables.size(), 10000u);
    EXPECT_EQ(s.variables.back().name, L"<Last>");
}

TEST_F(ConfigFile, OptionalSectionsLoadOrAreRefusedNamingTheKey) {
    struct Case {
        const wchar_t *section, *key, *value, *refusal; // refusal nullptr: the value loads
    };
    const Case cases[] = {
        {L"health", L"failedChecks", L"3", nullptr},
        {L"health", L"failedChecks", L"0", L"[health] failedChecks=0 must be at least 1."},
        {L"health", L"startGrace", L"-5", L"[health] startGrace=-5 is negative."},
        {L"health", L"memoryLimit", L"12abc", L"[health] memoryLimit=12abc is not a number."},
        {L"restart", L"backoffLimit", L"4294967296", L"[restart] backoffLimit=4294967296 is too large."},
        {L"restart", L"restartOnExit", L"2", L"[restart] restartOnExit=2 must be 0 or 1."},
        {L"health", L"healthUrl", L"ftp://h/", L"[health] healthUrl: not a health URL"},
        {L"health", L"heartbeatFile", L"C:\\beat", L"[health] heartbeatFile needs heartbeatTimeout"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::wstring(c.key) + L"=" + c.value);
        test::resetSystem();
        store(L"main", L"processName", L"C:\\t.exe");
        store(c.section, c.key, c.value);
        fake::system().urlChecks[L"ftp://h/"] = failure(L"not a health URL");
        Settings s;
        const LoadResult result = load(s);
        EXPECT_EQ(result.status, c.refusal ? LoadStatus::BadKey : LoadStatus::Loaded);
        if (c.refusal) {
            EXPECT_EQ(result.outcome.error.find(L"Config file " + kPath + L": " + c.refusal), 0u)
                << result.outcome.error;
        }
    }
    EXPECT_EQ(fake::system().profileWrites.size(), 0u);

    test::resetSystem();
    store(L"main", L"processName", L"C:\\t.exe");
    store(L"restart", L"restartOnExit", L"1");
    store(L"restart", L"dumpFolder", L"C:\\Dumps");
    Settings s;
    s.health.failedChecks = 7; // left by an earlier load
    ASSERT_EQ(load(s).status, LoadStatus::Loaded);
    EXPECT_TRUE(s.restart.restartOnExit);
    EXPECT_EQ(s.restart.dumpFolder, L"C:\\Dumps");
    EXPECT_EQ(s.restart.stableRun, 60000u);
    EXPECT_EQ(s.health.failedChecks, 1u);
}

} // namespace
} // namespace procguard
