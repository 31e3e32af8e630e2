// The ordered list of images: sorted by path ignoring ASCII case, without case-insensitive
// duplicates, at most 10000 entries. Its order is the display, numbering and batch order.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "FileEntry.h"

namespace korvale {

class FileList {
public:
    static constexpr size_t kMaxEntries = 10000;

    size_t size() const { return entries_.size(); }
    bool empty() const { return entries_.empty(); }
    const FileEntry& operator[](size_t index) const { return entries_[index]; }
    const std::vector<FileEntry>& entries() const { return entries_; }
    std::vector<FileEntry>::const_iterator begin() const { return entries_.begin(); }
    std::vector<FileEntry>::const_iterator end() const { return entries_.end(); }

    // Appends the batch, sorts the whole list stably by path ignoring ASCII case and removes
    // duplicates: the entry already listed survives, and among newcomers the first in batch
    // order. Returns the number of entries removed as duplicates.
    int MergeBatch(std::vector<FileEntry> batch);

    // Appends one entry at the end, neither sorted nor merged: a list that keeps the order it
    // was given in (korvale-cli --files-from), whose repeats were left out already.
    void Append(FileEntry entry) { entries_.push_back(std::move(entry)); }

    // The facts read from a file's header again; its path, and so the order, stay.
    void SetFacts(size_t index, uint32_t width, uint32_t height, uint32_t dpi);

    void RemoveAt(size_t index);
    // Removes, in one pass, every entry whose 0-based position the predicate selects; the others
    // keep their order, so the list stays sorted and free of duplicates.
    void RemovePositions(const std::function<bool(size_t position)>& remove);
    void Clear() {
        entries_.clear();
        addedFolders_.clear();
    }

    // Folders whose files were added as folders (dropped, picked or named), for a kept tree.
    void NoteFolderAdded(const std::string& folder);
    // The one folder added since the list was last cleared; empty when none or several were.
    std::string AddedFolder() const;

private:
    std::vector<FileEntry> entries_;
    std::vector<std::string> addedFolders_;
};

}  // namespace korvale
