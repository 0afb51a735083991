// Memory dumps on Windows: MiniDumpWriteDump from dbghelp.
//
// The call cannot be cut short, so it runs on a thread of its own while the
// caller waits for it, a stop request or the time limit. A dump that is given
// up goes on until the caller has terminated the process, and its thread
// then deletes the file, so that no half-written dump is ever left to be
// mistaken for a whole one.
#include "platform/platform.h"

#include <windows.h>
#include <dbghelp.h>
#include <shlobj.h>

#include <atomic>
#include <memory>
#include <mutex>

#include "base/dump_name.h"
#include "platform/win32/stop.h"
#include "platform/win32/system_error.h"

namespace procguard {

namespace {

// Thread and handle data on top of the stacks and modules of a normal dump.
constexpr int kDumpType = MiniDumpNormal | MiniDumpWithHandleData | MiniDumpWithThreadInfo;

enum DumpState : int { kRunning, kFinished, kGivenUp };

// Shared by the caller and the thread that writes; the last one to let go
// frees it.
struct DumpWork {
    HANDLE process = nullptr;
    DWORD id = 0;
    HANDLE file = nullptr;
    int type = kDumpType;
    std::wstring path;
    std::atomic<int> state{kRunning};
    bool written = false;
    DWORD error = 0;

    ~DumpWork() {
        if (process != nullptr) CloseHandle(process);
    }
};

// dbghelp is single-threaded: a dump given up and a new one must not meet.
std::mutex& dbghelpLock() {
    static std::mutex lock;
    return lock;
}

DWORD WINAPI writeDumpFile(void* parameter) {
    std::unique_ptr<std::shared_ptr<DumpWork>> owned(static_cast<std::shared_ptr<DumpWork>*>(parameter));
    DumpWork& work = **owned;
    {
        const std::lock_guard<std::mutex> guard(dbghelpLock());
        work.written = MiniDumpWriteDump(work.process, work.id, work.file, static_cast<MINIDUMP_TYPE>(work.type),
                                         nullptr, nullptr, nullptr);
        if (!work.written) work.error = GetLastError();
    }
    CloseHandle(work.file);
    int running = kRunning;
    const bool givenUp = !work.state.compare_exchange_strong(running, kFinished);
    if (!work.written || givenUp) DeleteFileW(work.path.c_str());
    return 0;
}

// Reading the memory of the process, its threads and its handles. Where
// handles may not be duplicated the dump goes without handle data.
HANDLE openForDump(DWORD id, bool& withHandles) {
    withHandles = true;
    if (HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ | PROCESS_DUP_HANDLE, FALSE, id))
        return process;
    withHandles = false;
    return OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, id);
}

std::wstring fullPath(const std::wstring& path) {
    const DWORD length = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (length == 0) return path;
    std::wstring full(length, L'\0');
    const DWORD written = GetFullPathNameW(path.c_str(), length, full.data(), nullptr);
    if (written == 0 || written >= length) return path;
    full.resize(written);
    return full;
}

} // namespace

Result writeDump(const HeldProcess& process, const std::wstring& folder, const std::wstring& program,
                 std::wstring& file) {
    // The held handle keeps the id from passing to another process, so the
    // process opened by that id below is this one.
    if (process.id == 0 || process.handle == -1)
        return failure(L"the process is not held, so it cannot be dumped safely");
    if (processHasEnded(process)) return failure(L"the process has already ended");
    if (stopRequested()) return failure(L"a stop request came before the dump");
    const std::wstring target = fullPath(folder);
    const int created = SHCreateDirectoryExW(nullptr, target.c_str(), nullptr);
    if (created != ERROR_SUCCESS && created != ERROR_ALREADY_EXISTS && created != ERROR_FILE_EXISTS)
        return failure(L"the folder cannot be created: " + systemErrorMessage(static_cast<DWORD>(created), target));

    auto work = std::make_shared<DumpWork>();
    work->id = process.id;
    bool withHandles = true;
    work->process = openForDump(process.id, withHandles);
    if (work->process == nullptr)
        return failure(L"the process cannot be opened for a dump: " + systemErrorMessage(GetLastError()));
    work->path = target + L"\\" + dumpFileName(program, process.id, wallClockNow(), L".dmp");
    work->file =
        CreateFileW(work->path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (work->file == INVALID_HANDLE_VALUE)
        return failure(L"the dump file cannot be created: " + systemErrorMessage(GetLastError(), work->path));
    if (!withHandles) work->type &= ~MiniDumpWithHandleData;

    auto* handedOver = new std::shared_ptr<DumpWork>(work);
    HANDLE thread = CreateThread(nullptr, 0, writeDumpFile, handedOver, 0, nullptr);
    if (thread == nullptr) {
        const DWORD error = GetLastError();
        delete handedOver;
        CloseHandle(work->file);
        DeleteFileW(work->path.c_str());
        return failure(L"the dump cannot be started: " + systemErrorMessage(error));
    }
    const ObjectWait waited = waitForObjectOrStop(thread, kDumpTimeLimitMs);
    CloseHandle(thread);
    if (waited != ObjectWait::Signalled) {
        int running = kRunning;
        if (work->state.compare_exchange_strong(running, kGivenUp)) {
            if (waited == ObjectWait::Stopped) return failure(L"a stop request cut the dump short");
            return failure(L"the dump did not finish within " + std::to_wstring(kDumpTimeLimitMs / 1000) + L" s");
        }
        // It finished just as the wait ended.
    }
    if (!work->written) return failure(L"MiniDumpWriteDump failed: " + systemErrorMessage(work->error));
    file = work->path;
    return {};
}

} // namespace procguard
