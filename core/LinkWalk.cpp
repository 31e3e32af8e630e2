// Following links as the kernel does in shared folders, one step at a time.
#include "LinkWalk.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <string_view>

#include "Text.h"

namespace korvale {
namespace {

constexpr int kMaxLinkHops = 40;

// A sticky folder that others may write into: anyone there may plant a link by any name.
bool Shared(const struct stat& folder) {
    return (folder.st_mode & S_ISVTX) != 0 && (folder.st_mode & (S_IWGRP | S_IWOTH)) != 0;
}

struct Walk {
    int hops = 0;
    FileError error;
    std::string lastTarget;  // what the last link read names, as shown

    bool Fail(int code, const std::string& path, Message reason = {}) {
        error = {code, path, std::move(reason)};
        return false;
    }

    // Reads the link open at `link` (named `shown`, in the folder open at `folder`) into
    // `text`, when the rule lets this user follow it.
    bool Follow(int folder, int link, const struct stat& linkInfo, const std::string& shown,
                std::string& text) {
        if (++hops > kMaxLinkHops) {
            return Fail(ELOOP, shown);
        }
        char buffer[PATH_MAX];
        const ssize_t length = ::readlinkat(link, "", buffer, sizeof buffer);
        if (length <= 0 || static_cast<size_t>(length) >= sizeof buffer) {
            return Fail(length < 0 ? errno : length == 0 ? ENOENT : ENAMETOOLONG, shown);
        }
        text.assign(buffer, static_cast<size_t>(length));
        lastTarget = text.front() == '/' ? text : FolderOf(shown) + text;
        struct stat folderInfo;
        if (::fstat(folder, &folderInfo) != 0) {
            return Fail(errno, shown);
        }
        if (Shared(folderInfo) && linkInfo.st_uid != ::geteuid() &&
            linkInfo.st_uid != folderInfo.st_uid) {
            return Fail(EACCES, shown, Message(MessageId::OthersLinkInSharedFolder, {lastTarget}));
        }
        return true;
    }

    // Opens the folder that `path` names, a relative one from the folder open at `from`;
    // `base` is what `path` is shown after in messages.
    UniqueFd Folder(int from, std::string_view path, const std::string& base) {
        const bool absolute = !path.empty() && path.front() == '/';
        UniqueFd current(::openat(absolute ? AT_FDCWD : from, absolute ? "/" : ".",
                                  O_PATH | O_DIRECTORY | O_CLOEXEC));
        if (!current.valid()) {
            Fail(errno, base.empty() ? std::string(".") : base);
            return {};
        }
        size_t position = 0;
        while (position < path.size()) {
            size_t end = path.find('/', position);
            if (end == std::string_view::npos) {
                end = path.size();
            }
            const std::string step(path.substr(position, end - position));
            const std::string shown =
                (absolute ? std::string() : base) + std::string(path.substr(0, end));
            position = end + 1;
            if (step.empty() || step == ".") {
                continue;
            }
            UniqueFd next(::openat(current.get(), step.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
            struct stat info;
            if (!next.valid() || ::fstat(next.get(), &info) != 0) {
                Fail(errno, shown);
                return {};
            }
            if (S_ISLNK(info.st_mode)) {
                std::string text;
                if (!Follow(current.get(), next.get(), info, shown, text)) {
                    return {};
                }
                const std::string textBase = text.front() == '/' ? std::string() : FolderOf(shown);
                current = Folder(current.get(), text, textBase);
                if (!current.valid()) {
                    return {};
                }
                continue;
            }
            if (!S_ISDIR(info.st_mode)) {
                Fail(ENOTDIR, shown);
                return {};
            }
            current = std::move(next);
        }
        return current;
    }
};

}  // namespace

void UniqueFd::Reset(int fd) {
    if (fd_ >= 0) {
        ::close(fd_);
    }
    fd_ = fd;
}

Located Locate(const std::string& path) {
    Located r;
    Walk walk;
    r.shown = path;
    std::string folder = FolderOf(path);
    r.name = path.substr(folder.size());
    r.folder = walk.Folder(AT_FDCWD, folder, {});
    for (;;) {
        if (!r.folder.valid()) {
            r.error = walk.error;
            break;
        }
        if (r.name.empty()) {
            r.name = ".";  // a path that ends in "/" names its folder
        }
        if (ActiveFileCalls().Stat(r.folder.get(), r.name, &r.info) != 0) {
            if (errno != ENOENT || r.hops != 0) {
                r.error = {errno, r.shown, {}};
            }
            break;  // without an error: a new file
        }
        if (!S_ISLNK(r.info.st_mode)) {
            r.exists = true;
            break;
        }
        if (r.hops == 0) {
            r.link = path;
        }
        // The link itself is opened, so that what is read is what was looked at.
        UniqueFd link(::openat(r.folder.get(), r.name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
        if (!link.valid() || ::fstat(link.get(), &r.info) != 0) {
            r.error = {errno, r.shown, {}};
            break;
        }
        if (!S_ISLNK(r.info.st_mode)) {
            continue;  // replaced meanwhile: looked at again
        }
        std::string text;
        if (!walk.Follow(r.folder.get(), link.get(), r.info, r.shown, text)) {
            r.error = walk.error;
            break;
        }
        r.hops = walk.hops;
        folder = FolderOf(text);
        r.name = text.substr(folder.size());
        if (!folder.empty()) {
            const std::string base = text.front() == '/' ? std::string() : FolderOf(r.shown);
            r.folder = walk.Folder(r.folder.get(), folder, base);
        }
        r.shown = walk.lastTarget;
    }
    r.hops = walk.hops;
    r.target = walk.lastTarget;
    return r;
}

bool MakeSubfolders(const std::string& folder, const std::string& subfolder, FileError& error) {
    std::string path = folder;
    if (!path.empty() && path.back() != '/') {
        path += '/';
    }
    size_t start = 0;
    while (start < subfolder.size()) {
        size_t end = subfolder.find('/', start);
        if (end == std::string::npos) {
            end = subfolder.size();
        }
        path += subfolder.substr(start, end - start);
        start = end + 1;
        const Located located = Locate(path);
        if (located.error.code != 0) {
            error = located.error;
            return false;
        }
        if (!located.exists) {
            // Another thread or process may make it meanwhile: that one is used.
            if (::mkdirat(located.folder.get(), located.name.c_str(), 0777) != 0 &&
                errno != EEXIST) {
                error = {errno, located.shown, {}};
                return false;
            }
            struct stat info;
            if (::fstatat(located.folder.get(), located.name.c_str(), &info, AT_SYMLINK_NOFOLLOW) !=
                    0 ||
                !S_ISDIR(info.st_mode)) {
                error = {ENOTDIR, located.shown, {}};
                return false;
            }
        } else if (!S_ISDIR(located.info.st_mode)) {
            error = {ENOTDIR, located.shown, {}};
            return false;
        }
        path += '/';
    }
    return true;
}

ExistingEntry LookAtOutput(const std::string& path) {
    const Located located = Locate(path);
    ExistingEntry entry;
    entry.link = located.link;
    entry.target =
        located.error.code != 0 && !located.target.empty() ? located.target : located.shown;
    if (located.error.code == ENOENT) {
        return entry;  // a link to nothing is refused when written, not asked about
    }
    if (located.error.code != 0) {
        entry.kind = ExistingEntry::Kind::Unknown;
        entry.error = located.error;
    } else if (located.exists) {
        entry.kind =
            S_ISDIR(located.info.st_mode) ? ExistingEntry::Kind::Folder : ExistingEntry::Kind::File;
    }
    return entry;
}

Message ShownForReplacement(const std::string& path, const ExistingEntry& entry) {
    if (entry.link.empty()) {
        return path;
    }
    return path + "\n" + Message(MessageId::LinkTarget, {entry.target});
}

int OpenForUpdate(const std::string& path, FileError& error) {
    const Located located = Locate(path);
    if (located.error.code != 0 || !located.exists) {
        error = located.error.code != 0 ? located.error : FileError{ENOENT, path, {}};
        return -1;
    }
    int fd;
    do {
        fd = ::openat(located.folder.get(), located.name.c_str(),
                      O_RDWR | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        error = {errno, located.shown, {}};
    }
    return fd;
}

}  // namespace korvale
