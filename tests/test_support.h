// Helpers of the OS tests on every platform: waiting for a state, reading a
// file, and reading what the watchdog printed.
#pragma once

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

namespace procguard::test {

// Polls `condition` every few milliseconds until it holds or `limit` passes.
// A test waits for the state it needs this way, never for a fixed time.
inline bool waitUntil(const std::function<bool()>& condition,
                      std::chrono::milliseconds limit = std::chrono::seconds(10)) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        if (condition()) return true;
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

// A whole file's bytes; empty when it cannot be read. A /proc file of a
// process that ends while it is read fails in the middle (ESRCH), which the
// stream reports by throwing; that too reads as empty.
inline std::string readFile(const std::filesystem::path& path) {
    try {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    } catch (const std::exception&) {
        return {};
    }
}

inline bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

inline std::size_t occurrences(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size())) ++count;
    return count;
}

// Whether `parts` stand in `text` in this order, without overlapping.
inline bool inOrder(const std::string& text, const std::vector<std::string>& parts) {
    std::size_t at = 0;
    for (const std::string& part : parts) {
        at = text.find(part, at);
        if (at == std::string::npos) return false;
        at += part.size();
    }
    return true;
}

// The output of a run from "Ready to go." on: the part that does not depend
// on how the settings were made.
inline std::string fromReadyToGo(const std::string& output) {
    const std::size_t at = output.find("Ready to go.");
    return at == std::string::npos ? std::string() : output.substr(at);
}

} // namespace procguard::test
