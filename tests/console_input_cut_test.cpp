// The setup dialogue fed console input that stops anywhere or holds
// garbage. Line-by-line ends are in setup_test; here the input stops inside
// an answer, and is handed over in pieces as a terminal or a pipe does.
#include <gtest/gtest.h>

#include "app/setup.h"
#include "console/console.h"
#include "platform/fake/fake_system.h"
#include "unit_support.h"

namespace procguard {
namespace {

struct DialogueRun {
    SetupOutcome outcome = SetupOutcome::Ready;
    WatchSettings settings;
    std::wstring output;
    std::size_t writes = 0;
};

DialogueRun runDialogue(const std::wstring& typed, std::size_t chunk) {
    test::resetSystem();
    for (const wchar_t* path : {L"C:\\Apps\\a.exe", L"C:\\Apps\\b.exe", L"C:\\Apps\\c.exe"}) fake::addProcess(path);
    fake::system().profiles[L"C:\\Work\\run.ini"][L"main"][L"processName"] = L"C:\\Apps\\b.exe";
    fake::system().input = typed;
    fake::system().inputChunk = chunk;
    DialogueRun run;
    run.outcome = runSetupDialogue(run.settings);
    run.output = fake::system().output;
    run.writes = fake::system().profileWrites.size();
    return run;
}

struct Script {
    const wchar_t* text;
    // Whether a last answer cut short still completes the setup. A last line
    // without its line end counts, as in a file without a final newline; a
    // name cut short may still be one the dialogue can use.
    bool partialLastAnswerCompletes;
};

// Between them the scripts reach every question of the dialogue.
const Script kScripts[] = {
    {L"1\nC:\\x.exe\n-n <A> <B>\ny\n1\nC:\\d\\*\n-2\nn\n100\n200\n1\nC:\\d\\*\n5\n<\ny\nsaved.ini\n", true},
    {L"2\n9\n1\n<B>\ny 0 3\n100\n200\n3\n<B>\n12\n>\nn\n", false},
    {L"x\n0\n-a\n100\n200\n2\n3\nY\nrun2.ini\n", true},
    {L"3\nmissing.ini\nrun.ini\n", false},
};

TEST(BadConsoleInput, InputEndingInsideAnyAnswerEndsTheSetupWhateverThePieces) {
    for (const Script& script : kScripts) {
        const std::wstring text = script.text;
        const std::size_t lastAnswer = text.rfind(L'\n', text.size() - 2) + 1;
        for (std::size_t cut = 0; cut < text.size(); ++cut) {
            const std::wstring typed = text.substr(0, cut);
            const DialogueRun whole = runDialogue(typed, 0);
            const bool completes = cut == text.size() - 1 || (script.partialLastAnswerCompletes && cut > lastAnswer);
            EXPECT_EQ(whole.outcome, completes ? SetupOutcome::Ready : SetupOutcome::InputEnded)
                << "cut at " << cut << " of script " << (&script - kScripts);
            // Only a save answer that was reached may write the file.
            if (whole.outcome == SetupOutcome::InputEnded) {
                EXPECT_EQ(whole.writes, 0u) << "cut at " << cut;
            }
            // How the input arrives changes nothing.
            for (std::size_t chunk : {1u, 3u}) {
                const DialogueRun pieces = runDialogue(typed, chunk);
                EXPECT_EQ(pieces.outcome, whole.outcome) << "cut at " << cut << ", chunk " << chunk;
                EXPECT_EQ(pieces.output, whole.output) << "cut at " << cut << ", chunk " << chunk;
                EXPECT_EQ(pieces.writes, whole.writes) << "cut at " << cut << ", chunk " << chunk;
            }
        }
        EXPECT_EQ(runDialogue(text, 0).outcome, SetupOutcome::Ready);
    }
}

TEST(BadConsoleInput, CutLastAnswerSavesUnderTheTextTyped) {
    const DialogueRun run = runDialogue(L"1\nC:\\x.exe\n\n100\n200\n0\ny\nsav", 0);
    ASSERT_EQ(run.outcome, SetupOutcome::Ready);
    EXPECT_EQ(run.writes, 9u);
    EXPECT_EQ(fake::system().profiles.count(L"C:\\Work\\sav"), 1u);
}

TEST(BadConsoleInput, GarbageCharactersAreTakenAsTyped) {
    // NUL, control characters, a lone surrogate, and a path of a million
    // characters: text answers keep them, nothing is cut or interpreted.
    std::wstring path = L"C:\\";
    path.append(1000000, L'p');
    path += std::wstring(L"\0\x01\x1b[2J\x7f\xdc80.exe", 12);
    const std::wstring arguments(L"-x <\0\x07> \xfffe", 9);
    const DialogueRun run = runDialogue(L"1\n" + path + L"\n" + arguments + L"\ny\n0\n7\n100\n200\n0\nn\n", 0);
    ASSERT_EQ(run.outcome, SetupOutcome::Ready);
    EXPECT_EQ(run.settings.processName, path);
    EXPECT_EQ(run.settings.commandParams, arguments);
    ASSERT_EQ(run.settings.variables.size(), 1u);
    EXPECT_EQ(run.settings.variables[0].name, std::wstring(L"<\0\x07>", 4));
    EXPECT_EQ(run.settings.variables[0].baseValue, 7);
    EXPECT_EQ(run.settings.checkPeriod, 100u);
}

TEST(BadConsoleInput, NumberPromptsRefuseGarbageUntilANumberComes) {
    // Control characters and NUL are no number; the question is asked again
    // and the garbage never reaches the settings.
    const std::wstring junk(L"\0\x01\x02 12\n\x1b[A\n", 11);
    const DialogueRun run = runDialogue(L"1\nC:\\x.exe\n\n" + junk + L"5\n" + junk + L"6\n0\nn\n", 0);
    ASSERT_EQ(run.outcome, SetupOutcome::Ready);
    EXPECT_EQ(run.settings.checkPeriod, 5u);
    EXPECT_EQ(run.settings.responseTimeout, 6u);
}

} // namespace
} // namespace procguard
