// Test target: sleeps for the number of seconds given (default 60) so a test
// that dies never leaves it behind for long. With "ignore-term" as the second
// argument it ignores SIGTERM, like a target that will not stop politely.
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <thread>

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 60;
    if (argc > 2 && std::strcmp(argv[2], "ignore-term") == 0) std::signal(SIGTERM, SIG_IGN);
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    return 0;
}
