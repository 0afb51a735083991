#include "config/config_file.h"

#include <array>
#include <cstdio>

#include "config/profile.h"

namespace procguard {

namespace {

constexpr std::uint32_t kDefaultCheckPeriod = 10000;
constexpr std::uint32_t kDefaultResponseTimeout = 30000;

// One key to write: a text, or an integer when `isInt`.
struct KeyWrite {
    std::wstring section;
    const wchar_t* key;
    std::wstring text;
    std::int32_t number = 0;
    bool isInt = false;
};

KeyWrite textKey(std::wstring section, const wchar_t* key, std::wstring text) {
    return {std::move(section), key, std::move(text), 0, false};
}

KeyWrite intKey(std::wstring section, const wchar_t* key, std::int32_t number) {
    return {std::move(section), key, {}, number, true};
}

OsResult writeKey(const std::wstring& fileName, const KeyWrite& write) {
    return write.isInt ? writeProfileInt(write.section, write.key, fileName, write.number)
                       : writeProfileString(write.section, write.key, fileName, write.text);
}

void setDefaults(std::wstring& processName, std::wstring& commandParams, std::uint32_t& checkPeriod,
                 std::uint32_t& responseTimeout, FinishCondition& finishCondition) {
    processName.clear();
    commandParams.clear();
    checkPeriod = kDefaultCheckPeriod;
    responseTimeout = kDefaultResponseTimeout;
    finishCondition = FinishCondition{};
}

} // namespace

std::wstring variableSectionName(std::uint32_t index) {
    char buffer[64];
    const int length = std::snprintf(buffer, sizeof buffer, "%u", static_cast<unsigned>(index));
    return L"variable" + std::wstring(buffer, buffer + length);
}

OsResult saveConfig(const std::wstring& fileName, const std::wstring& processName,
                    const std::wstring& commandParams, const VariableList& variables,
                    std::uint32_t checkPeriod, std::uint32_t responseTimeout,
                    const FinishCondition& finishCondition) {
    // The periods are unsigned; they are stored as the signed decimal of the
    // same 32 bits, which a load turns back into the same value.
    const std::array<KeyWrite, 9> settingsKeys = {
        textKey(L"main", L"processName", processName),
        textKey(L"main", L"commandParams", commandParams),
        intKey(L"main", L"checkPeriod", static_cast<std::int32_t>(checkPeriod)),
        intKey(L"main", L"responseTimeout", static_cast<std::int32_t>(responseTimeout)),
        intKey(L"finishCondition", L"type", static_cast<std::int32_t>(finishCondition.type)),
        intKey(L"finishCondition", L"dataInt", finishCondition.dataInt),
        textKey(L"finishCondition", L"dataString", finishCondition.dataString),
        textKey(L"finishCondition", L"dataBool", finishCondition.dataBool ? L"true" : L"false"),
        intKey(L"main", L"variables", static_cast<std::int32_t>(variables.size())),
    };
    for (const KeyWrite& write : settingsKeys)
        if (OsResult result = writeKey(fileName, write); !result.ok) return result;

    for (std::uint32_t index = 0; index < variables.size(); ++index) {
        const Variable& variable = variables[index];
        const std::wstring section = variableSectionName(index);
        const std::array<KeyWrite, 4> variableKeys = {
            intKey(section, L"type", static_cast<std::int32_t>(variable.type)),
            textKey(section, L"name", variable.name),
            textKey(section, L"data", variable.data),
            intKey(section, L"baseValue", variable.baseValue),
        };
        for (const KeyWrite& write : variableKeys)
            if (OsResult result = writeKey(fileName, write); !result.ok) return result;
    }
    return {};
}

LoadResult loadConfig(const std::wstring& fileName, std::wstring& processName,
                      std::wstring& commandParams, VariableList& variables,
                      std::uint32_t& checkPeriod, std::uint32_t& responseTimeout,
                      FinishCondition& finishCondition) {
    LoadResult result;
    result.path = resolveConfigPath(fileName);
    // A missing file would otherwise load as a complete set of defaults and
    // look like a success.
    if (const OsResult readable = checkReadableFile(result.path); !readable.ok) {
        setDefaults(processName, commandParams, checkPeriod, responseTimeout, finishCondition);
        result.status = LoadStatus::FileMissing;
        result.message = L"Cannot read config file " + result.path + L": " + readable.error;
        return result;
    }

    processName = readProfileString(L"main", L"processName", fileName, L"");
    commandParams = readProfileString(L"main", L"commandParams", fileName, L"");
    checkPeriod = static_cast<std::uint32_t>(
        readProfileInt(L"main", L"checkPeriod", fileName, static_cast<std::int32_t>(kDefaultCheckPeriod)));
    responseTimeout = static_cast<std::uint32_t>(readProfileInt(
        L"main", L"responseTimeout", fileName, static_cast<std::int32_t>(kDefaultResponseTimeout)));
    finishCondition.type = static_cast<FinishKind>(readProfileInt(L"finishCondition", L"type", fileName, 0));
    finishCondition.dataInt = readProfileInt(L"finishCondition", L"dataInt", fileName, 0);
    finishCondition.dataString = readProfileString(L"finishCondition", L"dataString", fileName, L"");
    finishCondition.dataBool = readProfileString(L"finishCondition", L"dataBool", fileName, L"false") == L"true";

    const std::int32_t count = readProfileInt(L"main", L"variables", fileName, 0);
    // A count no save writes is refused before anything is allocated for it.
    if (count < 0 || count > kMaxConfigVariables) {
        result.status = LoadStatus::BadVariableCount;
        result.message = L"Config file " + result.path + L" gives " + formatDecimal(count) +
                         L" variables; the number must lie between 0 and " +
                         formatDecimal(kMaxConfigVariables) + L". No variables were loaded.";
        return result;
    }
    variables.reserve(variables.size() + static_cast<std::size_t>(count));
    for (std::uint32_t index = 0; index < static_cast<std::uint32_t>(count); ++index) {
        const std::wstring section = variableSectionName(index);
        Variable variable;
        variable.type = static_cast<VariableKind>(readProfileInt(section, L"type", fileName, 0));
        variable.name = readProfileString(section, L"name", fileName, L"");
        variable.data = readProfileString(section, L"data", fileName, L"");
        variable.baseValue = readProfileInt(section, L"baseValue", fileName, 0);
        variables.push_back(std::move(variable));
    }
    return result;
}

} // namespace procguard
