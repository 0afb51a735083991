#include "target/process_lookup.h"

namespace procguard {

std::wstring getProcessImagePath(ProcessId id) {
    std::wstring path;
    if (!readProcessImagePath(id, path) || path.empty()) return L"<unknown>";
    return path;
}

bool listRunningProcesses(std::vector<std::wstring>& processes) {
    std::vector<ProcessId> ids;
    if (!enumerateProcessIds(ids)) return false;
    for (ProcessId id : ids) {
        // A kernel thread runs no program: there is nothing to watch.
        if (id == 0 || isKernelThread(id)) continue;
        processes.push_back(getProcessImagePath(id));
    }
    return true;
}

std::wstring targetComparisonForm(const std::wstring& targetPath) {
    std::wstring resolved;
    return foldPathCase(resolveTargetPath(targetPath, resolved) ? resolved : targetPath);
}

ProcessId findProcessByPath(const std::wstring& targetPath) {
    std::vector<ProcessId> ids;
    if (!enumerateProcessIds(ids)) return 0;
    const std::wstring target = targetComparisonForm(targetPath);
    for (ProcessId id : ids) {
        if (id == 0) continue;
        if (foldPathCase(getProcessImagePath(id)) == target) return id;
    }
    return 0;
}

} // namespace procguard
