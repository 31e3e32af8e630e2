// The batch seen as a whole before its first image: two listed files that would be written to
// one output, or an output that would replace a listed source still to be read. Outputs and
// sources are compared as the file system compares them: the same folder entry once links are
// resolved, letter case folded where the file system ignores it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "BatchRequest.h"
#include "FileList.h"
#include "OutputJob.h"
#include "Text.h"

namespace korvale {

struct BatchClash {
    enum class Kind {
        SameOutput,      // `job` and `other` write one output
        ReplacesSource,  // `job` writes over the source of the later `other`
    };
    Kind kind;
    size_t job;    // list index of the job whose output clashes
    size_t other;  // list index of the job it clashes with
};

// What the outputs of a batch do to each other and to the listed sources. `outputs[i]` is the
// output path of `list[i]`, empty when it has none.
struct OutputOverlaps {
    std::vector<BatchClash> clashes;  // in list order of `job`
    // Listed sources that an output replaces where that is allowed: its own job's, or an
    // earlier job's already read. Indices, ascending.
    std::vector<size_t> replacedSources;
};
OutputOverlaps FindOverlaps(const FileList& list, const std::vector<std::string>& outputs);

// The output path of every listed file as the run names it; empty where the name has no
// extension to replace.
std::vector<std::string> OutputPaths(const std::vector<OutputJob>& jobs);
std::vector<std::string> OutputPaths(const BatchRequest& request, const FileList& list);

// Entries told apart as FindOverlaps tells them, one path at a time, for a list read as a
// stream: each entry is a 64-bit hash, so that a long list costs a few bytes per path.
class ClashResolver;
class EntryIdentities {
public:
    EntryIdentities();
    ~EntryIdentities();
    EntryIdentities(const EntryIdentities&) = delete;
    EntryIdentities& operator=(const EntryIdentities&) = delete;

    // The entry an output path names, and whether something is there now.
    std::optional<uint64_t> OfOutput(const std::string& path, bool& exists);
    // The entry a listed source names.
    std::optional<uint64_t> OfSource(const std::string& path);

private:
    std::unique_ptr<ClashResolver> resolver_;
};

// The run's refusal: a title and, as detail, at most ten clashes and a count of the rest.
Message ClashDetail(const std::vector<BatchClash>& clashes, const FileList& list,
                    const std::vector<std::string>& outputs);

}  // namespace korvale
