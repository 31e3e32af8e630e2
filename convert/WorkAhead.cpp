// Preparing the next images of a run ahead of their turn.
#include "WorkAhead.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <condition_variable>
#include <mutex>
#include <string>

namespace korvale {
namespace {

// Which file a path named when it was looked at: a replaced or rewritten file differs.
struct FileIdentity {
    bool valid = false;
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    struct timespec modified = {};

    static FileIdentity Of(const std::string& path) {
        FileIdentity identity;
        struct stat info;
        if (::stat(path.c_str(), &info) == 0) {
            identity = {true, info.st_dev, info.st_ino, info.st_size, info.st_mtim};
        }
        return identity;
    }
    bool SameAs(const FileIdentity& o) const {
        return valid && o.valid && device == o.device && inode == o.inode && size == o.size &&
               modified.tv_sec == o.modified.tv_sec && modified.tv_nsec == o.modified.tv_nsec;
    }
};

// What an output path named when its temporary file was opened: nothing, or a regular file
// that may be replaced. Anything else (a link, a read-only file) is written in its turn.
struct OutputState {
    bool usable = false;
    bool exists = false;
    dev_t device = 0;
    ino_t inode = 0;
    mode_t mode = 0;
    off_t size = 0;
    int64_t modified = 0;  // nanoseconds
    int64_t changed = 0;

    static OutputState Of(const std::string& path) {
        OutputState state;
        struct stat info;
        if (::lstat(path.c_str(), &info) != 0) {
            state.usable = errno == ENOENT;
            return state;
        }
        const auto nanoseconds = [](const auto& time) {
            return int64_t{time.tv_sec} * 1000000000 + time.tv_nsec;
        };
        state = {S_ISREG(info.st_mode) && (info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) != 0,
                 true,
                 info.st_dev,
                 info.st_ino,
                 info.st_mode,
                 info.st_size,
                 nanoseconds(info.st_mtim),
                 nanoseconds(info.st_ctim)};
        return state;
    }
    bool SameAs(const OutputState& o) const {
        return usable && o.usable && exists == o.exists &&
               (!exists || (device == o.device && inode == o.inode && mode == o.mode &&
                            size == o.size && modified == o.modified && changed == o.changed));
    }
};

}  // namespace

struct WorkAhead::Job {
    size_t index = 0;
    uint64_t bytes = 0;
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
    bool dropped = false;
    FileIdentity identity;
    PreparedImage prepared;
    std::unique_ptr<AtomicFile> file;  // the output written ahead, waiting for its name
    OutputState output;                // the output's path when that file was opened
    std::string temporary;             // the temporary file while it is being written
};

namespace {

// Encodes the prepared image (unless it is encoded already) and writes it into a temporary file
// beside `job`'s output, as WriteOutput would before the rename; nullptr when that is left to the
// image's turn.
std::unique_ptr<AtomicFile> WriteAhead(std::mutex& mutex, const bool& dropped,
                                       std::string& temporary, const BatchRequest& request,
                                       const OutputJob& job, const PreparedImage& prepared,
                                       OutputState& output) {
    try {
        if (job.outputPath.empty()) {
            return nullptr;
        }
        const std::string& outputPath = job.outputPath;
        std::vector<unsigned char> scratch;
        const std::vector<unsigned char>* bytes =
            OutputBytes(request, job, prepared, OutputMetadata(job), scratch);
        if (bytes == nullptr) {
            return nullptr;
        }
        output = OutputState::Of(outputPath);
        if (!output.usable) {
            return nullptr;
        }
        auto file = std::make_unique<AtomicFile>();
        {
            // A dropped job makes no file; one dropped from now on has its file removed.
            std::lock_guard<std::mutex> lock(mutex);
            if (dropped || !file->Open(outputPath, {}, /*keepReadOnly=*/true)) {
                return nullptr;
            }
            temporary = file->temporaryPath();
        }
        if (!WriteEncoded(*file, job, *bytes)) {
            return nullptr;
        }
        return file;
    } catch (const std::exception&) {
        return nullptr;  // the turn tries again and reports what fails then
    }
}

}  // namespace

WorkAhead::WorkAhead(std::vector<OutputJob> outputs, const BatchRequest& request, uint64_t budget,
                     bool writeAhead)
    : outputs_(std::make_shared<const std::vector<OutputJob>>(std::move(outputs))),
      request_(std::make_shared<const BatchRequest>(request)),
      budget_(budget),
      writeAhead_(writeAhead) {}

WorkAhead::WorkAhead(const FileList& list, const BatchRequest& request, uint64_t budget,
                     bool writeAhead)
    : WorkAhead(OutputJobs(request, list), request, budget, writeAhead) {}

WorkAhead::~WorkAhead() {
    Discard();
}

void WorkAhead::Start(size_t index) {
    for (const auto& job : jobs_) {
        if (job->index == index) {
            return;
        }
    }
    if (jobs_.size() >= kDepth) {
        return;
    }
    auto job = std::make_shared<Job>();
    job->index = index;
    job->bytes = PreparationBytes((*outputs_)[index]);
    Pool& pool = Pool::Instance();
    if (!pool.TryAdmit(job->bytes, inHand_, budget_)) {
        return;  // prepared in its turn
    }
    // The work holds its own output job and the request: the run's may be gone before it ends.
    std::function<void()> work = [job, request = request_, output = (*outputs_)[index],
                                  write = writeAhead_]() mutable {
        FileIdentity identity = FileIdentity::Of(output.source.path);
        PreparedImage prepared = PrepareOutput(*request, output);
        std::unique_ptr<AtomicFile> file;
        OutputState state;
        if (write && prepared.result == ConvertResult::Ok) {
            file = WriteAhead(job->mutex, job->dropped, job->temporary, *request, output, prepared,
                              state);
            if (file) {
                // Its bytes wait in the file.
                prepared.image.release();
                prepared.encoded.reset();
            }
        }
        // Before the run sees this job done, so that it may start the next one at once.
        Pool::Instance().JobEnded();
        std::unique_lock<std::mutex> lock(job->mutex);
        const bool dropped = job->dropped;
        if (!dropped) {
            job->identity = identity;
            job->prepared = std::move(prepared);
            job->file = std::move(file);
            job->output = state;
            if (job->file) {
                // Only a file descriptor is held now.
                Pool::Instance().ReleaseBytes(job->bytes);
                job->bytes = 0;
            }
        }
        job->temporary.clear();
        job->done = true;
        lock.unlock();
        job->finished.notify_all();
        if (dropped) {
            file.reset();
            prepared = {};  // the image's memory goes before its bytes are uncounted
            Pool::Instance().ReleaseBytes(job->bytes);
        }
        job.reset();
        request.reset();
    };
    if (!pool.Launch(std::move(work))) {
        pool.ReleaseBytes(job->bytes);
        pool.JobEnded();
        return;
    }
    jobs_.push_back(std::move(job));
}

std::unique_ptr<AtomicFile> WorkAhead::TakeWritten(size_t index, bool& damaged) {
    inHand_ = 0;
    while (!jobs_.empty() && jobs_.front()->index < index) {
        Drop(*jobs_.front());  // a skipped image
        jobs_.pop_front();
    }
    // Unless a file was written ahead, the image is held in this turn.
    inHand_ = PreparationBytes((*outputs_)[index]);
    if (jobs_.empty() || jobs_.front()->index != index) {
        return nullptr;
    }
    const std::shared_ptr<Job> job = jobs_.front();
    std::unique_lock<std::mutex> lock(job->mutex);
    job->finished.wait(lock, [&] { return job->done; });
    if (!job->file) {
        return nullptr;  // the image prepared ahead, if any, is for Take
    }
    inHand_ = 0;
    jobs_.pop_front();
    std::unique_ptr<AtomicFile> file = std::move(job->file);
    const bool usable = job->identity.SameAs(FileIdentity::Of((*outputs_)[index].source.path)) &&
                        job->output.SameAs(OutputState::Of(file->targetPath()));
    damaged = job->prepared.damaged;
    job->prepared = {};
    lock.unlock();
    Pool::Instance().ReleaseBytes(job->bytes);
    if (!usable) {
        return nullptr;  // its temporary file goes; Take prepares the image again
    }
    return file;
}

PreparedImage WorkAhead::Take(size_t index) {
    inHand_ = 0;
    while (!jobs_.empty() && jobs_.front()->index < index) {
        Drop(*jobs_.front());  // a skipped image
        jobs_.pop_front();
    }
    const OutputJob& output = (*outputs_)[index];
    PreparedImage prepared;
    bool have = false;
    if (!jobs_.empty() && jobs_.front()->index == index) {
        const std::shared_ptr<Job> job = std::move(jobs_.front());
        jobs_.pop_front();
        std::unique_lock<std::mutex> lock(job->mutex);
        job->finished.wait(lock, [&] { return job->done; });
        if (job->identity.SameAs(FileIdentity::Of(output.source.path)) &&
            !job->prepared.lackedMemory && !job->file) {
            prepared = std::move(job->prepared);
            have = true;
        }
        job->prepared = {};
        job->file.reset();
        lock.unlock();
        Pool::Instance().ReleaseBytes(job->bytes);
    }
    if (!have) {
        prepared = PrepareOutput(*request_, output);
        if (prepared.lackedMemory) {
            // The work ahead may hold what this image needs: let it end, then try once more.
            Discard();
            WaitForWorkAhead();
            prepared = PrepareOutput(*request_, output);
        }
    }
    inHand_ = PreparationBytes(output);
    return prepared;
}

TurnOutcome WorkAhead::WriteInTurn(size_t index, const Turn& turn) {
    TurnOutcome outcome;
    bool mayReplace = turn.mayReplace;
    // Written ahead, the output only takes its name now, in its turn.
    std::unique_ptr<AtomicFile> written = TakeWritten(index, outcome.damaged);
    if (turn.startNext) {
        turn.startNext();
    }
    if (written) {
        bool committed = written->Commit(mayReplace);
        if (!committed && written->takenMeanwhile()) {
            if (!turn.replaceTaken()) {
                return outcome;  // left as it is
            }
            mayReplace = true;
            committed = written->Commit(true);
        }
        if (committed) {
            return outcome;
        }
        // Done again as one image at a time would do it, without the files ahead taking room
        // it may need.
        written.reset();
        Discard();
        WaitForWorkAhead();
    }
    const OutputJob& job = (*outputs_)[index];
    const PreparedImage prepared = Take(index);
    outcome.damaged = prepared.damaged;
    outcome.lackedMemory = prepared.lackedMemory;
    outcome.result = prepared.result;
    if (outcome.result != ConvertResult::Ok) {
        return outcome;
    }
    bool taken = false;
    const auto write = [&](bool replace) {
        return WriteOutput(*request_, job, prepared, &outcome.failure, OutputMetadata(job), replace,
                           &taken);
    };
    outcome.result = write(mayReplace);
    if (outcome.result != ConvertResult::Ok && Discard()) {
        // Once more with no work ahead holding disk space or memory.
        WaitForWorkAhead();
        outcome.failure = {};
        outcome.result = write(mayReplace);
    }
    if (taken && turn.replaceTaken()) {
        outcome.result = write(true);
    }
    return outcome;
}

void WorkAhead::Drop(Job& job) {
    PreparedImage result;
    std::unique_ptr<AtomicFile> file;
    {
        std::lock_guard<std::mutex> lock(job.mutex);
        if (!job.done) {
            job.dropped = true;  // the work uncounts its bytes when it ends
            if (!job.temporary.empty()) {
                // Gone now, although the work may still write into it until it ends.
                ::unlink(job.temporary.c_str());
            }
            return;
        }
        result = std::move(job.prepared);
        file = std::move(job.file);
    }
    file.reset();
    result = {};
    Pool::Instance().ReleaseBytes(job.bytes);
}

bool WorkAhead::Discard() {
    const bool any = !jobs_.empty();
    for (const auto& job : jobs_) {
        Drop(*job);
    }
    jobs_.clear();
    inHand_ = 0;
    return any;
}

void WaitForWorkAhead() {
    Pool::Instance().JoinAll();
}

}  // namespace korvale
