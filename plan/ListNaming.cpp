// Naming a list read as a stream.
#include "ListNaming.h"

#include <algorithm>

#include "Text.h"

namespace korvale {
namespace {

using Hashes = std::vector<uint64_t>;

uint64_t KeyOf(const std::string& path) {
    return Fnv1a64(NormalPath(path));
}

// A set of hashes growing in list order: open addressing, at most half full.
class HashSet {
public:
    explicit HashSet(size_t expected) {
        size_t slots = 16;
        while (slots < expected * 2) {
            slots *= 2;
        }
        slots_.assign(slots, 0);
    }
    bool Contains(uint64_t hash) const { return slots_[Find(Stored(hash))] != 0; }
    void Insert(uint64_t hash) {
        if ((size_ + 1) * 2 > slots_.size()) {
            Grow();
        }
        uint64_t& slot = slots_[Find(Stored(hash))];
        if (slot == 0) {
            slot = Stored(hash);
            ++size_;
        }
    }
    size_t bytes() const { return slots_.capacity() * sizeof(uint64_t); }

private:
    static uint64_t Stored(uint64_t hash) { return hash == 0 ? 1 : hash; }  // 0 marks a free slot
    size_t Find(uint64_t stored) const {
        const size_t mask = slots_.size() - 1;
        size_t at = static_cast<size_t>((stored * 0x9E3779B97F4A7C15ULL) >> 17) & mask;
        while (slots_[at] != 0 && slots_[at] != stored) {
            at = (at + 1) & mask;
        }
        return at;
    }
    void Grow() {
        std::vector<uint64_t> old(slots_.size() * 2, 0);
        old.swap(slots_);
        for (const uint64_t stored : old) {
            if (stored != 0) {
                slots_[Find(stored)] = stored;
            }
        }
    }
    std::vector<uint64_t> slots_;
    size_t size_ = 0;
};

bool Has(const Hashes& sorted, uint64_t hash) {
    return std::binary_search(sorted.begin(), sorted.end(), hash);
}

}  // namespace

void ListNaming::Note(size_t bytes) {
    peak_ = std::max(peak_, bytes);
}

size_t ListNaming::heldBytes() const {
    return repeated_.capacity() / 8 + numbers_.capacity() * sizeof(numbers_[0]) +
           clashes_.capacity() * sizeof(BatchClash);
}

ListNaming::ListNaming(const BatchRequest& request, const ListReader& read) : request_(request) {
    // First reading: the tree's base and every source, first position kept.
    std::vector<Reader> sources;
    CommonFolder common;
    read([&](size_t index, const std::string& path) {
        sources.push_back({KeyOf(path), static_cast<uint32_t>(index)});
        if (request_.keepTree) {
            common.Add(path);
        }
        count_ = std::max(count_, index + 1);
    });
    base_ = request_.keepTree ? common.Base(request_) : std::string();
    std::sort(sources.begin(), sources.end(), [](const Reader& a, const Reader& b) {
        return a.hash != b.hash ? a.hash < b.hash : a.index < b.index;
    });
    repeated_.assign(count_, false);
    size_t kept = 0;
    for (size_t i = 0; i < sources.size(); ++i) {
        if (i > 0 && sources[i].hash == sources[i - 1].hash) {
            repeated_[sources[i].index] = true;
        } else {
            sources[kept++] = sources[i];
        }
    }
    sources.resize(kept);
    Note(sources.capacity() * sizeof(Reader) + repeated_.capacity() / 8);
    // Read later than `index`: a job writing it would replace a source still to be read.
    const auto readLater = [&](uint64_t key, size_t index) {
        const auto found = std::lower_bound(
            sources.begin(), sources.end(), key,
            [](const Reader& reader, uint64_t hash) { return reader.hash < hash; });
        return found != sources.end() && found->hash == key && found->index > index;
    };
    const auto isListed = [&](uint64_t key) {
        const auto found = std::lower_bound(
            sources.begin(), sources.end(), key,
            [](const Reader& reader, uint64_t hash) { return reader.hash < hash; });
        return found != sources.end() && found->hash == key;
    };
    const auto eachJob = [&](const std::function<void(const OutputJob&)>& visit) {
        read([&](size_t index, const std::string& path) {
            if (!repeated_[index]) {
                visit(JobBelow(request_, base_, FileEntry{path}, index));
            }
        });
    };

    if (request_.onClash == ClashRule::Number) {
        // As OutputJobs numbers a held list: every job's own output, then in list order.
        Hashes written;
        eachJob([&](const OutputJob& job) {
            if (!job.outputPath.empty()) {
                written.push_back(KeyOf(job.outputPath));
            }
        });
        std::sort(written.begin(), written.end());
        HashSet taken(count_);
        eachJob([&](const OutputJob& job) {
            if (job.outputPath.empty()) {
                return;
            }
            const uint64_t key = KeyOf(job.outputPath);
            if (!taken.Contains(key) && !readLater(key, job.index)) {
                taken.Insert(key);
                return;
            }
            const std::string folder = FolderOf(job.outputPath);
            for (int n = 2;; ++n) {
                const uint64_t numbered = KeyOf(folder + NumberedName(job.outputName, n));
                const bool isSource = isListed(numbered);
                if (!taken.Contains(numbered) && !Has(written, numbered) && !isSource) {
                    taken.Insert(numbered);
                    numbers_.emplace_back(static_cast<uint32_t>(job.index), n);
                    break;
                }
            }
        });
        Note(sources.capacity() * sizeof(Reader) + repeated_.capacity() / 8 +
             written.capacity() * sizeof(uint64_t) + taken.bytes());
        return;
    }

    // The refusal, with entries told apart as the file system tells them.
    EntryIdentities identities;
    std::vector<Reader> writers;  // every output
    bool anyExists = false;
    eachJob([&](const OutputJob& job) {
        if (job.outputPath.empty()) {
            return;
        }
        bool exists = false;
        if (const auto key = identities.OfOutput(job.outputPath, exists)) {
            writers.push_back({*key, static_cast<uint32_t>(job.index)});
        }
        anyExists = anyExists || exists;
    });
    std::sort(writers.begin(), writers.end(), [](const Reader& a, const Reader& b) {
        return a.hash != b.hash ? a.hash < b.hash : a.index < b.index;
    });
    for (size_t i = 1; i < writers.size(); ++i) {
        if (writers[i].hash == writers[i - 1].hash) {
            // Every later writer of one output clashes with the first.
            size_t first = i - 1;
            while (first > 0 && writers[first - 1].hash == writers[i].hash) {
                --first;
            }
            clashes_.push_back(
                {BatchClash::Kind::SameOutput, writers[i].index, writers[first].index});
        }
    }
    // An output replaces a source read later only when that output exists now.
    std::vector<Reader> readers;
    if (!anyExists) {
        Note(sources.capacity() * sizeof(Reader) + repeated_.capacity() / 8 +
             writers.capacity() * sizeof(Reader));
        std::stable_sort(clashes_.begin(), clashes_.end(),
                         [](const BatchClash& a, const BatchClash& b) { return a.job < b.job; });
        return;
    }
    read([&](size_t index, const std::string& path) {
        if (!repeated_[index]) {
            if (const auto key = identities.OfSource(path)) {
                readers.push_back({*key, static_cast<uint32_t>(index)});
            }
        }
    });
    std::sort(readers.begin(), readers.end(), [](const Reader& a, const Reader& b) {
        return a.hash != b.hash ? a.hash < b.hash : a.index < b.index;
    });
    eachJob([&](const OutputJob& job) {
        if (job.outputPath.empty()) {
            return;
        }
        bool exists = false;
        const auto key = identities.OfOutput(job.outputPath, exists);
        if (!key || !exists) {
            return;
        }
        auto found = std::lower_bound(
            readers.begin(), readers.end(), *key,
            [](const Reader& reader, uint64_t hash) { return reader.hash < hash; });
        for (; found != readers.end() && found->hash == *key; ++found) {
            if (found->index > job.index) {
                clashes_.push_back({BatchClash::Kind::ReplacesSource, job.index, found->index});
            }
        }
    });
    std::stable_sort(clashes_.begin(), clashes_.end(),
                     [](const BatchClash& a, const BatchClash& b) { return a.job < b.job; });
    Note(sources.capacity() * sizeof(Reader) + repeated_.capacity() / 8 +
         (writers.capacity() + readers.capacity()) * sizeof(Reader));
}

OutputJob ListNaming::JobOf(const FileEntry& entry, size_t index) const {
    OutputJob job = JobBelow(request_, base_, entry, index);
    const auto found = std::lower_bound(
        numbers_.begin(), numbers_.end(), index,
        [](const std::pair<uint32_t, int>& number, size_t at) { return number.first < at; });
    if (found != numbers_.end() && found->first == index && !job.outputPath.empty()) {
        job.outputName = NumberedName(job.outputName, found->second);
        job.outputPath = FolderOf(job.outputPath) + job.outputName;
    }
    return job;
}

}  // namespace korvale
