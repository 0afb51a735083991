// Turns a Windows error code into the text the user sees.
#pragma once

#include <string>

namespace procguard {

// The system's message for `code` (FormatMessageW), without the line end the
// system puts behind it; "error <code>" when the system has no text for it.
// Some messages name the object they are about ("%1 is not a valid Win32
// application"); `subject` takes that place. The default reads well behind
// the path it is about ("C:\x.exe: The file is not a valid Win32
// application."), with a capital where it opens the message.
inline constexpr wchar_t kDefaultErrorSubject[] = L"the file";
std::wstring systemErrorMessage(unsigned long code, const std::wstring& subject = kDefaultErrorSubject);

} // namespace procguard
