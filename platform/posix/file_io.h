// Whole files on Linux: opened safely, read at once, and replaced atomically.
// Functions return 0 or an errno value (kNotRegularFile included).
#pragma once

#include <sys/stat.h>

#include <string>
#include <string_view>

namespace procguard {

// Closes a descriptor on every way out of a function.
struct FileDescriptor {
    int fd = -1;
    explicit FileDescriptor(int fd) : fd(fd) {}
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor();
};

// Opens `path` for reading if it is a regular file and fills `info`. A FIFO
// neither blocks the open nor is accepted; a folder gives EISDIR.
int openRegularFile(const std::string& path, FileDescriptor& file, struct stat& info);

int readAll(int fd, std::string& bytes);

// Sets `target` to the file a write must replace: symbolic links are
// followed, also to a file that does not exist yet, so a link stays a link
// and the file it names gets the new content. ELOOP for a chain of links
// that does not end.
int writeTarget(const std::string& path, std::string& target);

// Writes `bytes` to a new file beside `path` and renames it over `path`, so a
// reader sees the old content or the new, never a half-written file, also
// after a crash. The new file takes the mode and, where allowed, the owner of
// `old`; without one it is made as any new file is (mode 0666 less the
// umask, or what the folder's default ACL gives).
int replaceFile(const std::string& path, std::string_view bytes, const struct stat* old);

} // namespace procguard
