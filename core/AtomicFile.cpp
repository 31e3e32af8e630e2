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
constexpr int kMaxLinkHops = 40;

FileCalls systemCalls;
std::atomic<FileCalls*> activeCalls{&systemCalls};

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

std::string FolderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
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

// Where the links at a path finally lead.
struct Resolved {
    std::string target;  // the path given when it is no link
    int hops = 0;        // links followed
    bool exists = false;
    struct stat info = {};
    int error = 0;  // a link to nothing, a loop, an unreadable link
    std::string errorPath;
};

// Follows links one by one, so that a file is replaced where it lies and the link stays.
Resolved FollowLinks(const std::string& path) {
    Resolved r;
    r.target = path;
    for (;; ++r.hops) {
        if (::lstat(r.target.c_str(), &r.info) != 0) {
            if (errno != ENOENT || r.hops != 0) {
                r.error = errno;
                r.errorPath = r.target;
            }
            return r;  // without an error: a new file
        }
        if (!S_ISLNK(r.info.st_mode)) {
            r.exists = true;
            return r;
        }
        if (r.hops == kMaxLinkHops) {
            r.error = ELOOP;
            r.errorPath = path;
            return r;
        }
        std::string link(static_cast<size_t>(r.info.st_size > 0 ? r.info.st_size : PATH_MAX), '\0');
        const ssize_t length = ::readlink(r.target.c_str(), link.data(), link.size());
        if (length <= 0) {
            r.error = length < 0 ? errno : ENOENT;
            r.errorPath = r.target;
            return r;
        }
        link.resize(static_cast<size_t>(length));
        r.target = link.front() == '/' ? link : FolderOf(r.target) + link;
    }
}

}  // namespace

std::string SystemReason(int code) {
    switch (code) {
        case ENOSPC:
            return "ディスクの空き容量が不足しています。";
        case EDQUOT:
            return "ディスクの使用量が上限に達しています。";
        case EFBIG:
            return "ファイルが大きすぎます。";
        case EACCES:
        case EPERM:
            return "アクセスが拒否されました。";
        case EROFS:
            return "読み取り専用のファイルシステムです。";
        case ENOENT:
            return "ファイルまたはフォルダが見つかりません。";
        case ENOTDIR:
            return "パスの途中にフォルダではないものがあります。";
        case EEXIST:
            return "同じ名前のファイルまたはフォルダがあります。";
        case EISDIR:
            return "同じ名前のフォルダがあります。";
        case ELOOP:
            return "シンボリックリンクが循環しているか、多すぎます。";
        case ENAMETOOLONG:
            return "パスが長すぎます。";
        case EIO:
            return "入出力エラーが発生しました。";
        case EBUSY:
        case ETXTBSY:
            return "ファイルが使用中です。";
        case ENXIO:
        case ENODEV:
        case EWOULDBLOCK:
            return "通常のファイルではありません。";
        case ENOMEM:
            return "メモリが不足しています。";
        default:
            return FormatText("システムエラー %d (%s)", code, std::strerror(code));
    }
}

std::string FailureDetail(const FileError& error) {
    const std::string reason = !error.reason.empty() ? error.reason
                               : error.code != 0     ? SystemReason(error.code)
                                                     : std::string();
    if (error.path.empty() || reason.empty()) {
        return error.path + reason;
    }
    return error.path + "\n" + reason;
}

ssize_t FileCalls::Write(int fd, const void* data, size_t size) {
    return ::write(fd, data, size);
}

int FileCalls::Sync(int fd, const std::string&) {
    return ::fsync(fd);
}

int FileCalls::Close(int fd) {
    return ::close(fd);
}

int FileCalls::Rename(const std::string& from, const std::string& to) {
    return ::rename(from.c_str(), to.c_str());
}

void SetFileCalls(FileCalls* calls) {
    activeCalls.store(calls != nullptr ? calls : &systemCalls);
}

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
    replaces_ = false;
    const Resolved resolved = FollowLinks(path);
    target_ = resolved.target;
    if (resolved.error != 0) {
        return Fail(resolved.error, resolved.errorPath);
    }
    replaces_ = resolved.exists;
    const struct stat& info = resolved.info;
    if (replaces_) {
        // A read-only file stays, also for a user who could replace it.
        if (keepReadOnly && !S_ISDIR(info.st_mode) &&
            (info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) {
            return Fail(EACCES, target_);
        }
        mode_ = S_ISREG(info.st_mode) ? (info.st_mode & 07777) : 0;
    }

    static std::atomic<unsigned> counter{0};
    const std::string folder = FolderOf(target_);
    const std::string_view name = FileNameOf(target_);
    const size_t dot = name.rfind('.');
    const std::string extension(dot == std::string_view::npos ? "" : name.substr(dot));
    const int flags = O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC;
    for (int attempt = 0; attempt < 100 && fd_ < 0; ++attempt) {
        temporary_ =
            folder + (temporaryName.empty() ? FormatText("%s%d-%u", kTemporaryPrefix,
                                                         static_cast<int>(::getpid()), counter++) +
                                                  extension
                                            : temporaryName);
        if (!temporaryName.empty()) {
            ::unlink(temporary_.c_str());  // a stale file of the fixed name, whatever it is
        }
        // Held before it exists, so that a signal handler running meanwhile still sees it.
        ReleaseInHand(inHandSlot_);
        inHandSlot_ = HoldInHand(temporary_);
        fd_ = ::open(temporary_.c_str(), flags, 0666);
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
        const ssize_t put = activeCalls.load()->Write(fd_, bytes, std::min(size, kWriteChunk));
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

bool AtomicFile::Commit() {
    if (fd_ < 0) {
        return false;
    }
    if (mode_ != 0) {
        ::fchmod(fd_, mode_);  // the new file keeps the permissions of the one it replaces
    }
    if (replaces_ && !Flushed(activeCalls.load()->Sync(fd_, temporary_))) {
        return Fail(errno, target_);
    }
    const int fd = fd_;
    fd_ = -1;
    // Some file systems report a failed write only when the file is closed.
    if (activeCalls.load()->Close(fd) != 0 && errno != EINTR) {
        return Fail(errno, target_);
    }
    failedAtRename_ = true;
    if (activeCalls.load()->Rename(temporary_, target_) != 0) {
        return Fail(errno, target_);
    }
    temporary_.clear();
    ReleaseInHand(inHandSlot_);
    if (replaces_) {
        const std::string folder = FolderOf(target_);
        const int dir =
            ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dir < 0) {
            return Fail(errno, target_);
        }
        const bool flushed = Flushed(activeCalls.load()->Sync(dir, folder));
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
        activeCalls.load()->Close(fd_);
        fd_ = -1;
    }
    if (!temporary_.empty()) {
        ::unlink(temporary_.c_str());
        temporary_.clear();
    }
    ReleaseInHand(inHandSlot_);
}

std::optional<std::string> LinkTargetFolder(const std::string& path) {
    const Resolved resolved = FollowLinks(path);
    if (resolved.hops == 0 || (resolved.error != 0 && resolved.error != ENOENT)) {
        return std::nullopt;
    }
    const std::string folder = FolderOf(resolved.target);
    return folder.empty() ? std::string(".") : folder;
}

int RemoveStaleTemporaries(const std::string& folder, const struct timespec& before) {
    DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
    if (dir == nullptr) {
        return 0;
    }
    const std::string prefix = folder.empty() || folder.back() == '/' ? folder : folder + '/';
    int removed = 0;
    while (const struct dirent* entry = ::readdir(dir)) {
        long pid = 0;
        if (!TemporaryOwner(entry->d_name, pid) || pid <= 0 || pid > INT_MAX) {
            continue;
        }
        if (::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH) {
            continue;  // its process still runs, or may
        }
        const std::string path = prefix + entry->d_name;
        struct stat info;
        if (::lstat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode) ||
            !Before(info.st_mtim, before)) {
            continue;
        }
        if (::unlink(path.c_str()) == 0) {
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
