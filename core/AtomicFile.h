// Replacing a file in one step: the new bytes go into a hidden file beside the file they
// replace, every write is checked, they reach the device before they take the name when an
// older file is replaced, and one rename gives them the name.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <ctime>
#include <optional>
#include <string>

namespace korvale {

// Why a file operation failed: the system's error number and the path concerned.
struct FileError {
    int code = 0;
    std::string path;
    std::string reason;  // when set, said instead of the system's reason for `code`
};

// The path and the system's reason in Japanese, one per line, for a message's detail.
std::string FailureDetail(const FileError& error);
// The system's reason for an error number, in Japanese.
std::string SystemReason(int code);

// The calls that move bytes to the device; tests replace them to fail a write or to watch
// the flushes.
class FileCalls {
public:
    virtual ~FileCalls() = default;
    virtual ssize_t Write(int fd, const void* data, size_t size);
    // `path` names the file or folder that `fd` is open on.
    virtual int Sync(int fd, const std::string& path);
    virtual int Close(int fd);
    virtual int Rename(const std::string& from, const std::string& to);
};

// Installs `calls` for every AtomicFile; nullptr restores the system's.
void SetFileCalls(FileCalls* calls);

class AtomicFile {
public:
    AtomicFile() = default;
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    // Prepares the replacement of `path`. A symbolic link is followed to the file it finally
    // names, which is replaced beside itself so that the link stays. Refused: a link to nothing,
    // a link loop, and with `keepReadOnly` a file without any write permission. (A folder of
    // that name fails at the rename.) The temporary file is `temporaryName` in the target's
    // folder, or, when empty, ".korvale-<pid>-<n><ext>" with the target's extension; an existing
    // file of the fixed name is replaced.
    bool Open(const std::string& path, const std::string& temporaryName = {},
              bool keepReadOnly = false);
    // Writes all of `data` or fails.
    bool Write(const void* data, size_t size);
    // Gives the written bytes the target's name. When an older file is replaced, the bytes and
    // then the folder are flushed to the device, so that a power cut leaves the old file or the
    // new one. On failure the temporary file is removed and any older file stays.
    bool Commit();
    // Removes the temporary file; the target is not touched.
    void Discard();

    const std::string& temporaryPath() const { return temporary_; }
    // The file that is replaced: the path given, or the final target of a link.
    const std::string& targetPath() const { return target_; }
    bool replacesFile() const { return replaces_; }
    // Whether the last failure came when the name was given (the bytes were all written).
    bool failedAtRename() const { return failedAtRename_; }
    const FileError& error() const { return error_; }

private:
    bool Fail(int code, const std::string& path);

    int fd_ = -1;
    std::string target_;
    std::string temporary_;
    bool replaces_ = false;
    bool failedAtRename_ = false;
    mode_t mode_ = 0;  // of the replaced file, given to the new one
    FileError error_;
    int inHandSlot_ = -1;  // where RemoveTemporaryInHand finds the temporary file
};

// Removes, in `folder`, the temporary files of this program (".korvale-<pid>-<n><ext>") whose
// process no longer runs and that were last changed before `before`. Nothing else is touched.
// Returns how many were removed.
int RemoveStaleTemporaries(const std::string& folder, const struct timespec& before);

// The folder of the file that the symbolic link at `path` finally names, where AtomicFile puts
// its temporary file: also when that file is missing. nullopt when `path` is no link, or its
// links loop or cannot be read.
std::optional<std::string> LinkTargetFolder(const std::string& path);

// Removes the temporary files being written, if any, on whichever thread: safe to call from a
// signal handler.
void RemoveTemporaryInHand();

}  // namespace korvale
