// The settings of the README's example config: a render job with two
// variables that ends once more than 500 frames exist. Config tests on the
// fake and on real files save and load it.
#pragma once

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

} // namespace procguard::test
