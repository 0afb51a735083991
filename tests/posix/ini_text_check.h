// An oracle for INI edits on arbitrary input, for the INI text tests and the
// fuzzer: after a write, the key reads back as the value, every other key of
// the file reads as before, and the bytes outside the edited line are
// unchanged.
#pragma once

#include <string>
#include <string_view>

namespace procguard::test {

// An empty text when all of the above hold, else what broke.
std::string checkProfileEdit(std::string_view bytes, std::wstring_view section, std::wstring_view key,
                             std::wstring_view value);

} // namespace procguard::test
