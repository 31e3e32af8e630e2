// Why file operations fail, in the user's words, and the calls that touch the disk where tests
// need to make them fail.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <cstddef>
#include <string>

#include "Message.h"

namespace korvale {

// Why a file operation failed: the system's error number and the path concerned.
struct FileError {
    int code = 0;
    std::string path;
    Message reason;  // when set, said instead of the system's reason for `code`
};

// The path and the system's reason, one per line, for a message's detail.
Message FailureDetail(const FileError& error);
// The reason alone: `reason` when set, else the system's reason for `code` (empty for 0).
Message FailureReason(const FileError& error);
// The system's reason for an error number.
Message ReasonOf(int code);

// The calls that look at names and move bytes to the device; tests replace them to fail a
// write or a look, or to watch the flushes.
class FileCalls {
public:
    virtual ~FileCalls() = default;
    // The entry `name` in the folder open at `folder`, links not followed.
    virtual int Stat(int folder, const std::string& name, struct stat* info);
    virtual ssize_t Write(int fd, const void* data, size_t size);
    // `path` names the file or folder that `fd` is open on.
    virtual int Sync(int fd, const std::string& path);
    virtual int Close(int fd);
    // Renames `from` to `to`, both in `folder`; without `replace`, fails with EEXIST rather
    // than replace an entry of the new name.
    virtual int Rename(int folder, const std::string& from, const std::string& to, bool replace);
};

// Installs `calls` for every file operation of the program; nullptr restores the system's.
void SetFileCalls(FileCalls* calls);
FileCalls& ActiveFileCalls();

}  // namespace korvale
