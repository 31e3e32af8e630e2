// Adding and removing files.
#include "RegisterFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <optional>

#include "AtomicFile.h"
#include "ImageHeader.h"
#include "Text.h"

namespace korvale {
namespace {

void Finish(FileListHost& host) {
    host.RefreshFileList();
    host.UpdateControlStates(true);
}

}  // namespace

std::optional<Message> UnreadableReason(const std::string& path) {
    struct stat entry {};
    if (::lstat(path.c_str(), &entry) != 0) {
        if (errno == ENOENT) {
            return std::nullopt;
        }
        return ReasonOf(errno);
    }
    struct stat target {};
    if (::stat(path.c_str(), &target) != 0) {
        if (S_ISLNK(entry.st_mode) && errno == ENOENT) {
            return Message(MessageId::LinkTargetMissing);
        }
        return ReasonOf(errno);
    }
    if (S_ISDIR(target.st_mode)) {
        return kFolderReason;
    }
    if (!S_ISREG(target.st_mode)) {
        return ReasonOf(ENXIO);
    }
    // O_NONBLOCK: the entry may have become a named pipe since the stat.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        return ReasonOf(errno);
    }
    ::close(fd);
    return Message(MessageId::NotReadableAsImage);
}

RegisterOutcome RegisterFiles(FileList& list, const std::vector<std::string>& batch,
                              UserInteraction& ui, FileListHost& host) {
    RegisterOutcome outcome;
    if (list.size() + batch.size() > FileList::kMaxEntries) {
        // Tested before any file is opened: the whole batch is refused.
        ui.ShowMessage(Message(MessageId::TooManyFiles,
                               {Number(static_cast<long long>(FileList::kMaxEntries))}));
        outcome.refused = true;
        return outcome;
    }
    WaitCursor wait(ui);
    std::vector<FileEntry> readable;
    readable.reserve(batch.size());
    Message detail;
    for (const std::string& path : batch) {
        if (const auto info = ProbeImageHeader(path)) {
            readable.push_back({path, info->width, info->height, info->dpi});
        } else {
            ++outcome.unreadable;
            if (const auto reason = UnreadableReason(path)) {
                detail += (detail.empty() ? "" : "\n") + EscapedName(path) + ": " + *reason;
            }
        }
    }
    if (outcome.unreadable > 0) {
        // One line per file: the window shows them below the count, the terminal one each.
        ui.ShowDetailedMessage(Message(MessageId::UnreadableFiles, {Number(outcome.unreadable)}),
                               detail);
    }
    if (readable.empty()) {
        return outcome;
    }
    const size_t before = list.size();
    outcome.duplicates = list.MergeBatch(std::move(readable));
    outcome.added = static_cast<int>(list.size() - before);
    if (outcome.duplicates > 0) {
        ui.ShowMessage(Message(MessageId::DuplicateFiles, {Number(outcome.duplicates)}));
    }
    Finish(host);
    return outcome;
}

void ProbeAgain(FileList& list, const std::vector<size_t>& rows, FileListHost& host) {
    if (rows.empty()) {
        return;
    }
    for (const size_t row : rows) {
        if (row >= list.size()) {
            continue;
        }
        if (const auto info = ProbeImageHeader(list[row].path)) {
            list.SetFacts(row, info->width, info->height, info->dpi);
        }
    }
    host.RefreshFileList();
}

void RemoveSelectedFiles(FileList& list, const std::vector<size_t>& selectedRows,
                         FileListHost& host) {
    // Row r still shows the entry at position r, so all selected positions go in one pass.
    std::vector<bool> selected(list.size(), false);
    for (size_t row : selectedRows) {
        if (row < selected.size()) {
            selected[row] = true;
        }
    }
    list.RemovePositions([&selected](size_t position) { return selected[position]; });
    Finish(host);
}

void RemoveAllFiles(FileList& list, FileListHost& host) {
    list.Clear();
    Finish(host);
}

void RemoveOddNumberedFiles(FileList& list, FileListHost& host) {
    // Numbers 1, 3, 5, ... are positions 0, 2, 4, ...
    list.RemovePositions([](size_t position) { return position % 2 == 0; });
    Finish(host);
}

void RemoveEvenNumberedFiles(FileList& list, FileListHost& host) {
    list.RemovePositions([](size_t position) { return position % 2 == 1; });
    Finish(host);
}

}  // namespace korvale
