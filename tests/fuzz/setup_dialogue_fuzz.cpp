// The setup dialogue fed arbitrary console input, on the fake backend.
//
// Input: the typed text, one character per byte. A first byte below 8 is
// not typed: it sets how many characters the console hands over per read
// (0: everything at once), as a terminal hands over one line at a time.
// The dialogue must end on every input, either with a setup or at the end
// of the input, never asking forever, and never writing more than the
// input can account for.
#include <string>

#include "app/setup.h"
#include "console/console.h"
#include "fuzz/fuzz_failure.h"
#include "platform/fake/fake_system.h"
#include "unit_support.h"

namespace {

using namespace procguard;

// Everything the dialogue may ever print without being asked again: the
// menus and questions of one pass, the process list and the messages of a
// load. Every further line of output needs at least one more typed
// character (a refused answer, a placeholder, a character of a name).
constexpr std::size_t kOnePassOutput = 16384;
constexpr std::size_t kOutputPerTypedCharacter = 512;

void prepareSystem() {
    test::resetSystem();
    fake::addProcess(L"C:\\Apps\\editor.exe");
    fake::addProcess(L""); // unreadable: listed as <unknown>
    fake::addProcess(L"C:\\Apps\\render.exe");
    fake::FakeSystem& s = fake::system();
    s.fileCounts[L"C:\\d\\*"] = 3;
    auto& saved = s.profiles[L"C:\\Work\\run.ini"];
    saved[L"main"][L"processName"] = L"C:\\Apps\\render.exe";
    saved[L"main"][L"commandParams"] = L"-n <A>";
    saved[L"main"][L"variables"] = L"1";
    saved[L"variable0"][L"name"] = L"<A>";
    s.profiles[L"C:\\Work\\huge.ini"][L"main"][L"processName"] = L"C:\\Apps\\render.exe";
    s.profiles[L"C:\\Work\\huge.ini"][L"main"][L"variables"] = L"2000000000";
    s.unwritablePaths.push_back(L"C:\\Work\\locked.ini");
}

bool contains(const std::wstring& text, const wchar_t* part) { return text.find(part) != std::wstring::npos; }

void check(SetupOutcome outcome, const WatchSettings& settings) {
    const fake::FakeSystem& s = fake::system();
    const bool ended = outcome == SetupOutcome::InputEnded;
    if (ended != consoleInputEnded()) fail("the outcome disagrees with the state of the input");
    if (ended && s.inputPos != s.input.size()) fail("the setup gave up before the input ended");
    if (s.output.size() > kOnePassOutput + kOutputPerTypedCharacter * s.input.size())
        fail("the dialogue wrote more than its input accounts for");
    if (!s.profileWrites.empty() && !contains(s.output, L"Enter configuration file name: "))
        fail("a config file was written without the save question");
    if (outcome != SetupOutcome::Ready || contains(s.output, L"Config loaded.\n")) return;
    // A typed setup keeps only placeholders of its own argument template.
    for (const Variable& variable : settings.variables)
        if (variable.name.empty() || settings.commandParams.find(variable.name) == std::wstring::npos)
            fail("a variable is not a placeholder of the argument template");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    prepareSystem();
    fake::FakeSystem& s = fake::system();
    std::size_t start = 0;
    if (size > 0 && data[0] < 8) {
        s.inputChunk = data[0];
        start = 1;
    }
    s.input.assign(data + start, data + size);
    WatchSettings settings;
    check(runSetupDialogue(settings), settings);
    return 0;
}
