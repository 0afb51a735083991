// The settings of the README's example config: a render job with two
// variables that ends once more than 500 frames exist. Config tests on the
// fake and on real files save and load it.
#pragma once

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

// Expects every stored field of `loaded` to equal `saved`'s; the current
// values of variables are not stored and load as 0.
inline void expectLoadedAsSaved(const WatchSettings& loaded, const WatchSettings& saved) {
    EXPECT_EQ(loaded.processName, saved.processName);
    EXPECT_EQ(loaded.commandParams, saved.commandParams);
    EXPECT_EQ(loaded.checkPeriod, saved.checkPeriod);
    EXPECT_EQ(loaded.responseTimeout, saved.responseTimeout);
    EXPECT_EQ(loaded.finishCondition.type, saved.finishCondition.type);
    EXPECT_EQ(loaded.finishCondition.dataBool, saved.finishCondition.dataBool);
    EXPECT_EQ(loaded.finishCondition.dataString, saved.finishCondition.dataString);
    EXPECT_EQ(loaded.finishCondition.dataInt, saved.finishCondition.dataInt);
    ASSERT_EQ(loaded.variables.size(), saved.variables.size());
    for (std::size_t i = 0; i < saved.variables.size(); ++i) {
        EXPECT_EQ(loaded.variables[i].name, saved.variables[i].name);
        EXPECT_EQ(loaded.variables[i].data, saved.variables[i].data);
        EXPECT_EQ(loaded.variables[i].type, saved.variables[i].type);
        EXPECT_EQ(loaded.variables[i].baseValue, saved.variables[i].baseValue);
        EXPECT_EQ(loaded.variables[i].value, 0);
    }
}

} // namespace procguard::test
