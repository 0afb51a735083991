#include "config/optional_keys.h"

#include <cstdint>
#include <limits>
#include <vector>

#include "config/profile.h"
#include "platform/health_command.h"
#include "platform/http.h"

namespace procguard {

namespace {

enum class KeyKind {
    Text,   // as written, checked by `check` when there is one
    Number, // a whole number from 0 (milliseconds, MiB)
    Count,  // a whole number from 1
    Switch, // 0 or 1
};

// Where a key's value goes in the settings: one of the three.
struct KeyTarget {
    KeyTarget(std::wstring* field) : text(field) {}
    KeyTarget(std::uint32_t* field) : number(field) {}
    KeyTarget(bool* field) : flag(field) {}
    std::wstring* text = nullptr;
    std::uint32_t* number = nullptr;
    bool* flag = nullptr;
};

struct OptionalKey {
    const wchar_t* section;
    const wchar_t* key;
    KeyKind kind;
    KeyTarget field;
    Result (*check)(const std::wstring&) = nullptr;
};

// The keys in the order they are read, each aimed at its field of `s`.
std::vector<OptionalKey> optionalKeys(WatchSettings& s) {
    HealthChecks& health = s.health;
    RestartPolicy& restart = s.restart;
    return {
        {L"health", L"heartbeatFile", KeyKind::Text, &health.heartbeatFile},
        {L"health", L"heartbeatTimeout", KeyKind::Number, &health.heartbeatTimeout},
        {L"health", L"healthUrl", KeyKind::Text, &health.healthUrl, checkHealthUrl},
        {L"health", L"healthCommand", KeyKind::Text, &health.healthCommand, checkHealthCommand},
        {L"health", L"memoryLimit", KeyKind::Number, &health.memoryLimit},
        {L"health", L"failedChecks", KeyKind::Count, &health.failedChecks},
        {L"health", L"startGrace", KeyKind::Number, &health.startGrace},
        {L"restart", L"backoffLimit", KeyKind::Number, &restart.backoffLimit},
        {L"restart", L"stableRun", KeyKind::Number, &restart.stableRun},
        {L"restart", L"dumpFolder", KeyKind::Text, &restart.dumpFolder},
        {L"restart", L"restartOnExit", KeyKind::Switch, &restart.restartOnExit},
    };
}

// A whole decimal number, nothing before or after it but what the profile
// functions already trimmed. Unlike the old keys, whose stream-style read
// makes "12abc" 12 and "abc" the default, a new key says what it means or
// is refused.
enum class Whole { Read, Negative, NotANumber, TooLarge };

Whole readWhole(const std::wstring& text, std::uint32_t& value) {
    std::size_t at = 0;
    if (at < text.size() && text[at] == L'+') ++at;
    if (at < text.size() && text[at] == L'-') return text.size() > 1 ? Whole::Negative : Whole::NotANumber;
    if (at == text.size()) return Whole::NotANumber;
    std::uint64_t number = 0;
    for (; at < text.size(); ++at) {
        if (text[at] < L'0' || text[at] > L'9') return Whole::NotANumber;
        number = number * 10 + static_cast<std::uint64_t>(text[at] - L'0');
        if (number > std::numeric_limits<std::uint32_t>::max()) return Whole::TooLarge;
    }
    value = static_cast<std::uint32_t>(number);
    return Whole::Read;
}

// What is wrong with a number, or nothing.
std::wstring numberProblem(KeyKind kind, const std::wstring& text, std::uint32_t& value) {
    switch (readWhole(text, value)) {
    case Whole::Negative: return L"is negative";
    case Whole::NotANumber: return L"is not a number";
    case Whole::TooLarge: return L"is too large";
    case Whole::Read: break;
    }
    if (kind == KeyKind::Count && value == 0) return L"must be at least 1";
    if (kind == KeyKind::Switch && value > 1) return L"must be 0 or 1";
    return {};
}

std::wstring whereOf(const std::wstring& path, const OptionalKey& rule) {
    return L"Config file " + path + L": [" + rule.section + L"] " + rule.key;
}

Result loadKey(const std::wstring& path, const OptionalKey& rule) {
    const std::wstring text = readProfileString(rule.section, rule.key, path, L"");
    if (text.empty()) return {};
    const KeyTarget& field = rule.field;
    if (rule.kind == KeyKind::Text) {
        if (rule.check != nullptr) {
            if (const Result checked = rule.check(text); !checked.ok)
                return failure(whereOf(path, rule) + L": " + checked.error);
        }
        *field.text = text;
        return {};
    }
    std::uint32_t value = 0;
    if (const std::wstring problem = numberProblem(rule.kind, text, value); !problem.empty())
        return failure(whereOf(path, rule) + L"=" + text + L" " + problem + L".");
    if (field.flag != nullptr)
        *field.flag = value == 1;
    else
        *field.number = value;
    return {};
}

} // namespace

Result loadOptionalSections(const std::wstring& path, WatchSettings& settings) {
    // What an earlier load left there must not stay behind where this file is silent.
    settings.health = HealthChecks{};
    settings.restart = RestartPolicy{};
    for (const OptionalKey& rule : optionalKeys(settings)) {
        if (Result loaded = loadKey(path, rule); !loaded.ok) return loaded;
    }
    // A heartbeat file alone could never be late, or would always be.
    if (!settings.health.heartbeatFile.empty() && settings.health.heartbeatTimeout == 0)
        return failure(L"Config file " + path +
                       L": [health] heartbeatFile needs heartbeatTimeout, the milliseconds the file may go "
                       L"unmodified.");
    return {};
}

} // namespace procguard
