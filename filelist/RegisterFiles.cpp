// Adding and removing files.
#include "RegisterFiles.h"

#include "ImageHeader.h"
#include "Text.h"

namespace korvale {
namespace {

void Finish(FileListHost& host) {
    host.RefreshFileList();
    host.UpdateControlStates(true);
}

}  // namespace

RegisterOutcome RegisterFiles(FileList& list, const std::vector<std::string>& batch,
                              UserInteraction& ui, FileListHost& host) {
    RegisterOutcome outcome;
    if (list.size() + batch.size() > FileList::kMaxEntries) {
        // Tested before any file is opened: the whole batch is refused.
        ui.ShowMessage(
            FormatText("ファイル数は最大 %d です。", static_cast<int>(FileList::kMaxEntries)));
        outcome.refused = true;
        return outcome;
    }
    WaitCursor wait(ui);
    std::vector<FileEntry> readable;
    readable.reserve(batch.size());
    for (const std::string& path : batch) {
        if (const auto info = ProbeImageHeader(path)) {
            readable.push_back({path, info->width, info->height, info->dpi});
        } else {
            ++outcome.unreadable;
        }
    }
    if (outcome.unreadable > 0) {
        ui.ShowMessage(FormatText("読み取れないファイルが %d 個ありました。", outcome.unreadable));
    }
    if (readable.empty()) {
        return outcome;
    }
    const size_t before = list.size();
    outcome.duplicates = list.MergeBatch(std::move(readable));
    outcome.added = static_cast<int>(list.size() - before);
    if (outcome.duplicates > 0) {
        ui.ShowMessage(FormatText("重複するファイルが %d 個ありました。", outcome.duplicates));
    }
    Finish(host);
    return outcome;
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
