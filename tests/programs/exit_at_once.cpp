// Test target: ends the moment it starts, whatever its arguments, like a
// target that crashes on start-up. A watchdog soaked against it restarts it
// on nearly every check. With "--exit-code N" first it exits with N, as a
// failing health command does.
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv) {
    if (argc > 2 && std::strcmp(argv[1], "--exit-code") == 0) return std::atoi(argv[2]);
    return 0;
}
