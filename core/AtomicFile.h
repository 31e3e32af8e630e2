// Replacing a file in one step: the new bytes go into a hidden file beside the file they
// replace, every write is checked, they reach the device before they take the name when an
// older file is replaced, and one rename gives them the name. Links are followed only as the
// kernel follows them in shared folders (LinkWalk.h), and every step is taken from an opened
// folder.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <ctime>
#include <optional>
#include <string>

#include "FileCalls.h"
#include "LinkWalk.h"

namespace korvale {

class AtomicFile {
public:
    AtomicFile() = default;
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    // Prepares the replacement of `path`. A symbolic link is followed to the file it finally
    // names, which is replaced beside itself so that the link stays. Refused: a link that
    // another user planted in a shared folder, a link to nothing, a link loop, and with
    // `keepReadOnly` a file without any write permission. (A folder of that name fails at the
    // rename.) The temporary file is `temporaryName` in the target's folder, or, when empty,
    // ".korvale-<pid>-<n><ext>" with the target's extension; an existing file of the fixed name
    // is replaced. A new file gets 0666 less the umask; a replacement the replaced file's
    // permissions without set-user-ID, set-group-ID and sticky, and its owner where the user may
    // give it (the superuser).
    bool Open(const std::string& path, const std::string& temporaryName = {},
              bool keepReadOnly = false);
    // Writes all of `data` or fails.
    bool Write(const void* data, size_t size);
    // Gives the written bytes the target's name. When an older file is replaced, the bytes and
    // then the folder are flushed to the device, so that a power cut leaves the old file or the
    // new one. On failure the temporary file is removed and any older file stays. Without
    // `mayReplace`, the name is taken only while it is free: when a file took it meanwhile, this
    // fails with EEXIST, keeps the written bytes (takenMeanwhile()) and Commit(true) or Discard()
    // follows.
    bool Commit(bool mayReplace = true);
    // Removes the temporary file; the target is not touched.
    void Discard();

    const std::string& temporaryPath() const { return temporary_; }
    // The file that is replaced: the path given, or the final target of a link.
    const std::string& targetPath() const { return target_; }
    bool replacesFile() const { return replaces_; }
    // Whether the last failure came when the name was given (the bytes were all written).
    bool failedAtRename() const { return failedAtRename_; }
    // Whether the last Commit found the name taken by a file nobody agreed to replace.
    bool takenMeanwhile() const { return takenMeanwhile_; }
    const FileError& error() const { return error_; }

private:
    bool Fail(int code, const std::string& path);

    bool SyncTemporary();

    int fd_ = -1;
    UniqueFd folder_;   // where the target and the temporary file lie
    std::string name_;  // the target's name in that folder
    std::string temporaryName_;
    std::string target_;
    std::string temporary_;
    bool replaces_ = false;
    bool replacesFolder_ = false;
    bool failedAtRename_ = false;
    bool takenMeanwhile_ = false;
    FileError error_;
    int inHandSlot_ = -1;  // where RemoveTemporaryInHand finds the temporary file
};

// Removes, in `folder`, the temporary files of this program (".korvale-<pid>-<n><ext>") whose
// process no longer runs and that were last changed before `before`. Nothing else is touched.
// Returns how many were removed.
int RemoveStaleTemporaries(const std::string& folder, const struct timespec& before);

// The folder of the file that the symbolic link at `path` finally names, where AtomicFile puts
// its temporary file: also when that file is missing. nullopt when `path` is no link, or its
// links loop, cannot be read or may not be followed.
std::optional<std::string> LinkTargetFolder(const std::string& path);

// Removes the temporary files being written, if any, on whichever thread: safe to call from a
// signal handler.
void RemoveTemporaryInHand();

}  // namespace korvale
