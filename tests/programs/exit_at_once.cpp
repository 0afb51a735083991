// Test target: ends the moment it starts, whatever its arguments, like a
// target that crashes on start-up. A watchdog soaked against it restarts it
// on nearly every check.
int main() { return 0; }
