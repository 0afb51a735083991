#include "app/report.h"

#include <string>

#include "console/console.h"

namespace procguard {

namespace {

std::wstring runsText(std::uint32_t restarts) { return L"(" + std::to_wstring(restarts) + L" runs)"; }

std::wstring failuresText(const EventRecord& record) {
    return L"(" + std::to_wstring(record.failures) + L" of " + std::to_wstring(record.failureLimit) +
           L" failed checks)";
}

// What the console says of an outcome.
std::wstring consoleText(const EventRecord& record) {
    switch (record.event) {
    case WatchEvent::SurveillanceStarted: return L"Surveillance started. You may relax now, have a nice day!\n";
    case WatchEvent::NotRunning: return L"Process not running, restarting...\n";
    case WatchEvent::NotResponding:
        // A miss that does not end the target yet says how far it is from it.
        if (record.failures < record.failureLimit) return L"Process not responding " + failuresText(record) + L".\n";
        return L"Process not responding, terminating...\n";
    case WatchEvent::Unhealthy: return L"Process unhealthy: " + record.reason + L" " + failuresText(record) + L".\n";
    case WatchEvent::RestartDelayed:
        return L"Restart delayed by " + std::to_wstring(record.delay) + L" ms: " + record.reason + L"\n";
    case WatchEvent::Dumped: return L"Process dumped to " + record.file + L".\n";
    case WatchEvent::DumpFailed: return L"Failed to dump process: " + record.error + L"\n";
    case WatchEvent::Terminated: return L"Process terminated, restarting...\n";
    case WatchEvent::FailedToTerminate:
        return L"Failed to terminate process. Restarting anyway, you may want to watch this...\n";
    case WatchEvent::Restarted: return L"Process restarted " + runsText(record.restarts) + L".\n";
    case WatchEvent::FailedToRestart:
        return L"Failed to restart process " + runsText(record.restarts) + L": " +
               (record.program != nullptr ? *record.program + L": " : L"") + record.error + L"\n";
    // The key wait that follows keeps the cursor on this line.
    case WatchEvent::Finished: return L"All done now. Press any key to exit...";
    // On a line of its own: the stop may come in the middle of a prompt.
    case WatchEvent::Stopped: return L"\nStopped.\n";
    }
    return {};
}

} // namespace

void report(const EventRecord& record) {
    // The console says what happened, and then, if the log cannot take the
    // line, that it cannot. The last words of a run come after any such
    // complaint instead, so that nothing is glued to the closing key prompt.
    const bool lastWords = record.event == WatchEvent::Finished || record.event == WatchEvent::Stopped;
    if (lastWords) logEvent(record);
    print(consoleText(record));
    if (!lastWords) logEvent(record);
}

} // namespace procguard
