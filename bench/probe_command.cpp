// bench_probe_command LOG: the health command of the probe benchmark. It
// appends one byte to LOG and exits with 0, so the size of LOG counts the
// checks that ran it; the watchdog and the floor each get a LOG of their own.
#include <fcntl.h>
#include <unistd.h>

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    const int fd = open(argv[1], O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return 1;
    const bool written = write(fd, "x", 1) == 1;
    close(fd);
    return written ? 0 : 1;
}
