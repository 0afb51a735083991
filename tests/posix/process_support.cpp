#include "posix/process_support.h"

#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include "base/utf8.h"
#include "target/process_lookup.h"

extern char** environ;

namespace procguard::test {

TempFolder::TempFolder() {
    char pattern[] = "/tmp/procguard-test-XXXXXX";
    if (mkdtemp(pattern) != nullptr) {
        path = pattern;
        chmod(pattern, 0755);
    }
}

TempFolder::~TempFolder() {
    std::error_code ignored;
    if (!path.empty()) std::filesystem::remove_all(path, ignored);
}

std::string testProgramPath(const std::string& name) {
    return std::filesystem::read_symlink("/proc/self/exe").parent_path() / name;
}

std::string copyTestProgram(const std::string& name, const std::string& folder, const std::string& newName) {
    const std::string copy = folder + "/" + (newName.empty() ? name : newName);
    std::filesystem::copy_file(testProgramPath(name), copy, std::filesystem::copy_options::overwrite_existing);
    chmod(copy.c_str(), 0755);
    return copy;
}

bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        if (condition()) return true;
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

ProcessId waitForProcessWithPath(const std::wstring& path, std::chrono::milliseconds limit) {
    ProcessId found = 0;
    waitUntil(
        [&] {
            std::vector<ProcessId> ids;
            if (!enumerateProcessIds(ids)) return false;
            for (ProcessId id : ids) {
                if (getProcessImagePath(id) == path) {
                    found = id;
                    return true;
                }
            }
            return false;
        },
        limit);
    return found;
}

pid_t spawnDirectly(const std::string& path, const std::vector<std::string>& arguments) {
    std::vector<std::string> words {path};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    return posix_spawn(&pid, path.c_str(), nullptr, nullptr, argv.data(), environ) == 0 ? pid : -1;
}

void endChild(pid_t pid) {
    if (pid <= 0) return;
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
}

char processState(pid_t pid) {
    const std::string text = readFile("/proc/" + std::to_string(pid) + "/stat");
    const std::size_t close = text.rfind(')');
    return close == std::string::npos || close + 2 >= text.size() ? 0 : text[close + 2];
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::wstring widen(const std::string& utf8) { return decodeUtf8(utf8); }

} // namespace procguard::test
