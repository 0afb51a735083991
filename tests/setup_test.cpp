#include "app/command_line.h"
#include "app/setup.h"
#include "app/privilege.h"

#include <gtest/gtest.h>

#include "console/console.h"
#include "dialogue_texts.h"
#include "platform/fake/fake_system.h"
#include "unit_support.h"

namespace procguard {
namespace {

const std::wstring kMenu = L"Select the file path of the process to look for.\n[1] Enter manually.\n"
                           L"[2] Select from running processes\n[3] Load config file\nYour Choice: ";
const std::wstring kArguments =
    L"Enter command line arguments to start the programm with when it has stopped running.\n"
    L"You may use variables in these arguments to be automatically replaced by a variable value.\n"
    L"Variables should look like this: <VarName> where VarName is the name you wish to give to the "
    L"variable.\nArguments: ";
const std::wstring kPeriod = L"This tool will periodically check whether the target process is still running.\n"
                             L"Enter the time to wait between checks (in ms): ";
const std::wstring kTimeout = L"If the target process is running, we will also check if it is still responsive.\n"
                              L"If it does not respond in time, it will be terminated or restarted.\n"
                              L"Enter response timeout (in ms): ";
using test::kFinishMenu;
const std::wstring kSave = L"Configuration complete. Save configuration for reuse? (y/n)\n";

class SetupTest : public ::testing::Test {
protected:
    void SetUp() override { test::resetSystem(); }
    SetupOutcome dialogue(const std::wstring& typed) {
        fake::system().input = typed;
        fake::system().inputPos = 0;
        return runSetupDialogue(settings);
    }
    void addProcesses(int n) {
        for (int i = 0; i < n; ++i) fake::addProcess(L"C:\\Apps\\app" + std::to_wstring(i) + L".exe");
    }
    WatchSettings settings;
};

TEST_F(SetupTest, TypedPathDialogueAsksEveryQuestionInOrder) {
    ASSERT_EQ(dialogue(L"1\nC:\\Jobs\\My Render.exe \n-log x\n5000\n20000\n0\nn\n"), SetupOutcome::Ready);
    EXPECT_EQ(fake::system().output,
              kMenu + L"Enter .exe file path: " + kArguments + kPeriod + kTimeout + kFinishMenu + kSave);
    EXPECT_EQ(settings.processName, L"C:\\Jobs\\My Render.exe ");
    EXPECT_EQ(settings.commandParams, L"-log x");
    EXPECT_EQ(settings.checkPeriod, 5000u);
    EXPECT_EQ(settings.responseTimeout, 20000u);
    EXPECT_TRUE(settings.variables.empty());
    EXPECT_TRUE(fake::system().profileWrites.empty());
}

TEST_F(SetupTest, PendingIndexOnTheMenuLineIsTakenWithoutANewLine) {
    addProcesses(5);
    ASSERT_EQ(dialogue(L"2 4\n\n1000\n2000\n0\nn\n"), SetupOutcome::Ready);
    EXPECT_EQ(settings.processName, L"C:\\Apps\\app4.exe");
    const std::wstring& out = fake::system().output;
    EXPECT_NE(out.find(L"Currently running processes:\n[0] C:\\Apps\\app0.exe\n"), std::wstring::npos);
    EXPECT_NE(out.find(L"[4] C:\\Apps\\app4.exe\nEnter the index of the desired process: " + kArguments),
              std::wstring::npos);
}

TEST_F(SetupTest, AnyOtherMenuAnswerListsProcessesAndRefusesIndexesPastTheEnd) {
    addProcesses(2);
    fake::system().processes[1].imagePath.clear(); // cannot be read
    ASSERT_EQ(dialogue(L"x\n2\n7\n1\n\n0\n0\n0\nn\n"), SetupOutcome::Ready);
    EXPECT_EQ(settings.processName, L"<unknown>");
    EXPECT_NE(fake::system().output.find(L"[1] <unknown>\nEnter the index of the desired process: "
                                         L"Wrong index, try again: Wrong index, try again: "),
              std::wstring::npos);
}

TEST_F(SetupTest, EmptyProcessListFallsBackToATypedPath) {
    fake::system().enumerationFails = true;
    ASSERT_EQ(dialogue(L"2\nC:\\x.exe\n\n0\n0\n0\nn\n"), SetupOutcome::Ready);
    EXPECT_EQ(settings.processName, L"C:\\x.exe");
    EXPECT_EQ(fake::system().output.substr(0, kMenu.size() + 60),
              (kMenu + L"No running process could be listed.\nEnter .exe file path: " + kArguments)
                  .substr(0, kMenu.size() + 60));
}

TEST_F(SetupTest, NumberAnswersThatAreNotNumbersAreAskedAgain) {
    ASSERT_EQ(dialogue(L"1\nC:\\x.exe\n\nten\n-5\n10\n20 ms\n0\nn\n"), SetupOutcome::Ready);
    EXPECT_EQ(settings.checkPeriod, 10u);
    EXPECT_EQ(settings.responseTimeout, 20u);
    EXPECT_NE(fake::system().output.find(L"(in ms): Not a number, try again: Not a number, try again: "
                                         L"If the target"),
              std::wstring::npos);
}

TEST_F(SetupTest, ChoiceThreeLoadsAndAsksNothingElse) {
    fake::system().profiles[L"C:\\Work\\run.ini"][L"main"][L"processName"] = L"C:\\t.exe";
    ASSERT_EQ(dialogue(L"3\nrun.ini\n"), SetupOutcome::Ready);
    EXPECT_EQ(fake::system().output, kMenu + L"Enter name of the config file to load: Config loaded.\n");
    EXPECT_EQ(settings.processName, L"C:\\t.exe");
    EXPECT_EQ(settings.checkPeriod, 10000u);
}

TEST_F(SetupTest, ChoiceThreeNamesAMissingFileAndOffersAnotherTry) {
    fake::system().profiles[L"C:\\Work\\good.ini"][L"main"][L"processName"] = L"C:\\t.exe";
    fake::system().profiles[L"C:\\Work\\good.ini"][L"main"][L"checkPeriod"] = L"5";
    ASSERT_EQ(dialogue(L"3\nmissing.ini\ngood.ini\n"), SetupOutcome::Ready);
    const std::wstring& out = fake::system().output;
    EXPECT_EQ(out.find(L"Config loaded.\n"), out.size() - 15) << out;
    EXPECT_NE(out.find(L"C:\\Work\\missing.ini"), std::wstring::npos) << out;
    EXPECT_NE(out.find(L"Enter another config file name, or nothing to quit: "), std::wstring::npos);
    EXPECT_EQ(settings.checkPeriod, 5u);
    EXPECT_EQ(fake::system().keyWaits, 0);

    resetConsoleInput();
    fake::system().output.clear();
    settings = {};
    EXPECT_EQ(dialogue(L"3\nmissing.ini\n\n"), SetupOutcome::BadConfig);
    EXPECT_EQ(fake::system().output.find(L"Config loaded."), std::wstring::npos);
}

TEST_F(SetupTest, SaveQuestionTakesOnlyTheFirstCharacter) {
    const std::wstring answers = L"1\nC:\\x.exe\n\n100\n200\n0\n";
    ASSERT_EQ(dialogue(answers + L"yes\nrun.ini\n"), SetupOutcome::Ready);
    EXPECT_EQ(fake::system().profileWrites.size(), 9u);
    EXPECT_NE(fake::system().output.find(kSave + L"Enter configuration file name: "), std::wstring::npos);
    for (const wchar_t* answer : {L"Y\nr.ini\n", L"no\n", L"N\n", L"k\n"}) {
        test::resetSystem();
        const bool saves = answer[0] == L'Y';
        ASSERT_EQ(dialogue(answers + answer), SetupOutcome::Ready);
        EXPECT_EQ(fake::system().profileWrites.empty(), !saves) << answer;
    }
}

TEST_F(SetupTest, SaveThatFailsIsReportedAndAskedAgain) {
    fake::system().unwritablePaths.push_back(L"C:\\Work\\locked.ini");
    ASSERT_EQ(dialogue(L"1\nC:\\x.exe\n\n100\n200\n0\ny\nlocked.ini\ny\nsaved.ini\n"), SetupOutcome::Ready);
    EXPECT_NE(fake::system().output.find(L"Enter configuration file name: The configuration could not be saved to "
                                         L"C:\\Work\\locked.ini: Access is denied.\n" +
                                         kSave),
              std::wstring::npos);
    EXPECT_EQ(fake::system().profiles[L"C:\\Work\\saved.ini"][L"main"][L"processName"], L"C:\\x.exe");
}

// One pair of quotes around a path is dropped, unless a file so named exists.
TEST_F(SetupTest, OnePairOfQuotesAroundAPathIsDropped) {
    fake::system().existingFiles.push_back(L"\"kept\"");
    const std::pair<std::wstring, std::wstring> cases[] = {
        {L"\"\"C:\\x.exe\"\"", L"\"C:\\x.exe\""}, {L"\"C:\\x.exe", L"\"C:\\x.exe"}, {L"\"kept\"", L"\"kept\""}};
    for (const auto& [typed, target] : cases) {
        ASSERT_EQ(dialogue(L"1\n" + typed + L"\n\n0\n0\n0\ny\n\"saved.ini\"\n"), SetupOutcome::Ready);
        EXPECT_EQ(fake::system().profiles[L"C:\\Work\\saved.ini"][L"main"][L"processName"], target);
    }
}

// Input that ends at any point before the last answer must end the setup,
// never leave a question asked forever.
TEST_F(SetupTest, InputEndingAtAnyQuestionEndsTheSetup) {
    addProcesses(3);
    const std::wstring scripts[] = {
        L"1\nC:\\x.exe\n-n <A>\ny\n1\nC:\\d\\*\n-2\n100\n200\n1\nC:\\d\\*\n5\n<\ny\nsaved.ini\n",
        L"2\n1\n<B>\ny 0 3\n100\n200\n3\n<B>\n12\n>\nn\n",
        L"2\n9\n1\n\n100\n200\n2\n3\nn\n",
    };
    for (const std::wstring& script : scripts) {
        for (std::size_t cut = 0; cut < script.size(); ++cut) {
            if (cut != 0 && script[cut - 1] != L'\n') continue;
            test::resetSystem();
            addProcesses(3);
            settings = {};
            EXPECT_EQ(dialogue(script.substr(0, cut)), SetupOutcome::InputEnded) << "cut at " << cut;
        }
        test::resetSystem();
        addProcesses(3);
        settings = {};
        EXPECT_EQ(dialogue(script), SetupOutcome::Ready);
    }
}

TEST_F(SetupTest, CommandLineLoadsTheFirstArgumentOnly) {
    fake::system().profiles[L"C:\\Work\\job.ini"][L"main"][L"processName"] = L"C:\\job.exe";
    char program[] = "procguard", config[] = "job.ini", extra[] = "ignored.ini";
    char* argv[] = {program, config, extra, nullptr};
    ASSERT_EQ(runSetup(parseCommandLine(programArguments(3, argv)).configFile, settings), SetupOutcome::Ready);
    EXPECT_EQ(settings.processName, L"C:\\job.exe");
    EXPECT_EQ(fake::system().output, L"");
}

TEST_F(SetupTest, CommandLineRefusesAMissingConfigAndWaitsForAKey) {
    ASSERT_EQ(runSetup(L"nothing.ini", settings), SetupOutcome::BadConfig);
    EXPECT_EQ(fake::system().transcript, L"Cannot read config file C:\\Work\\nothing.ini: The system cannot "
                                         L"find the file specified.\nUsage: procguard [--events FILE] "
                                         L"[--no-wait] [config-file]\n[key]");
}

TEST_F(SetupTest, CommandLineOptionsAndNames) {
    // What each line gives: the action (Watch, Help, Version, Refuse), the
    // config file and the event log.
    const std::pair<std::vector<std::wstring>, std::wstring> cases[] = {
        {{}, L"W (none) "},
        {{L"--events", L"e.jsonl", L"run.ini"}, L"W run.ini e.jsonl"},
        {{L"run.ini", L"--events=e.jsonl", L"more.ini"}, L"W run.ini e.jsonl"},
        {{L"--", L"-odd.ini", L"--help"}, L"W -odd.ini "},
        {{L"-", L"--events", L"--version"}, L"W - --version"},
        {{L"run.ini", L"-h", L"--bogus"}, L"H"},
        {{L"--version", L"--events="}, L"V"},
        {{L"/?"}, L"H"},
        {{L"--bogus", L"--help"}, L"R Unknown option: --bogus"},
        {{L"run.ini", L"--events"}, L"R The option --events needs a file name."},
        {{L"run.ini", L"--no-wait"}, L"W run.ini  no wait"},
    };
    for (const auto& [arguments, expected] : cases) {
        const CommandLine line = parseCommandLine(arguments);
        std::wstring got(1, L"WHVR"[static_cast<int>(line.action)]);
        if (line.action == CommandAction::Watch)
            got += L" " + line.configFile.value_or(L"(none)") + L" " + line.eventsFile;
        if (line.noWait) got += L" no wait";
        if (line.action == CommandAction::Refuse) got += L" " + line.problem;
        EXPECT_EQ(got, expected);
    }
    fake::system().slashHelp = false; // Linux: "/?" is a file name
    EXPECT_EQ(parseCommandLine({L"/?"}).configFile, L"/?");
}

TEST_F(SetupTest, StartupWarnsOnceWhenThePrivilegeIsRefused) {
    fake::system().privilegeGranted = false;
    EXPECT_NE(raiseDebugPrivilege(), TokenHandle{0});
    EXPECT_EQ(fake::system().transcript,
              L"ERROR: Failed to acquire debug privileges.\nThis will prevent the tool from detecting "
              L"some processes and from automatically terminating the target process when it is hung.\n"
              L"Try running the tool as an administrator to fix this.\nPress any key to ignore this and "
              L"continue anyway.\n\n[key]");

    test::resetSystem();
    EXPECT_NE(raiseDebugPrivilege(), TokenHandle{0});
    EXPECT_EQ(fake::system().transcript, L"");
    EXPECT_EQ(fake::system().privilegeChanges, std::vector<bool>{true});
}

TEST_F(SetupTest, StartupWithoutATokenStopsAfterAKey) {
    fake::system().tokenAvailable = false;
    EXPECT_EQ(raiseDebugPrivilege(), TokenHandle{0});
    EXPECT_EQ(fake::system().transcript, L"Failed to acquire thread token.\n[key]");
    EXPECT_TRUE(fake::system().privilegeChanges.empty());
}

} // namespace
} // namespace procguard
