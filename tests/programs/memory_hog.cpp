// Test target: touches every page of the number of MiB given (default 64),
// reserves eight times as much that it never touches, and waits 60 s. Its
// resident memory is then at least the figure given and far below its size.
#include <chrono>
#include <cstdlib>
#include <thread>

// volatile: the writes must happen, though nothing reads them.
volatile char* gTouched = nullptr;
volatile char* gUntouched = nullptr;

int main(int argc, char** argv) {
    const std::size_t bytes = static_cast<std::size_t>(argc > 1 ? std::atoi(argv[1]) : 64) << 20;
    gTouched = static_cast<char*>(std::malloc(bytes));
    gUntouched = static_cast<char*>(std::malloc(bytes * 8));
    if (gTouched == nullptr || gUntouched == nullptr) return 2;
    for (std::size_t at = 0; at < bytes; at += 512) gTouched[at] = 1;
    std::this_thread::sleep_for(std::chrono::seconds(60));
    return 0;
}
