// The file name of a memory dump.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

namespace procguard {

// "render_4242_20261209T143005Z.dmp" for the program D:\Jobs\render.exe (or
// /opt/render), process 4242, the UTC time given (cut to the second) and the
// extension ".dmp": the program's file name without its extension, so that a
// folder of dumps sorts by program and then by process. Both '/' and '\' end
// a folder in `program`; a program without a name is called "process".
std::wstring dumpFileName(std::wstring_view program, std::uint32_t processId,
                          std::chrono::system_clock::time_point time, std::wstring_view extension);

} // namespace procguard
