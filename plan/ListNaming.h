// Output names and the batch-wide check for a list read as a stream, too long to hold: what
// OutputJobs and FindOverlaps decide for a held list, decided over the whole list while keeping
// a few bytes per path (64-bit hashes of the entries, not the paths themselves).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "BatchClashes.h"
#include "BatchRequest.h"
#include "FileEntry.h"
#include "OutputJob.h"

namespace korvale {

class ListNaming {
public:
    // Gives every listed path with its position, in list order, each time it is called.
    using PathVisitor = std::function<void(size_t index, const std::string& path)>;
    using ListReader = std::function<void(const PathVisitor&)>;

    // Reads the list through `read` three times. Paths that name one file as an earlier path
    // does (compared made absolute, "." and ".." resolved) are repeats, done once.
    ListNaming(const BatchRequest& request, const ListReader& read);

    size_t size() const { return count_; }
    bool Repeated(size_t index) const { return repeated_[index]; }

    // The job of the listed `entry` at `index`, named as a held list of the whole would name it.
    OutputJob JobOf(const FileEntry& entry, size_t index) const;

    // With ClashRule::Refuse: the clashes that refuse the run, in list order of `job`; indices
    // are positions in the whole list.
    const std::vector<BatchClash>& clashes() const { return clashes_; }

    // The bytes held for the whole list once it has been read, and at most while it was read.
    size_t heldBytes() const;
    size_t peakBytes() const { return peak_; }

private:
    struct Reader {
        uint64_t hash;
        uint32_t index;  // the first position that lists it
    };
    void Note(size_t bytes);

    BatchRequest request_;
    std::string base_;
    size_t count_ = 0;
    std::vector<bool> repeated_;
    std::vector<std::pair<uint32_t, int>> numbers_;  // position, " (n)": ascending positions
    std::vector<BatchClash> clashes_;
    size_t peak_ = 0;
};

}  // namespace korvale
