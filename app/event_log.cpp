#include "app/event_log.h"

#include "base/log_text.h"
#include "platform/clock.h"
#include "platform/log_file.h"
#include "console/console.h"

namespace procguard {

namespace {

struct EventLog {
    std::wstring path;    // empty: no log
    bool failing = false; // the last write failed, and the console was told
};

EventLog& eventLog() {
    static EventLog log;
    return log;
}

const char* eventName(WatchEvent event) {
    switch (event) {
    case WatchEvent::SurveillanceStarted: return "surveillance started";
    case WatchEvent::NotRunning: return "not running";
    case WatchEvent::NotResponding: return "not responding";
    case WatchEvent::Terminated: return "terminated";
    case WatchEvent::FailedToTerminate: return "failed to terminate";
    case WatchEvent::Restarted: return "restarted";
    case WatchEvent::FailedToRestart: return "failed to restart";
    case WatchEvent::Finished: return "finished";
    case WatchEvent::Stopped: return "stopped";
    case WatchEvent::Unhealthy: return "unhealthy";
    case WatchEvent::RestartDelayed: return "restart delayed";
    case WatchEvent::Dumped: return "dumped";
    case WatchEvent::DumpFailed: return "dump failed";
    }
    return "unknown";
}

} // namespace

void openEventLog(const std::wstring& path) { eventLog() = EventLog{path}; }

std::string formatEventLine(const EventRecord& record, std::chrono::system_clock::time_point time) {
    std::string line = "{\"time\":\"" + formatUtcTime(time) + "\",\"event\":\"" + eventName(record.event) +
                       "\",\"restarts\":" + std::to_string(record.restarts);
    if (record.pid != 0) line += ",\"pid\":" + std::to_string(record.pid);
    if (record.probe != nullptr) {
        line += ",\"probe\":";
        appendJsonString(line, record.probe);
    }
    if (!record.reason.empty()) {
        line += ",\"reason\":";
        appendJsonString(line, record.reason);
    }
    if (record.failures != 0) line += ",\"failures\":" + std::to_string(record.failures);
    if (record.delay != 0) line += ",\"delay\":" + std::to_string(record.delay);
    if (!record.file.empty()) {
        line += ",\"file\":";
        appendJsonString(line, record.file);
    }
    if (record.arguments != nullptr) {
        line += ",\"arguments\":";
        appendJsonString(line, *record.arguments);
    }
    if (record.variables != nullptr) {
        line += ",\"variables\":{";
        for (std::size_t i = 0; i < record.variables->size(); ++i) {
            const Variable& variable = (*record.variables)[i];
            if (i != 0) line += ',';
            appendJsonString(line, variable.name);
            line += ':' + std::to_string(variable.value);
        }
        line += '}';
    }
    if (!record.error.empty()) {
        line += ",\"error\":";
        appendJsonString(line, record.error);
    }
    line += "}\n";
    return line;
}

void logEvent(const EventRecord& record) {
    EventLog& log = eventLog();
    if (log.path.empty()) return;
    const Result written = appendToFile(log.path, formatEventLine(record, wallClockNow()));
    if (written.ok || log.failing) {
        log.failing = !written.ok;
        return;
    }
    log.failing = true;
    // The reason comes last, as in the other messages that carry one.
    printLine(L"The event log " + log.path + L" cannot be written, watching goes on without it: " + written.error);
}

} // namespace procguard
