// Replacing a file in one step.
#include "AtomicFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>
#include <iterator>

#include "Text.h"

namespace korvale {
namespace {

constexpr char kTemporaryPrefix[] = ".korvale-";

// The temporary files being written, kept where a signal handler can reach them without
// allocating. Several threads may each write one, so each takes a slot of its own.
struct InHand {
    char path[PATH_MAX];
    std::atomic<int> state{0};  // 0 free, 1 taken, 2 path set
};
static_assert(std::atomic<int>::is_always_lock_free, "read from a signal handler");
InHand inHand[8];

// The slot now holding `path`, or -1 when none is free or the path is too long.
int HoldInHand(const std::string& path) {
    if (path.size() >= PATH_MAX) {
        return -1;
    }
    for (int slot = 0; slot < static_cast<int>(std::size(inHand)); ++slot) {
        int expected = 0;
        if (inHand[slot].state.compare_exchange_strong(expected, 1)) {
            std::memcpy(inHand[slot].path, path.c_str(), path.size() + 1);
            inHand[slot].state.store(2);
            return slot;
        }
    }
    return -1;
}

void ReleaseInHand(int& slot) {
    if (slot >= 0) {
        inHand[slot].state.store(0);
        slot = -1;
    }
}

// A device or file system that cannot flush this kind of file has nothing to flush.
bool Flushed(int result) {
    return result == 0 || errno == EINVAL || errno == ENOTSUP;
}

// A name of exactly the temporary pattern, and the process id in it.
bool TemporaryOwner(const char* name, long& pid) {
    const size_t prefix = sizeof kTemporaryPrefix - 1;
    if (std::strncmp(name, kTemporaryPrefix, prefix) != 0) {
        return false;
    }
    const char* p = name + prefix;
    const auto digits = [&p](long* value) {
        const char* start = p;
        long number = 0;
        while (*p >= '0' && *p <= '9') {
            if (number > (LONG_MAX - 9) / 10) {
                return false;
            }
            number = number * 10 + (*p++ - '0');
        }
        if (value != nullptr) {
            *value = number;
        }
        return p != start;
    };
    if (!digits(&pid) || *p++ != '-' || !digits(nullptr)) {
        return false;
    }
    // The extension, if any: from one dot to the end, without a second dot.
    return *p == '\0' || (*p == '.' && std::strchr(p + 1, '.') == nullptr);
}

bool Before(const struct timespec& a, const struct timespec& b) {
    return a.tv_sec < b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec < b.tv_nsec);
}

}  // namespace

AtomicFile::~AtomicFile() {
    Discard();
}

bool AtomicFile::Fail(int code, const std::string& path) {
    error_ = {code, path, {}};
    Discard();
    return false;
}

bool AtomicFile::Open(const std::string& path, const std::string& temporaryName,
                      bool keepReadOnly) {
    Discard();
    error_ = {};
    failedAtRename_ = false;
    takenMeanwhile_ = false;
    replaces_ = false;
    replacesFolder_ = false;
    Located located = Locate(path);
    target_ = located.shown;
    if (located.error.code != 0) {
        error_ = located.error;
        return false;
    }
    folder_ = std::move(located.folder);
    name_ = located.name;
    replaces_ = located.exists;
    const struct stat& info = located.info;
    replacesFolder_ = replaces_ && S_ISDIR(info.st_mode);
    // A read-only file stays, also for a user who could replace it.
    if (replaces_ && keepReadOnly && !replacesFolder_ &&
        (info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) {
        return Fail(EACCES, target_);
    }

    static std::atomic<unsigned> counter{0};
    const std::string folder = FolderOf(target_);
    const std::string_view name = FileNameOf(target_);
    const size_t dot = name.rfind('.');
    const std::string extension(dot == std::string_view::npos ? "" : name.substr(dot));
    const int flags = O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC;
    for (int attempt = 0; attempt < 100 && fd_ < 0; ++attempt) {
        temporaryName_ =
            temporaryName.empty()
                ? FormatText("%s%d-%u", kTemporaryPrefix, static_cast<int>(::getpid()), counter++) +
                      extension
                : temporaryName;
        temporary_ = folder + temporaryName_;
        if (!temporaryName.empty()) {
            // A stale file of the fixed name, whatever it is.
            ::unlinkat(folder_.get(), temporaryName_.c_str(), 0);
        }
        // Held before it exists, so that a signal handler running meanwhile still sees it.
        ReleaseInHand(inHandSlot_);
        inHandSlot_ = HoldInHand(temporary_);
        fd_ = ::openat(folder_.get(), temporaryName_.c_str(), flags, 0666);
        if (fd_ < 0 && (errno != EEXIST || !temporaryName.empty())) {
            const int code = errno;
            ReleaseInHand(inHandSlot_);
            // A fixed name in the way is named; otherwise the folder is what refused.
            const std::string concerned = code == EEXIST   ? temporary_
                                          : folder.empty() ? std::string(".")
                                                           : folder;
            temporary_.clear();
            return Fail(code, concerned);
        }
    }
    if (fd_ < 0) {
        ReleaseInHand(inHandSlot_);
        temporary_.clear();
        return Fail(EEXIST, folder);
    }
    if (replaces_ && S_ISREG(info.st_mode)) {
        // Before any byte is written, so that the new file is never more open than the old.
        if (::geteuid() == 0) {
            ::fchown(fd_, info.st_uid, info.st_gid);
        }
        ::fchmod(fd_, info.st_mode & 0777);
    }
    return true;
}

// One write of several megabytes makes the page cache take folios of 2 MiB, which cost about
// ten times as much per byte to fill as the smaller ones that writes of at most 1 MiB get
// (measured on Linux 6.18 with ext4, in a virtual machine).
constexpr size_t kWriteChunk = size_t{1} << 20;

bool AtomicFile::Write(const void* data, size_t size) {
    if (fd_ < 0) {
        return false;
    }
    const auto* bytes = static_cast<const unsigned char*>(data);
    while (size > 0) {
        const ssize_t put = ActiveFileCalls().Write(fd_, bytes, std::min(size, kWriteChunk));
        if (put < 0 && errno == EINTR) {
            continue;
        }
        if (put <= 0) {
            // A write that takes nothing without an error is a full device.
            return Fail(put < 0 ? errno : ENOSPC, target_);
        }
        bytes += put;
        size -= static_cast<size_t>(put);
    }
    return true;
}

bool AtomicFile::SyncTemporary() {
    const int fd =
        ::openat(folder_.get(), temporaryName_.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    const bool flushed = Flushed(ActiveFileCalls().Sync(fd, temporary_));
    const int code = errno;
    ::close(fd);
    errno = code;
    return flushed;
}

bool AtomicFile::Commit(bool mayReplace) {
    FileCalls& calls = ActiveFileCalls();
    if (fd_ >= 0) {
        if (replaces_ && !Flushed(calls.Sync(fd_, temporary_))) {
            return Fail(errno, target_);
        }
        const int fd = fd_;
        fd_ = -1;
        // Some file systems report a failed write only when the file is closed.
        if (calls.Close(fd) != 0 && errno != EINTR) {
            return Fail(errno, target_);
        }
    } else if (!takenMeanwhile_ || temporary_.empty()) {
        return false;
    } else if (mayReplace && !SyncTemporary()) {
        return Fail(errno, target_);  // a file took the name meanwhile, and is replaced now
    }
    const bool replacing = replaces_ || takenMeanwhile_;
    takenMeanwhile_ = false;
    failedAtRename_ = true;
    // Only a file is kept from being replaced; a folder of the name fails the rename anyway.
    if (calls.Rename(folder_.get(), temporaryName_, name_, mayReplace || replacesFolder_) != 0) {
        if (errno == EEXIST && !mayReplace) {
            takenMeanwhile_ = true;
            error_ = {EEXIST, target_, {}};
            return false;
        }
        return Fail(errno, target_);
    }
    temporary_.clear();
    ReleaseInHand(inHandSlot_);
    if (replacing) {
        const std::string folder = FolderOf(target_);
        const int dir = ::openat(folder_.get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dir < 0) {
            return Fail(errno, target_);
        }
        const bool flushed = Flushed(calls.Sync(dir, folder));
        const int code = errno;
        ::close(dir);
        if (!flushed) {
            return Fail(code, target_);
        }
    }
    return true;
}

void AtomicFile::Discard() {
    if (fd_ >= 0) {
        ActiveFileCalls().Close(fd_);
        fd_ = -1;
    }
    if (!temporary_.empty()) {
        ::unlinkat(folder_.get(), temporaryName_.c_str(), 0);
        temporary_.clear();
    }
    takenMeanwhile_ = false;
    ReleaseInHand(inHandSlot_);
}

std::optional<std::string> LinkTargetFolder(const std::string& path) {
    const Located located = Locate(path);
    if (located.link.empty() || (located.error.code != 0 && located.error.code != ENOENT)) {
        return std::nullopt;
    }
    const std::string folder = FolderOf(located.shown);
    return folder.empty() ? std::string(".") : folder;
}

int RemoveStaleTemporaries(const std::string& folder, const struct timespec& before) {
    const int fd =
        ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* dir = fd < 0 ? nullptr : ::fdopendir(fd);
    if (dir == nullptr) {
        if (fd >= 0) {
            ::close(fd);
        }
        return 0;
    }
    int removed = 0;
    while (const struct dirent* entry = ::readdir(dir)) {
        long pid = 0;
        if (!TemporaryOwner(entry->d_name, pid) || pid <= 0 || pid > INT_MAX) {
            continue;
        }
        if (::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH) {
            continue;  // its process still runs, or may
        }
        struct stat info;
        if (::fstatat(fd, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0 ||
            !S_ISREG(info.st_mode) || !Before(info.st_mtim, before)) {
            continue;
        }
        if (::unlinkat(fd, entry->d_name, 0) == 0) {
            ++removed;
        }
    }
    ::closedir(dir);
    return removed;
}

void RemoveTemporaryInHand() {
    for (const InHand& held : inHand) {
        if (held.state.load() == 2) {
            ::unlink(held.path);
        }
    }
}

}  // namespace korvale
