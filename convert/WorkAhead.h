// Preparing the next images of a run on other threads while the current one is written, within
// the memory the machine has to spare.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

#include "MemoryBudget.h"
#include "OutputJob.h"
#include "OutputWriter.h"
#include "WorkPool.h"

namespace korvale {

// How an image's turn ends: written, or the failure that stops the run.
struct TurnOutcome {
    ConvertResult result = ConvertResult::Ok;
    FileError failure;          // which file a failed write concerns and why
    bool damaged = false;       // the source's data was damaged; the image was made anyway
    bool lackedMemory = false;  // a failure to prepare it was an allocation
};

// What the run brings to an image's turn.
struct Turn {
    bool mayReplace = false;          // the user agreed to replace what is at the output
    std::function<void()> startNext;  // once this image no longer waits for the work ahead
    // Asked when a file took the output's name while the output was made: whether it may be
    // replaced now. Declined, the turn ends without writing.
    std::function<bool()> replaceTaken;
};

// Works ahead of the run so that both cores stay busy: the next images are decoded and scaled
// or placed on two threads while the current one is written. Work is started only while the
// memory it needs is free. With `writeAhead`, the work also encodes the image and writes it,
// stamped, into a hidden temporary file beside its output, whose name it takes only in its
// turn; that is left to the turn when the output is a link or cannot be written. An image whose
// file changed meanwhile, whose output changed since its temporary file was opened, or whose
// preparation ahead ran out of memory or failed, is done again in its turn.
//
// Work for images that are not reached is dropped without waiting: it finishes out of sight
// on copies of what it needs, and its memory and threads count against every later run until
// it ends. Its temporary file is removed when it is dropped.
class WorkAhead {
public:
    // Images worked on ahead at most, and threads that work on them: one waits, so that a
    // thread that is done goes on without waiting for the run.
    static constexpr size_t kDepth = kWorkDepth;
    static constexpr size_t kThreads = kWorkThreads;

    // `budget`: the bytes that the image in hand and the work ahead may hold together.
    WorkAhead(std::vector<OutputJob> outputs, const BatchRequest& request, uint64_t budget,
              bool writeAhead = false);
    // For the jobs of `list`'s files as the request names them.
    WorkAhead(const FileList& list, const BatchRequest& request, uint64_t budget,
              bool writeAhead = false);
    ~WorkAhead();
    WorkAhead(const WorkAhead&) = delete;
    WorkAhead& operator=(const WorkAhead&) = delete;

    // Starts the preparation of entry `index` unless it is under way, or there is no thread or
    // memory to spare for it now.
    void Start(size_t index);

    // The output image of entry `index`: the one prepared ahead when it is for this entry and
    // its file is still the one it read, else one prepared now. Work for earlier entries that
    // were skipped is dropped. An image that lacks memory now is tried once more after all
    // work ahead has ended.
    PreparedImage Take(size_t index);

    // The output of entry `index` written ahead into its temporary file, to be committed in its
    // turn; `damaged` says whether its source was damaged. nullptr when it was not written
    // ahead or is of no use now: Take then gives the image to write.
    std::unique_ptr<AtomicFile> TakeWritten(size_t index, bool& damaged);

    // Image `index` in its turn: its output written ahead takes its name, else the image is
    // prepared (or taken from the work ahead) and written now. An image whose work ahead is of
    // no use, or whose write fails while work ahead holds memory or disk space, is done once
    // more after all work ahead has ended.
    TurnOutcome WriteInTurn(size_t index, const Turn& turn);

    // Drops all work ahead without waiting for it; whether there was any.
    bool Discard();

private:
    struct Job;
    static void Drop(Job& job);

    std::shared_ptr<const std::vector<OutputJob>> outputs_;
    std::shared_ptr<const BatchRequest> request_;  // shared with the work, which may outlive us
    uint64_t budget_;
    bool writeAhead_;
    uint64_t inHand_ = 0;  // bytes counted for the image last taken
    std::deque<std::shared_ptr<Job>> jobs_;
};

// Waits until all work ahead, including dropped work, has ended, and ends its threads. Done at
// the latest when the program exits, so that no preparation runs while the libraries are torn
// down.
void WaitForWorkAhead();

}  // namespace korvale
