// Test target: writes its arguments, each followed by a zero byte, to the
// file named by its first argument, then exits. The file appears complete
// or not at all (written beside it, then renamed).
#include <cstdio>
#include <fstream>
#include <string>

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    const std::string target = argv[1];
    const std::string partial = target + ".partial";
    {
        std::ofstream out(partial, std::ios::binary);
        for (int i = 0; i < argc; ++i) {
            out << argv[i];
            out.put('\0');
        }
        if (!out) return 3;
    }
    return std::rename(partial.c_str(), target.c_str()) == 0 ? 0 : 4;
}
