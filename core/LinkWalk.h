// Following the links of a path as the kernel does in shared folders, whatever the machine's
// own setting: a link in a sticky folder that others may write is followed only when it belongs
// to the user or to the folder's owner. Every step is taken from an opened folder, so none can
// be swapped between the look and the use.
#pragma once

#include <sys/stat.h>

#include <string>

#include "FileCalls.h"

namespace korvale {

// An owned file descriptor.
class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    ~UniqueFd() { Reset(); }
    UniqueFd(UniqueFd&& other) noexcept : fd_(other.Release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        if (this != &other) {
            Reset(other.Release());
        }
        return *this;
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;

    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    int Release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }
    void Reset(int fd = -1);

private:
    int fd_ = -1;
};

// Where the links at a path finally lead.
struct Located {
    UniqueFd folder;    // the folder holding the final entry, opened for lookups only
    std::string name;   // the final entry's name in that folder
    std::string shown;  // the final entry's path, for messages
    bool exists = false;
    struct stat info = {};  // of the final entry, when it exists
    int hops = 0;           // links followed
    std::string link;       // the path itself, when it is a link
    std::string target;     // what the last link read names, followed or not
    FileError error;        // why the walk stopped short (code 0: it did not)
};

// Follows the links of `path` by the rule above, up to the entry that is no link, which may be
// missing. A link to nothing is an error (ENOENT at that link's target) unless `path` itself
// is missing.
Located Locate(const std::string& path);

// Makes the folders of `subfolder` ("a/b/") inside the existing `folder` where they are
// missing, each with mkdirat in the folder that its parent's links finally lead to, by the rule
// above. False with `error` set when a step is refused, is no folder or cannot be made.
bool MakeSubfolders(const std::string& folder, const std::string& subfolder, FileError& error);

// What a name in the output folder holds, for the question whether to replace it.
struct ExistingEntry {
    enum class Kind {
        Absent,   // nothing, or a link to nothing
        File,     // something other than a folder
        Folder,   // a folder (the write fails on it)
        Unknown,  // the look failed: counts as existing, and cannot be replaced
    };
    Kind kind = Kind::Absent;
    std::string link;    // the link at the name, when it is one
    std::string target;  // what that link names (or would, where it is not followed)
    FileError error;     // for Unknown
};
ExistingEntry LookAtOutput(const std::string& path);

// The path as the overwrite question shows it: with the link's target when it is a link.
Message ShownForReplacement(const std::string& path, const ExistingEntry& entry);

// Opens the file that `path` finally names for reading and writing, links followed by the rule
// above; -1 with `error` set otherwise.
int OpenForUpdate(const std::string& path, FileError& error);

}  // namespace korvale
