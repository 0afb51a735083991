#include "platform/fake/fake_system.h"

#include <algorithm>

#include "base/dump_name.h"
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

ProcessId addTreeProcess(ProcessId tree, const std::wstring& imagePath, std::vector<FakeWindow> windows) {
    const ProcessId id = addProcess(imagePath, std::move(windows));
    system().processes.back().tree = tree;
    return id;
}

void removeProcess(ProcessId id) {
    auto& processes = system().processes;
    processes.erase(
        std::remove_if(processes.begin(), processes.end(), [id](const FakeProcess& p) { return p.id == id; }),
        processes.end());
}

namespace {

void logCall(const std::wstring& call) { system().calls.push_back(call); }

FakeProcess* findProcess(ProcessId id) {
    for (FakeProcess& p : system().processes)
        if (p.id == id) return &p;
    return nullptr;
}

Result scripted(const std::map<std::wstring, Result>& table, const std::wstring& key) {
    const auto found = table.find(key);
    return found == table.end() ? Result{} : found->second;
}

// A probe that takes time: the test may act while it runs.
Result probe(const std::wstring& call, const std::map<std::wstring, Result>& table, const std::wstring& key) {
    logCall(call);
    if (system().duringProbe) system().duringProbe(call);
    return scripted(table, key);
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

std::vector<ProcessId> listTreeProcesses(const HeldProcess& process) {
    if (process.id == 0) return {};
    if (process.tree == -1) return {process.id};
    std::vector<ProcessId> ids;
    if (fake::findProcess(process.id) != nullptr) ids.push_back(process.id);
    for (const fake::FakeProcess& p : system().processes)
        if (p.tree == process.id && p.id != process.id) ids.push_back(p.id);
    return ids;
}

bool treeContains(const HeldProcess& process, ProcessId id) {
    const std::vector<ProcessId> tree = listTreeProcesses(process);
    return std::find(tree.begin(), tree.end(), id) != tree.end();
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
        if (s.startsGiveAProcess && s.startsMakeTrees) started.tree = static_cast<std::intptr_t>(id);
    }
    return {};
}

bool terminateProcess(const HeldProcess& process, std::uint32_t timeoutMs) {
    system().terminated.push_back(process.id);
    fake::logCall(L"terminate " + std::to_wstring(process.id) + L" " + std::to_wstring(timeoutMs));
    fake::FakeProcess* p = fake::findProcess(process.id);
    if (process.tree == -1) {
        if (p == nullptr || !p->terminable) return false;
        fake::removeProcess(process.id);
        return true;
    }
    // The whole tree: every member that can be ended is, and the result
    // says whether all of it has.
    bool allEnded = true;
    for (ProcessId id : listTreeProcesses(process)) {
        if (fake::findProcess(id)->terminable)
            fake::removeProcess(id);
        else
            allEnded = false;
    }
    return allEnded;
}

Result writeDump(const HeldProcess& process, const std::wstring& folder, const std::wstring& program,
                 std::wstring& file) {
    fake::FakeSystem& s = system();
    fake::logCall(L"dump " + std::to_wstring(process.id) + L" " + folder);
    if (process.handle == -1 || fake::findProcess(process.id) == nullptr)
        return failure(L"the process has already ended");
    if (s.dumpsFail) return failure(s.dumpError);
    file = folder + L"\\" + dumpFileName(program, process.id, wallClockNow(), L".dmp");
    s.dumps.push_back(file);
    if (s.dumpEndsProcess) fake::removeProcess(process.id);
    return {};
}

void sleepMilliseconds(std::uint32_t ms) {
    system().clockMs += ms;
    system().sleeps.push_back(ms);
    fake::logCall(L"sleep " + std::to_wstring(ms));
    if (system().duringSleep) system().duringSleep(system().sleeps.size());
}

PeriodEnd waitForCheckPeriod(std::uint32_t ms, const HeldProcess& target) {
    fake::FakeSystem& s = system();
    s.sleeps.push_back(ms);
    fake::logCall(L"wait " + std::to_wstring(ms) + L" " + std::to_wstring(target.id));
    const bool held = target.id != 0 && target.handle != -1;
    if (s.stopRequested) return PeriodEnd::Stopped;
    if (held && fake::findProcess(target.id) == nullptr) return PeriodEnd::TargetEnded;
    if (s.duringSleep) s.duringSleep(s.sleeps.size());
    if (!s.stopRequested && held && fake::findProcess(target.id) == nullptr) {
        s.clockMs += std::min(ms, s.targetEndsAfterMs);
        return PeriodEnd::TargetEnded;
    }
    s.clockMs += ms;
    return s.stopRequested ? PeriodEnd::Stopped : PeriodEnd::TimePassed;
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

WindowHandle findProcessWindow(ProcessId id) { return findTargetWindow(HeldProcess{id}); }

// The tree's processes in its own order, the held process first.
WindowHandle findTargetWindow(const HeldProcess& target) {
    if (system().windowEnumerationFails) return 0;
    for (ProcessId id : listTreeProcesses(target)) {
        const fake::FakeProcess* p = fake::findProcess(id);
        if (p == nullptr) continue;
        for (const fake::FakeWindow& w : p->windows)
            if (!w.vanishes) return w.handle;
    }
    return 0;
}

ProcessId windowOwner(WindowHandle window) {
    for (const fake::FakeProcess& p : system().processes)
        for (const fake::FakeWindow& w : p.windows)
            if (w.handle == window && !w.vanishes) return p.id;
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

Result checkHealthUrl(const std::wstring& url) { return fake::scripted(system().urlChecks, url); }

Result probeHealthUrl(const std::wstring& url, std::uint32_t timeoutMs) {
    return fake::probe(L"get " + url + L" " + std::to_wstring(timeoutMs), system().urlAnswers, url);
}

Result checkHealthCommand(const std::wstring& commandLine) {
    return fake::scripted(system().commandChecks, commandLine);
}

Result runHealthCommand(const std::wstring& commandLine, std::uint32_t timeoutMs) {
    return fake::probe(L"command " + commandLine + L" " + std::to_wstring(timeoutMs), system().commandResults,
                       commandLine);
}

bool readResidentMemory(const HeldProcess& process, std::uint64_t& bytes) {
    fake::logCall(L"memory " + std::to_wstring(process.id));
    const auto found = system().residentBytes.find(process.id);
    if (process.handle == -1 || fake::findProcess(process.id) == nullptr || found == system().residentBytes.end())
        return false;
    bytes = found->second;
    return true;
}

std::optional<std::chrono::system_clock::time_point> fileModificationTime(const std::wstring& path) {
    fake::logCall(L"modified " + path);
    const auto found = system().fileTimes.find(path);
    if (found == system().fileTimes.end()) return std::nullopt;
    return found->second;
}

std::wstring programArgument(int argc, char** argv, int index) {
    if (index >= argc) return {};
    std::wstring wide;
    for (const char* p = argv[index]; *p != '\0'; ++p) wide.push_back(static_cast<unsigned char>(*p));
    return wide;
}

} // namespace procguard
