#include "posix/process_support.h"

#include <fcntl.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/capability.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "base/utf8.h"
#include "health_probe_run.h"
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

pid_t spawnDirectly(const std::string& path, const std::vector<std::string>& arguments, int pipeTo, int* readEnd) {
    int fds[2] = {-1, -1};
    if (pipeTo >= 0 && pipe2(fds, O_CLOEXEC) != 0) return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (pipeTo >= 0) {
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_adddup2(&actions, fds[1], pipeTo);
    }
    std::vector<std::string> words{path};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int error = posix_spawn(&pid, path.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (pipeTo >= 0) {
        close(fds[1]);
        if (error == 0 && readEnd != nullptr) {
            *readEnd = fds[0];
        } else {
            close(fds[0]);
        }
    }
    return error == 0 ? pid : -1;
}

int endChild(pid_t pid, int signal, std::chrono::milliseconds grace) {
    int status = 0;
    if (pid <= 0) return status;
    if (signal != 0) kill(pid, signal);
    if (!waitUntil([&] { return waitpid(pid, &status, WNOHANG) != 0; }, grace)) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
    }
    return status;
}

ProcessStat readProcessStat(pid_t pid) {
    const std::string text = readFile("/proc/" + std::to_string(pid) + "/stat");
    const std::size_t close = text.rfind(')');
    if (close == std::string::npos || close + 4 >= text.size()) return {};
    char* rest = nullptr;
    const auto parent = static_cast<pid_t>(std::strtol(text.c_str() + close + 4, &rest, 10));
    return {text[close + 2], parent, static_cast<pid_t>(std::strtol(rest, nullptr, 10))};
}

namespace {

// The ids of every process, as /proc lists them.
std::vector<pid_t> allProcesses() {
    std::vector<pid_t> pids;
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        const std::string name = entry.path().filename();
        if (name.find_first_not_of("0123456789") == std::string::npos) pids.push_back(std::stoi(name));
    }
    return pids;
}

} // namespace

std::vector<pid_t> runningInstancesOf(const std::string& path) {
    std::vector<pid_t> pids;
    for (pid_t pid : allProcesses()) {
        std::error_code error;
        const auto exe = std::filesystem::read_symlink("/proc/" + std::to_string(pid) + "/exe", error);
        const char state = processState(pid);
        if (!error && exe == path && state != 0 && state != 'Z') pids.push_back(pid);
    }
    return pids;
}

int zombieChildrenOf(pid_t parent) {
    int count = 0;
    for (pid_t pid : allProcesses()) {
        const ProcessStat stat = readProcessStat(pid);
        if (stat.parent == parent && stat.state == 'Z') ++count;
    }
    return count;
}

std::vector<pid_t> membersOfGroup(pid_t group) {
    std::vector<pid_t> members;
    for (pid_t pid : allProcesses())
        if (readProcessStat(pid).group == group) members.push_back(pid);
    return members;
}

void killInstancesOf(const std::string& path) {
    for (pid_t pid : runningInstancesOf(path)) kill(pid, SIGKILL);
    // A killed process lingers until the kernel has torn it down, longer on
    // a busy machine; the next count must not see it.
    waitUntil([&] { return runningInstancesOf(path).empty(); });
}

HttpServer::HttpServer() : report(folder.path + "/report") {
    pid = spawnDirectly(testProgramPath("http_server"), {report});
    if (pid > 0) waitUntil([&] { return !(port = reportedPort(report)).empty(); });
}

HttpServer::~HttpServer() { endChild(pid); }

std::wstring HttpServer::url(const std::string& path) const { return localUrl(port, path); }

bool HttpServer::received(const std::string& path) const { return serverReceived(report, path); }

void writeBytes(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

std::wstring widen(const std::string& utf8) { return decodeUtf8(utf8); }

bool hasCapability(int capability, bool effective) {
    cap_t state = cap_get_proc();
    cap_flag_value_t value = CAP_CLEAR;
    const bool has =
        cap_get_flag(state, capability, effective ? CAP_EFFECTIVE : CAP_PERMITTED, &value) == 0 && value == CAP_SET;
    cap_free(state);
    return has;
}

bool debugCapabilitiesPermitted() { return hasCapability(CAP_SYS_PTRACE) && hasCapability(CAP_KILL); }

namespace {

// Sets the effective flag of each capability; false when the system refused.
bool setEffective(const std::vector<int>& capabilities, cap_flag_value_t value) {
    if (capabilities.empty()) return true;
    cap_t state = cap_get_proc();
    std::vector<cap_value_t> values(capabilities.begin(), capabilities.end());
    const bool ok = cap_set_flag(state, CAP_EFFECTIVE, static_cast<int>(values.size()), values.data(), value) == 0 &&
                    cap_set_proc(state) == 0;
    cap_free(state);
    return ok;
}

} // namespace

LoweredCapabilities::LoweredCapabilities(const std::vector<int>& capabilities) {
    for (int capability : capabilities)
        if (hasCapability(capability, true)) lowered_.push_back(capability);
    if (!setEffective(lowered_, CAP_CLEAR)) lowered_.clear();
}

LoweredCapabilities::~LoweredCapabilities() { setEffective(lowered_, CAP_SET); }

} // namespace procguard::test
