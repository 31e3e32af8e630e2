// The ordered file list.
#include "FileList.h"

#include <algorithm>
#include <iterator>

#include "Text.h"

namespace korvale {

int FileList::MergeBatch(std::vector<FileEntry> batch) {
    auto less = [](const FileEntry& a, const FileEntry& b) {
        return CompareIgnoreAsciiCase(a.path, b.path) < 0;
    };
    // The listed part is already sorted, so sorting the batch and merging it behind equal keys
    // gives exactly a stable sort of the whole list, in O(n + k log k).
    std::stable_sort(batch.begin(), batch.end(), less);
    const auto middle = static_cast<std::ptrdiff_t>(entries_.size());
    entries_.insert(entries_.end(), std::make_move_iterator(batch.begin()),
                    std::make_move_iterator(batch.end()));
    std::inplace_merge(entries_.begin(), entries_.begin() + middle, entries_.end(), less);

    const auto kept = std::unique(entries_.begin(), entries_.end(),
                                  [](const FileEntry& kept, const FileEntry& next) {
                                      return EqualsIgnoreAsciiCase(kept.path, next.path);
                                  });
    const auto duplicates = static_cast<int>(std::distance(kept, entries_.end()));
    entries_.erase(kept, entries_.end());
    return duplicates;
}

void FileList::SetFacts(size_t index, uint32_t width, uint32_t height, uint32_t dpi) {
    FileEntry& entry = entries_.at(index);
    entry.width = width;
    entry.height = height;
    entry.dpi = dpi;
}

void FileList::RemoveAt(size_t index) {
    entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(index));
    if (entries_.empty()) {
        addedFolders_.clear();
    }
}

void FileList::RemovePositions(const std::function<bool(size_t position)>& remove) {
    size_t kept = 0;
    for (size_t i = 0; i < entries_.size(); ++i) {
        if (!remove(i)) {
            if (kept != i) {
                entries_[kept] = std::move(entries_[i]);
            }
            ++kept;
        }
    }
    entries_.resize(kept);
    if (entries_.empty()) {
        addedFolders_.clear();
    }
}

void FileList::NoteFolderAdded(const std::string& folder) {
    std::string name = folder;
    while (name.size() > 1 && name.back() == '/') {
        name.pop_back();
    }
    if (std::find(addedFolders_.begin(), addedFolders_.end(), name) == addedFolders_.end()) {
        addedFolders_.push_back(std::move(name));
    }
}

std::string FileList::AddedFolder() const {
    return addedFolders_.size() == 1 ? addedFolders_.front() : std::string();
}

}  // namespace korvale
