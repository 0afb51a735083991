// The settings of the README's example config: a render job with two
// variables that ends once more than 500 frames exist. Config tests on the
// fake and on real files save and load it.
#pragma once

#include <string>

#include <gtest/gtest.h>

#include "config/watch_settings.h"

namespace procguard::test {

inline WatchSettings renderJob() {
    WatchSettings s;
    s.processName = L"D:\\Jobs\\render.exe";
    s.commandParams = L"-log run<Run>.txt -skip <Done>";
    s.variables = {Variable(L"<Run>", VariableKind::RestartCount, 1, L""),
                   Variable(L"<Done>", VariableKind::FileCount, 0, L"D:\\Jobs\\out\\frame*.png")};
    s.checkPeriod = 5000;
    s.responseTimeout = 20000;
    s.finishCondition = {FinishKind::FileCount, true, L"D:\\Jobs\\out\\frame*.png", 500};
    return s;
}

// The render job with text outside every ANSI code page, as the Windows
// build saved it into tests/data/windows_saved.ini.
inline WatchSettings unicodeRenderJob() {
    WatchSettings s = renderJob();
    s.processName = L"D:\\Auftr\u00E4ge\\\u6E32\u67D3\\render \u20AC.exe";
    s.commandParams = L"-log run<Run>.txt -skip <Done> -title \U0001D11E";
    s.variables[1].data = s.finishCondition.dataString = L"D:\\Auftr\u00E4ge\\\u51FA\u529B\\frame*.png";
    return s;
}

// What a Linux save put into that file (tests/data/linux_resaved.ini).
inline WatchSettings resavedRenderJob() {
    WatchSettings s = unicodeRenderJob();
    s.processName = L"D:\\\u0417\u0430\u0434\u0430\u043D\u0438\u044F\\render.exe";
    s.checkPeriod = 3000000000u;
    s.variables.push_back(Variable(L"<\u00DCbrig>", VariableKind::FileCount, -3, L"D:\\\u00DCbrig\\*.log"));
    return s;
}

// Every field a config file stores, in one text that compares with a readable difference.
inline std::wstring storedFields(const WatchSettings& s) {
    const auto n = [](auto number) { return std::to_wstring(static_cast<long long>(number)) + L" "; };
    const FinishCondition& f = s.finishCondition;
    std::wstring text = s.processName + L"\n" + s.commandParams + L"\n" + n(s.checkPeriod) + n(s.responseTimeout) +
                        n(f.type) + n(f.dataBool) + n(f.dataInt) + f.dataString + L"\n";
    for (const Variable& v : s.variables) text += n(v.type) + n(v.baseValue) + v.name + L" " + v.data + L"\n";
    return text;
}

// Expects every stored field of `loaded` to equal `saved`'s; the current
// values of variables are not stored and load as 0.
inline void expectLoadedAsSaved(const WatchSettings& loaded, const WatchSettings& saved) {
    EXPECT_EQ(storedFields(loaded), storedFields(saved));
    for (const Variable& variable : loaded.variables) EXPECT_EQ(variable.value, 0);
}

} // namespace procguard::test
