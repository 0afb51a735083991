#include "config/config_file.h"

#include <cstdio>

#include "base/decimal.h"
#include "config/optional_keys.h"
#include "config/profile.h"

namespace procguard {

namespace {

// How a key's value stands in the file.
enum class KeyType {
    Text,    // as the field holds it; default empty
    Integer, // signed decimal; the periods are unsigned and stored as the same 32 bits
    Flag,    // "true" or "false"; only "true" reads as set, default "false"
};

// A field's value on its way to or from the file.
struct KeyValue {
    std::wstring text;
    std::int32_t number = 0;
    bool flag = false;
};

// One key: where it stands, its type and default, and the field it carries.
// The order of a table is the order of every save and load.
template <typename Record>
struct KeyRule {
    const wchar_t* section; // nullptr: the section of the record itself
    const wchar_t* key;
    KeyType type;
    std::int32_t defaultNumber;
    KeyValue (*get)(const Record&);
    void (*set)(Record&, KeyValue&&);
};

constexpr std::int32_t kDefaultCheckPeriod = 10000;
constexpr std::int32_t kDefaultResponseTimeout = 30000;

const KeyRule<WatchSettings> kSettingsKeys[] = {
    {L"main", L"processName", KeyType::Text, 0, [](const WatchSettings& s) { return KeyValue{s.processName}; },
     [](WatchSettings& s, KeyValue&& v) { s.processName = std::move(v.text); }},
    {L"main", L"commandParams", KeyType::Text, 0, [](const WatchSettings& s) { return KeyValue{s.commandParams}; },
     [](WatchSettings& s, KeyValue&& v) { s.commandParams = std::move(v.text); }},
    {L"main", L"checkPeriod", KeyType::Integer, kDefaultCheckPeriod,
     [](const WatchSettings& s) {
         return KeyValue{{}, static_cast<std::int32_t>(s.checkPeriod)};
     },
     [](WatchSettings& s, KeyValue&& v) { s.checkPeriod = static_cast<std::uint32_t>(v.number); }},
    {L"main", L"responseTimeout", KeyType::Integer, kDefaultResponseTimeout,
     [](const WatchSettings& s) {
         return KeyValue{{}, static_cast<std::int32_t>(s.responseTimeout)};
     },
     [](WatchSettings& s, KeyValue&& v) { s.responseTimeout = static_cast<std::uint32_t>(v.number); }},
    {L"finishCondition", L"type", KeyType::Integer, 0,
     [](const WatchSettings& s) {
         return KeyValue{{}, static_cast<std::int32_t>(s.finishCondition.type)};
     },
     [](WatchSettings& s, KeyValue&& v) { s.finishCondition.type = static_cast<FinishKind>(v.number); }},
    {L"finishCondition", L"dataInt", KeyType::Integer, 0,
     [](const WatchSettings& s) {
         return KeyValue{{}, s.finishCondition.dataInt};
     },
     [](WatchSettings& s, KeyValue&& v) { s.finishCondition.dataInt = v.number; }},
    {L"finishCondition", L"dataString", KeyType::Text, 0,
     [](const WatchSettings& s) { return KeyValue{s.finishCondition.dataString}; },
     [](WatchSettings& s, KeyValue&& v) { s.finishCondition.dataString = std::move(v.text); }},
    {L"finishCondition", L"dataBool", KeyType::Flag, 0,
     [](const WatchSettings& s) {
         return KeyValue{{}, 0, s.finishCondition.dataBool};
     },
     [](WatchSettings& s, KeyValue&& v) { s.finishCondition.dataBool = v.flag; }},
};

// The key a load cannot do without: the target.
const wchar_t* const kTargetSection = L"main";

// The number of variables follows the settings keys in "main"; on load it is
// the number of variable sections read, not a field.
const wchar_t* const kVariableCountSection = L"main";
const wchar_t* const kVariableCountKey = L"variables";

const KeyRule<Variable> kVariableKeys[] = {
    {nullptr, L"type", KeyType::Integer, 0,
     [](const Variable& v) {
         return KeyValue{{}, static_cast<std::int32_t>(v.type)};
     },
     [](Variable& v, KeyValue&& k) { v.type = static_cast<VariableKind>(k.number); }},
    {nullptr, L"name", KeyType::Text, 0, [](const Variable& v) { return KeyValue{v.name}; },
     [](Variable& v, KeyValue&& k) { v.name = std::move(k.text); }},
    {nullptr, L"data", KeyType::Text, 0, [](const Variable& v) { return KeyValue{v.data}; },
     [](Variable& v, KeyValue&& k) { v.data = std::move(k.text); }},
    {nullptr, L"baseValue", KeyType::Integer, 0,
     [](const Variable& v) {
         return KeyValue{{}, v.baseValue};
     },
     [](Variable& v, KeyValue&& k) { v.baseValue = k.number; }},
};

template <typename Record, std::size_t N>
Result saveKeys(const std::wstring& path, const std::wstring& ownSection, const Record& record,
                const KeyRule<Record> (&rules)[N]) {
    for (const KeyRule<Record>& rule : rules) {
        const std::wstring section = rule.section != nullptr ? rule.section : ownSection;
        const KeyValue value = rule.get(record);
        Result written;
        switch (rule.type) {
        case KeyType::Text: written = writeProfileString(section, rule.key, path, value.text); break;
        case KeyType::Integer: written = writeProfileInt(section, rule.key, path, value.number); break;
        case KeyType::Flag:
            written = writeProfileString(section, rule.key, path, value.flag ? L"true" : L"false");
            break;
        }
        if (!written.ok) return written;
    }
    return {};
}

template <typename Record, std::size_t N>
void loadKeys(const std::wstring& path, const std::wstring& ownSection, Record& record,
              const KeyRule<Record> (&rules)[N]) {
    for (const KeyRule<Record>& rule : rules) {
        const std::wstring section = rule.section != nullptr ? rule.section : ownSection;
        KeyValue value;
        switch (rule.type) {
        case KeyType::Text: value.text = readProfileString(section, rule.key, path, L""); break;
        case KeyType::Integer: value.number = readProfileInt(section, rule.key, path, rule.defaultNumber); break;
        case KeyType::Flag: value.flag = readProfileString(section, rule.key, path, L"false") == L"true"; break;
        }
        rule.set(record, std::move(value));
    }
}

// Every field a load writes, at the value a file without any key gives.
void setDefaults(WatchSettings& settings) {
    for (const KeyRule<WatchSettings>& rule : kSettingsKeys) {
        KeyValue value;
        value.number = rule.defaultNumber;
        rule.set(settings, std::move(value));
    }
}

} // namespace

std::wstring variableSectionName(std::uint32_t index) {
    char buffer[64];
    const int length = std::snprintf(buffer, sizeof buffer, "%u", static_cast<unsigned>(index));
    return L"variable" + std::wstring(buffer, buffer + length);
}

Result saveConfig(const std::wstring& fileName, const WatchSettings& settings) {
    const std::wstring path = resolveConfigPath(fileName);
    if (Result saved = saveKeys(path, L"", settings, kSettingsKeys); !saved.ok) return saved;
    const auto count = static_cast<std::int32_t>(settings.variables.size());
    if (Result saved = writeProfileInt(kVariableCountSection, kVariableCountKey, path, count); !saved.ok) return saved;
    for (std::uint32_t index = 0; index < settings.variables.size(); ++index) {
        if (Result saved = saveKeys(path, variableSectionName(index), settings.variables[index], kVariableKeys);
            !saved.ok)
            return saved;
    }
    return {};
}

LoadResult loadConfig(const std::wstring& fileName, WatchSettings& settings) {
    LoadResult result;
    result.path = resolveConfigPath(fileName);
    // A missing file would otherwise load as a complete set of defaults and
    // look like a success.
    if (const Result readable = checkReadableFile(result.path); !readable.ok) {
        setDefaults(settings);
        result.status = LoadStatus::FileMissing;
        result.outcome = failure(L"Cannot read config file " + result.path + L": " + readable.error);
        return result;
    }

    loadKeys(result.path, L"", settings, kSettingsKeys);
    // Without a target nothing can ever be started: a run would report a
    // failed start at every check, forever.
    if (settings.processName.empty()) {
        result.status = LoadStatus::NoTarget;
        result.outcome = failure(L"Config file " + result.path + L" names no target: " +
                                 (hasProfileSection(kTargetSection, result.path)
                                      ? L"its [main] section has no processName, or an empty one."
                                      : L"it has no [main] section with a processName."));
        return result;
    }
    const std::int32_t count = readProfileInt(kVariableCountSection, kVariableCountKey, result.path, 0);
    // A count no save writes is refused before anything is allocated for it.
    if (count < 0 || count > kMaxConfigVariables) {
        result.status = LoadStatus::BadVariableCount;
        result.outcome = failure(L"Config file " + result.path + L" gives " + formatDecimal(count) +
                                 L" variables; the number must lie between 0 and " +
                                 formatDecimal(kMaxConfigVariables) + L". No variables were loaded.");
        return result;
    }
    settings.variables.reserve(settings.variables.size() + static_cast<std::size_t>(count));
    for (std::uint32_t index = 0; index < static_cast<std::uint32_t>(count); ++index) {
        Variable variable;
        loadKeys(result.path, variableSectionName(index), variable, kVariableKeys);
        settings.variables.push_back(std::move(variable));
    }
    if (Result optional = loadOptionalSections(result.path, settings); !optional.ok) {
        result.status = LoadStatus::BadKey;
        result.outcome = std::move(optional);
    }
    return result;
}

} // namespace procguard
