#include "platform/fake/fake_system.h"

#include <algorithm>

#include "base/windows_names.h"

namespace procguard::fake {

FakeSystem& system() {
    static FakeSystem state;
    return state;
}

void reset() { system() = FakeSystem{}; }

ProcessId addProcess(const std::wstring& imagePath, std::vector<FakeWindow> windows) {
    FakeSystem& s = system();
    FakeProcess process;
    process.id = s.nextProcessId++;
    process.imagePath = imagePath;
    process.windows = std::move(windows);
    s.processes.push_back(std::move(process));
    return s.processes.back().id;
}

void removeProcess(ProcessId id) {
    auto& processes = system().processes;
    processes.erase(std::remove_if(processes.begin(), processes.end(),
                                   [id](const FakeProcess& p) { return p.id == id; }),
                    processes.end());
}

namespace {

void logCall(const std::wstring& call) { system().calls.push_back(call); }

FakeProcess* findProcess(ProcessId id) {
    for (FakeProcess& p : system().processes)
        if (p.id == id) return &p;
    return nullptr;
}

} // namespace

} // namespace procguard::fake

// The platform functions, answered from the fake system.
namespace procguard {

using fake::system;

// Nothing in the fake ends without a test saying so.
void collectEndedProcesses() {}

bool enumerateProcessIds(std::vector<ProcessId>& ids) {
    ids.clear();
    ++system().enumerations;
    fake::logCall(L"enumerate");
    if (system().enumerationFails) return false;
    for (const fake::FakeProcess& p : system().processes) ids.push_back(p.id);
    return true;
}

bool readProcessImagePath(ProcessId id, std::wstring& path) {
    const fake::FakeProcess* p = fake::findProcess(id);
    if (p == nullptr || p->imagePath.empty()) return false;
    path = p->imagePath;
    return true;
}

bool isKernelThread(ProcessId id) {
    const fake::FakeProcess* p = fake::findProcess(id);
    return p != nullptr && p->kernelThread;
}

bool isBareProgramName(const std::wstring& name) { return name.find_first_of(L"\\/:") == std::wstring::npos; }

bool searchProgram(const std::wstring& name, std::wstring& found) {
    const auto program = system().searchablePrograms.find(name);
    if (program == system().searchablePrograms.end()) return false;
    found = program->second;
    return true;
}

std::wstring foldPathCase(const std::wstring& path) { return system().foldCase ? foldWindowsCase(path) : path; }

bool resolveTargetPath(const std::wstring& path, std::wstring& resolved) {
    const auto found = system().resolvedPaths.find(path);
    if (found == system().resolvedPaths.end()) return false;
    resolved = found->second;
    return true;
}

HeldProcess holdProcess(ProcessId id) {
    HeldProcess process;
    process.id = id;
    fake::FakeProcess* p = fake::findProcess(id);
    if (p == nullptr || !p->holdable) return process;
    process.handle = static_cast<std::intptr_t>(id);
    ++system().heldHandles;
    return process;
}

bool processHasEnded(const HeldProcess& process) {
    return process.handle != -1 && fake::findProcess(process.id) == nullptr;
}

bool readHeldImagePath(const HeldProcess& process, std::wstring& path) {
    return process.handle != -1 && readProcessImagePath(process.id, path);
}

// The fake has no file identities: the caller always compares image paths.
bool heldProcessRuns(const HeldProcess&, const std::wstring&) { return false; }

void releaseProcess(HeldProcess& process) {
    if (process.handle != -1) --system().heldHandles;
    process = HeldProcess{};
}

bool isFolder(const std::wstring& path) {
    const auto& folders = system().folders;
    return std::find(folders.begin(), folders.end(), path) != folders.end();
}

bool fileExists(const std::wstring& path) {
    const auto& s = system();
    return isFolder(path) || std::find(s.existingFiles.begin(), s.existingFiles.end(), path) != s.existingFiles.end();
}

Result startProcess(const std::wstring& path, const std::wstring& arguments, HeldProcess& started) {
    started = HeldProcess{};
    fake::FakeSystem& s = system();
    s.starts.push_back({path, arguments});
    fake::logCall(L"start " + path);
    if (std::find(s.failingStarts.begin(), s.failingStarts.end(), path) != s.failingStarts.end())
        return failure(s.startError);
    if (s.startedProcessesRun) {
        const ProcessId id = fake::addProcess(s.startedImagePath.empty() ? path : s.startedImagePath);
        if (s.startsGiveAProcess) started = holdProcess(id);
    }
    return {};
}

bool terminateProcess(const HeldProcess& process, std::uint32_t timeoutMs) {
    system().terminated.push_back(process.id);
    fake::logCall(L"terminate " + std::to_wstring(process.id) + L" " + std::to_wstring(timeoutMs));
    fake::FakeProcess* p = fake::findProcess(process.id);
    if (p == nullptr || !p->terminable) return false;
    fake::removeProcess(process.id);
    return true;
}

void sleepMilliseconds(std::uint32_t ms) {
    system().clockMs += ms;
    system().sleeps.push_back(ms);
    fake::logCall(L"sleep " + std::to_wstring(ms));
    if (system().duringSleep) system().duringSleep(system().sleeps.size());
}

bool stopRequested() { return system().stopRequested; }

Result appendToFile(const std::wstring& path, std::string_view line) {
    fake::FakeSystem& s = system();
    s.logPath = path;
    if (s.logWritesFail) return failure(s.logError);
    s.logText += line;
    return {};
}

std::int64_t monotonicMilliseconds() { return static_cast<std::int64_t>(system().clockMs); }

std::chrono::system_clock::time_point wallClockNow() {
    const auto ms = system().wallClockStartMs + static_cast<std::int64_t>(system().clockMs);
    return std::chrono::system_clock::time_point(std::chrono::milliseconds(ms));
}


WindowHandle findProcessWindow(ProcessId id) {
    const fake::FakeProcess* p = fake::findProcess(id);
    if (system().windowEnumerationFails || p == nullptr) return 0;
    for (const fake::FakeWindow& w : p->windows)
        if (!w.vanishes) return w.handle;
    return 0;
}

bool windowAnswers(WindowHandle window, std::uint32_t timeoutMs) {
    system().probed.push_back(window);
    fake::logCall(L"probe " + std::to_wstring(window) + L" " + std::to_wstring(timeoutMs));
    for (const fake::FakeProcess& p : system().processes)
        for (const fake::FakeWindow& w : p.windows)
            if (w.handle == window) return w.answers && !w.vanishes;
    return false;
}

std::int32_t countMatchingFiles(const std::wstring& mask) {
    system().countedMasks.push_back(mask);
    const auto it = system().fileCounts.find(mask);
    return it == system().fileCounts.end() ? 0 : it->second;
}

std::wstring currentDirectoryPrefix() { return system().currentDirectory + L"\\"; }

bool isCompleteFileName(const std::wstring& fileName) { return hasDriveForm(fileName); }

std::wstring readProfileValue(const std::wstring& section, const std::wstring& key, const std::wstring& path) {
    const auto& profiles = system().profiles;
    const auto file = profiles.find(path);
    if (file == profiles.end()) return {};
    const auto sec = file->second.find(section);
    if (sec == file->second.end()) return {};
    const auto value = sec->second.find(key);
    return value == sec->second.end() ? std::wstring() : value->second;
}

Result writeProfileValue(const std::wstring& section, const std::wstring& key, const std::wstring& path,
                           const std::wstring& text) {
    fake::FakeSystem& s = system();
    s.profileWrites.push_back({section, key, path, text});
    if (std::find(s.unwritablePaths.begin(), s.unwritablePaths.end(), path) != s.unwritablePaths.end())
        return failure(L"Access is denied.");
    s.profiles[path][section][key] = text;
    return {};
}

bool hasProfileSection(const std::wstring& section, const std::wstring& path) {
    const auto file = system().profiles.find(path);
    return file != system().profiles.end() && file->second.count(section) != 0;
}

Result checkReadableFile(const std::wstring& path) {
    if (system().profiles.count(path) != 0) return {};
    return failure(L"The system cannot find the file specified.");
}

TokenHandle acquireThreadToken() { return system().tokenAvailable ? 1 : 0; }

bool lookupDebugPrivilege(PrivilegeId& privilege) {
    privilege.value = 20;
    return true;
}

bool setPrivilege(TokenHandle, PrivilegeId, bool enable) {
    system().privilegeChanges.push_back(enable);
    fake::logCall(enable ? L"privilege on" : L"privilege off");
    return system().privilegeGranted;
}

bool readConsoleInput(std::wstring& text) {
    fake::FakeSystem& s = system();
    if (s.stopRequested || s.inputPos >= s.input.size()) return false;
    const std::size_t rest = s.input.size() - s.inputPos;
    const std::size_t n = s.inputChunk == 0 ? rest : std::min(rest, s.inputChunk);
    text.append(s.input, s.inputPos, n);
    s.inputPos += n;
    return true;
}

void writeConsole(const std::wstring& text) {
    system().output += text;
    system().transcript += text;
    fake::logCall(L"print " + text);
}

void waitForKeystroke() {
    ++system().keyWaits;
    system().transcript += L"[key]";
    fake::logCall(L"key");
}

void initializePlatform() {}

bool slashQuestionMarkAsksForHelp() { return system().slashHelp; }

std::wstring programArgument(int argc, char** argv, int index) {
    if (index >= argc) return {};
    std::wstring wide;
    for (const char* p = argv[index]; *p != '\0'; ++p) wide.push_back(static_cast<unsigned char>(*p));
    return wide;
}

} // namespace procguard
