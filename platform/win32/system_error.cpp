#include "platform/win32/system_error.h"

#include <windows.h>

namespace procguard {

std::wstring systemErrorMessage(unsigned long code, const std::wstring& subject) {
    wchar_t* buffer = nullptr;
    const DWORD length =
        FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text;
    if (length != 0 && buffer != nullptr) text.assign(buffer, length);
    if (buffer != nullptr) LocalFree(buffer);
    for (std::size_t at = text.find(L"%1"); at != std::wstring::npos; at = text.find(L"%1", at + subject.size()))
        text.replace(at, 2, subject);
    while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' ')) text.pop_back();
    if (text.empty()) text = L"error " + std::to_wstring(code);
    if (subject == kDefaultErrorSubject && text.starts_with(subject)) text[0] = L'T';
    return text;
}

} // namespace procguard
