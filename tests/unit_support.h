// A fresh start for every unit test: the fake system, and the console's
// answer buffer that the last test's input may have left filled.
#pragma once

#include "console/console.h"
#include "platform/fake/fake_system.h"
#include "unit_support.h"

namespace procguard::test {

inline void resetSystem() {
    fake::reset();
    resetConsoleInput();
}

} // namespace procguard::test
