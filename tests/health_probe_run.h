// The health probe runs both platforms share: the rules for a health URL,
// the answers of the test HTTP server (tests/programs/http_server.cpp, which
// each platform starts its own way), memory, exit codes, and a probe cut
// short by a stop.
#pragma once

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "base/utf8.h"
#include "platform/platform.h"
#include "test_support.h"

namespace procguard::test {

inline const std::wstring kStoppedReason = L"the check was cut short by a stop request";

// The port http_server wrote on the first line of its report file; empty
// until it listens.
inline std::string reportedPort(const std::filesystem::path& report) {
    const std::string text = readFile(report);
    const std::size_t end = text.find('\n');
    return end == std::string::npos ? std::string() : text.substr(0, end);
}

// Whether http_server has read a request for `path`.
inline bool serverReceived(const std::filesystem::path& report, const std::string& path) {
    return contains(readFile(report), "\n" + path + "\n");
}

inline std::wstring localUrl(const std::string& port, const std::string& path) {
    return decodeUtf8("http://127.0.0.1:" + port + path);
}

// http and https URLs with a host pass; anything else is refused, and the
// reason names the URL.
inline void checkUrlRules() {
    for (const wchar_t* url : {L"http://127.0.0.1:8080/", L"https://example.org/health?full=1", L"HTTP://localhost"})
        EXPECT_TRUE(checkHealthUrl(url).ok) << url;
    const std::pair<const wchar_t*, const wchar_t*> refused[] = {
        {L"ftp://example.org/", L"\"ftp://example.org/\" is not an http:// or https:// URL"},
        {L"127.0.0.1:8080", L"\"127.0.0.1:8080\" is not "},
        {L"http://", L"\"http://\" is not "},
        {L"", L"\"\" is not "}};
    for (const auto& [url, reason] : refused) {
        const Result result = checkHealthUrl(url);
        EXPECT_FALSE(result.ok) << url;
        EXPECT_EQ(result.error.rfind(reason, 0), 0u) << result.error;
    }
}

// Every answer the test server gives at once, in an order that reuses a
// kept connection after each kind of answer. A 302 is an answer of its own:
// followed, it would lead to the 503.
inline void checkUrlAnswers(const std::string& port) {
    const std::pair<const char*, const char*> cases[] = {// path, the reason behind the URL ("": healthy)
                                                         {"/ok", ""},
                                                         {"/fail", " answered 503"},
                                                         {"/moved", ""},
                                                         {"/nowhere", " answered 404"},
                                                         {"/ok", ""}};
    for (const auto& [path, reason] : cases) {
        const std::wstring url = localUrl(port, path);
        const Result result = probeHealthUrl(url, 30000);
        EXPECT_EQ(result.ok, *reason == '\0') << path << ": " << result.error;
        if (*reason != '\0') {
            EXPECT_EQ(result.error, url + decodeUtf8(reason));
        }
    }
}

// Port 1 (tcpmux): only root could serve it, and no system does.
inline void checkClosedPort(const std::wstring& reason) {
    const std::wstring url = localUrl("1", "/");
    const Result result = probeHealthUrl(url, 30000);
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.error, url + reason);
}

// `held` is a memory_hog started with 64: at least that much becomes
// resident, far less than the 512 MiB more it reserved; `end` ends it.
inline void checkResidentMemory(HeldProcess held, const std::function<void()>& end) {
    constexpr std::uint64_t kMiB = 1 << 20;
    std::uint64_t bytes = 0;
    EXPECT_TRUE(waitUntil([&] { return readResidentMemory(held, bytes) && bytes >= 64 * kMiB; }))
        << bytes / kMiB << " MiB";
    EXPECT_LT(bytes, 256 * kMiB);
    EXPECT_FALSE(readResidentMemory(HeldProcess{held.id, -1}, bytes)) << "known by its id only";
    end();
    EXPECT_FALSE(readResidentMemory(held, bytes)) << "ended";
    releaseProcess(held);
}

// `program` is exit_at_once, quoted.
inline void checkCommandExitCodes(const std::wstring& program) {
    EXPECT_TRUE(runHealthCommand(program, 30000).ok);
    EXPECT_EQ(runHealthCommand(program + L" --exit-code 1", 30000).error, L"the command exited with 1");
    const std::wstring missing = program.substr(0, program.size() - 1) + L"-missing\"";
    EXPECT_EQ(runHealthCommand(missing, 30000).error.rfind(L"the command could not be started: ", 0), 0u);
}

// A probe cut short: run inside a death test, it prepares the platform as
// the watchdog does, has `stopOnceWaiting` request a stop from a thread of
// its own (once the probe waits), runs `probe`, whose time limit is far
// longer than the test may take, and exits with 0 when the probe ended soon
// with the stop's reason and `afterwards` holds. It says how it went on the
// error output.
inline void runUntilStopped(const std::function<Result()>& probe, const std::function<void()>& stopOnceWaiting,
                            const std::function<bool()>& afterwards) {
    initializePlatform();
    std::thread(stopOnceWaiting).detach();
    const auto start = std::chrono::steady_clock::now();
    const Result result = probe();
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    const bool after = afterwards();
    std::fprintf(stderr, "the probe ended after %lld ms: %s; afterwards: %s\n", static_cast<long long>(took.count()),
                 encodeUtf8(result.ok ? L"healthy" : result.error).c_str(), after ? "as expected" : "NOT as expected");
    std::fflush(stderr);
    // _Exit: the thread may still run, and nothing of the test is cleaned up twice.
    std::_Exit(!result.ok && result.error == kStoppedReason && took < std::chrono::seconds(30) && after ? 0 : 1);
}

inline constexpr std::uint32_t kFarLimitMs = 120000;

} // namespace procguard::test
