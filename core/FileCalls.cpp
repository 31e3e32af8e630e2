// Reasons for failed file operations, and the system's file calls.
#include "FileCalls.h"

#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

#include "Text.h"

namespace korvale {
namespace {

FileCalls systemCalls;
std::atomic<FileCalls*> activeCalls{&systemCalls};

}  // namespace

Message ReasonOf(int code) {
    switch (code) {
        case ENOSPC:
            return Message(MessageId::DiskFull);
        case EDQUOT:
            return Message(MessageId::QuotaExceeded);
        case EFBIG:
            return Message(MessageId::FileTooLarge);
        case EACCES:
        case EPERM:
            return Message(MessageId::AccessDenied);
        case EROFS:
            return Message(MessageId::ReadOnlyFileSystem);
        case ENOENT:
            return Message(MessageId::NotFound);
        case ENOTDIR:
            return Message(MessageId::NotAFolderOnPath);
        case EEXIST:
            return Message(MessageId::NameExists);
        case EISDIR:
            return Message(MessageId::FolderOfSameName);
        case ELOOP:
            return Message(MessageId::TooManyLinks);
        case ENAMETOOLONG:
            return Message(MessageId::PathTooLong);
        case EIO:
            return Message(MessageId::InputOutputError);
        case EBUSY:
        case ETXTBSY:
            return Message(MessageId::FileBusy);
        case ENXIO:
        case ENODEV:
        case EWOULDBLOCK:
            return Message(MessageId::NotARegularFile);
        case ENOMEM:
            return Message(MessageId::OutOfMemory);
        default:
            return Message(MessageId::SystemError,
                           {Number(code), std::string(std::strerror(code))});
    }
}

Message FailureReason(const FileError& error) {
    return !error.reason.empty() ? error.reason
           : error.code != 0     ? ReasonOf(error.code)
                                 : Message();
}

Message FailureDetail(const FileError& error) {
    const Message reason = FailureReason(error);
    if (error.path.empty() || reason.empty()) {
        return error.path + reason;
    }
    return error.path + "\n" + reason;
}

int FileCalls::Stat(int folder, const std::string& name, struct stat* info) {
    return ::fstatat(folder, name.c_str(), info, AT_SYMLINK_NOFOLLOW);
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

int FileCalls::Rename(int folder, const std::string& from, const std::string& to, bool replace) {
    if (replace) {
        return ::renameat(folder, from.c_str(), folder, to.c_str());
    }
    if (::renameat2(folder, from.c_str(), folder, to.c_str(), RENAME_NOREPLACE) == 0) {
        return 0;
    }
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) {
        return -1;
    }
    // A file system without the flag: a second link fails as well when the name is taken.
    if (::linkat(folder, from.c_str(), folder, to.c_str(), 0) == 0) {
        ::unlinkat(folder, from.c_str(), 0);
        return 0;
    }
    if (errno == EEXIST) {
        return -1;
    }
    // Nor links (FAT and the like): the last look is as close to the rename as it gets.
    struct stat info;
    if (::fstatat(folder, to.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0) {
        errno = EEXIST;
        return -1;
    }
    return ::renameat(folder, from.c_str(), folder, to.c_str());
}

void SetFileCalls(FileCalls* calls) {
    activeCalls.store(calls != nullptr ? calls : &systemCalls);
}

FileCalls& ActiveFileCalls() {
    return *activeCalls.load();
}

}  // namespace korvale
