#include "dialogue/path_answer.h"

#include "platform/files.h"

namespace procguard {

std::wstring unquotedPath(const std::wstring& answer) {
    if (answer.size() < 2 || answer.front() != L'"' || answer.back() != L'"' || fileExists(answer)) return answer;
    return answer.substr(1, answer.size() - 2);
}

ReadStatus readPathLine(std::wstring& answer) {
    const ReadStatus status = readLine(answer);
    if (status == ReadStatus::Ok) answer = unquotedPath(answer);
    return status;
}

} // namespace procguard
