#include "target/held_target.h"

#include <vector>

#include "platform/clock.h"
#include "target/process_lookup.h"

namespace procguard {

namespace {

bool isHeld(const HeldProcess& process) { return process.id != 0 && process.handle != -1; }

// The held image, as the lookup names images ("<unknown>" when unreadable).
bool heldImageMatches(const HeldProcess& process, const std::wstring& wanted) {
    if (processHasEnded(process)) return false; // (an unreadable image would read as "<unknown>")
    std::wstring image;
    if (!readHeldImagePath(process, image) || image.empty()) image = L"<unknown>";
    return foldPathCase(image) == wanted;
}

// The first process in enumeration order whose image is the target, held.
// Between the listing and the open its id may have passed to another
// process, so the image is read again through the handle before it counts.
HeldProcess lookUpAndHold(const std::wstring& wanted) {
    std::vector<ProcessId> ids;
    if (!enumerateProcessIds(ids)) return {};
    for (ProcessId id : ids) {
        if (id == 0 || foldPathCase(getProcessImagePath(id)) != wanted) continue;
        HeldProcess process = holdProcess(id);
        if (!isHeld(process)) return process; // found, but known by its id only
        if (heldImageMatches(process, wanted)) return process;
        releaseProcess(process);
    }
    return {};
}

// A process found again under the id it had keeps the moment it was first
// seen; any other is new from now on.
void noteSince(HeldTarget& target, ProcessId id, ProcessId lastSeen) {
    if (id == 0) return;
    if (id != lastSeen) target.since = wallClockNow();
    target.sinceId = id;
}

} // namespace

HeldProcess locateTarget(const std::wstring& processName, HeldTarget& target) {
    if (isHeld(target.process)) {
        if (target.started) {
            if (!processHasEnded(target.process)) return target.process;
        } else if (heldProcessRuns(target.process, processName) ||
                   // Links change when a package is upgraded: the path is resolved again.
                   heldImageMatches(target.process, targetComparisonForm(processName))) {
            return target.process;
        }
    }
    const ProcessId lastSeen = target.sinceId;
    releaseTarget(target);
    HeldProcess found = lookUpAndHold(targetComparisonForm(processName));
    if (isHeld(found)) target.process = found;
    noteSince(target, found.id, lastSeen);
    return found;
}

void holdStartedTarget(HeldTarget& target, const HeldProcess& started) {
    releaseTarget(target);
    if (!isHeld(started)) {
        HeldProcess unheld = started;
        releaseProcess(unheld);
        return;
    }
    target.process = started;
    target.started = true;
    target.sinceId = started.id;
    target.since = wallClockNow();
}

void releaseTarget(HeldTarget& target) {
    releaseProcess(target.process);
    target.started = false;
}

} // namespace procguard
