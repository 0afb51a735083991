#include "target/target_program.h"

#include "platform/program_search.h"

namespace procguard {

const std::wstring& targetProgram(const std::wstring& targetPath, TargetProgram& program) {
    if (program.settled) return program.path;
    program.path = targetPath;
    if (!isBareProgramName(targetPath)) {
        program.settled = true;
    } else if (std::wstring found; searchProgram(targetPath, found)) {
        program.path = std::move(found);
        program.settled = true;
    }
    return program.path;
}

} // namespace procguard
