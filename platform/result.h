// What an operation that can fail for a reason worth telling returns, at the
// seam and above it. The reason is already in the user's words: the backend
// translates the system's error where it happens, and the caller prints it
// as it stands.
#pragma once

#include <string>
#include <utility>

namespace procguard {

struct Result {
    bool ok = true;
    std::wstring error; // why it failed; empty when ok
};

inline Result failure(std::wstring reason) { return {false, std::move(reason)}; }

} // namespace procguard
