// A stand-in for a flaky job: it prints the arguments it was started with,
// works for a few seconds and then exits by itself, so the watchdog has
// something to restart.
#include <chrono>
#include <cstdio>
#include <random>
#include <thread>

int main(int argc, char** argv) {
    std::printf("demo-target started with %d argument(s):", argc - 1);
    for (int i = 1; i < argc; ++i) std::printf(" [%s]", argv[i]);
    std::printf("\n");
    std::fflush(stdout);
    std::random_device seed;
    std::mt19937 random(seed());
    std::uniform_int_distribution<int> seconds(2, 4);
    std::this_thread::sleep_for(std::chrono::seconds(seconds(random)));
    std::printf("demo-target finished its work and exits\n");
    return 0;
}
