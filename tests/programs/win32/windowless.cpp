// A console target without a window of its own: it only waits, then ends by
// itself after a minute.
#include <windows.h>

int main() {
    Sleep(60000);
    return 0;
}
