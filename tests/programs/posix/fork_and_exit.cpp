// Test target: forks and exits at once, as a program that puts itself in
// the background does. The child keeps the same image and sleeps for the
// number of seconds given (default 30), so a test that dies never leaves it
// behind for long.
#include <unistd.h>

#include <cstdlib>

int main(int argc, char** argv) {
    const unsigned seconds = argc > 1 ? static_cast<unsigned>(std::atoi(argv[1])) : 30;
    const pid_t child = fork();
    if (child < 0) return 1;
    if (child > 0) return 0;
    setsid();
    sleep(seconds);
    return 0;
}
