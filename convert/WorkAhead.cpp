// Preparing the next images of a run ahead of their turn.
#include "WorkAhead.h"

#include <malloc.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <limits>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>

#include "EncoderLimits.h"
#include "ImageHeader.h"
#include "Plan.h"

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

// Bytes a pixel of the decoded source and of the output take.
struct PixelBytes {
    uint64_t source = 3;
    uint64_t output = 3;
};

// JPEG and BMP count three bytes a pixel either way; formats with alpha (PNG and TIFF) may be
// 16-bit, grey or with alpha, as their header says (the largest pixel when it says nothing
// usable).
PixelBytes BytesPerPixel(const BatchRequest& request, const FileEntry& entry) {
    const ImageFormat format = FormatOfName(entry.path);
    if (!EntryOf(format).alpha) {
        return {};
    }
    const PixelLayout decoded = ProbePixelLayout(entry.path).value_or(kLargestPixel);
    const std::optional<std::string> name = OutputFileName(entry.path, request.saveFormat);
    const std::optional<ImageFormat> output = name ? OutputFormatOfName(*name) : std::nullopt;
    // An output without a format is never encoded; the decoded pixel bounds it.
    const PixelLayout written = output ? OutputPixel(decoded, format, *output) : decoded;
    return {decoded.bytes(), written.bytes()};
}

// A thread's stack and the decoder's tables, besides the image buffers.
constexpr uint64_t kThreadOverhead = 16ull << 20;

// The value of a "Name:   1234 kB" line of a /proc file, in bytes.
std::optional<uint64_t> ProcKilobytes(const char* file, const std::string& name) {
    std::ifstream in(file);
    std::string key;
    uint64_t value;
    while (in >> key) {
        if (key == name + ":" && in >> value) {
            return value * 1024;
        }
        in.ignore(std::numeric_limits<std::streamsize>::max(), '\n');
    }
    return std::nullopt;
}

// Threads and bytes of all work ahead in the process, dropped work included, so that a run
// started while dropped work still runs does not add to it beyond the bounds. The work runs on
// a few threads that stay between jobs: a thread made for each job starts cold on a busy
// machine and is often placed beside the other job instead of on a free core. The threads end
// when all work is waited for, at the latest when the program exits, before the libraries'
// statics are torn down.
class Pool {
public:
    static Pool& Instance() {
        static Pool* pool = [] {
            Pool* created = new Pool;  // never destroyed: the exit handler still needs it
            std::atexit([] { Instance().JoinAll(); });
            return created;
        }();
        return *pool;
    }

    // Runs `work` on one of the threads; false when there is none and none can be made.
    bool Launch(std::function<void()> work) {
        std::lock_guard<std::mutex> lock(mutex_);
        queue_.push_back(std::move(work));
        if (workers_.size() < WorkAhead::kThreads) {
            try {
                workers_.emplace_back([this] { Serve(); });
            } catch (const std::system_error&) {
                if (workers_.empty()) {
                    queue_.pop_back();
                    return false;
                }
            }
        }
        wake_.notify_one();
        return true;
    }
    // Waits until all work has ended, then ends the threads.
    void JoinAll() {
        std::vector<std::thread> workers;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            idle_.wait(lock, [this] { return queue_.empty() && busy_ == 0; });
            quit_ = true;
            workers.swap(workers_);
        }
        wake_.notify_all();
        for (std::thread& worker : workers) {
            worker.join();
        }
        std::lock_guard<std::mutex> lock(mutex_);
        quit_ = false;
    }

    // Counts a new job unless the threads are taken or its bytes would pass `budget` beside
    // what is already counted.
    bool TryAdmit(uint64_t bytes, uint64_t inHand, uint64_t budget) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (jobs_ >= WorkAhead::kDepth || reserved_ + inHand + bytes > budget) {
            return false;
        }
        ++jobs_;
        reserved_ += bytes;
        return true;
    }
    void ReleaseBytes(uint64_t bytes) {
        std::lock_guard<std::mutex> lock(mutex_);
        reserved_ -= bytes;
    }
    void JobEnded() {
        std::lock_guard<std::mutex> lock(mutex_);
        --jobs_;
    }

private:
    void Serve() {
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            wake_.wait(lock, [this] { return quit_ || !queue_.empty(); });
            if (queue_.empty()) {
                return;
            }
            std::function<void()> work = std::move(queue_.front());
            queue_.pop_front();
            ++busy_;
            lock.unlock();
            work();
            work = nullptr;  // what it holds goes before the work counts as ended
            lock.lock();
            --busy_;
            idle_.notify_all();
        }
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable idle_;
    std::deque<std::function<void()>> queue_;
    std::vector<std::thread> workers_;
    size_t busy_ = 0;
    bool quit_ = false;
    size_t jobs_ = 0;
    uint64_t reserved_ = 0;
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
// beside `entry`'s output, as WriteOutput would before the rename; nullptr when that is left to the
// image's turn.
std::unique_ptr<AtomicFile> WriteAhead(std::mutex& mutex, const bool& dropped,
                                       std::string& temporary, const BatchRequest& request,
                                       const FileEntry& entry, const PreparedImage& prepared,
                                       OutputState& output) {
    try {
        const std::optional<std::string> name = OutputFileName(entry.path, request.saveFormat);
        if (!name) {
            return nullptr;
        }
        const std::string outputPath = request.outputFolder + *name;
        const uint32_t dpi = OutputDpi(request, entry);
        std::vector<unsigned char> scratch;
        const std::vector<unsigned char>* bytes = OutputBytes(
            request, prepared, outputPath, dpi, OutputMetadata(request.saveFormat, entry), scratch);
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
        if (!WriteEncoded(*file, outputPath, *bytes, dpi)) {
            return nullptr;
        }
        return file;
    } catch (const std::exception&) {
        return nullptr;  // the turn tries again and reports what fails then
    }
}

}  // namespace

uint64_t PreparationBytes(const BatchRequest& request, const FileEntry& entry) {
    const uint64_t source = uint64_t{entry.width} * entry.height;
    const uint64_t width =
        request.applyWidth ? static_cast<uint64_t>(request.targetWidth) : uint64_t{entry.width};
    const uint64_t height =
        request.applyHeight ? static_cast<uint64_t>(request.targetHeight) : uint64_t{entry.height};
    const PixelBytes bytes = BytesPerPixel(request, entry);
    // The decoded source and the output; a progressive JPEG's coefficients take about as much as
    // its pixels again, as does the copy that fits a PNG or TIFF source for its output. The
    // encoder's growing buffer may hold twice an uncompressed output.
    return 2 * bytes.source * source + 3 * bytes.output * width * height + kThreadOverhead;
}

uint64_t MemoryHeadroom() {
    uint64_t headroom = ProcKilobytes("/proc/meminfo", "MemAvailable")
                            .value_or(std::numeric_limits<uint64_t>::max());
    struct rlimit limit;
    if (::getrlimit(RLIMIT_AS, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY) {
        const uint64_t used = ProcKilobytes("/proc/self/status", "VmSize").value_or(0);
        headroom = std::min<uint64_t>(headroom, limit.rlim_cur > used ? limit.rlim_cur - used : 0);
    }
    const struct mallinfo2 heap = ::mallinfo2();
    return headroom == std::numeric_limits<uint64_t>::max() ? headroom : headroom + heap.fordblks;
}

WorkAhead::WorkAhead(const FileList& list, const BatchRequest& request, uint64_t budget,
                     bool writeAhead)
    : list_(list),
      request_(std::make_shared<const BatchRequest>(request)),
      budget_(budget),
      writeAhead_(writeAhead) {}

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
    job->bytes = PreparationBytes(*request_, list_[index]);
    Pool& pool = Pool::Instance();
    if (!pool.TryAdmit(job->bytes, inHand_, budget_)) {
        return;  // prepared in its turn
    }
    // The work holds copies of the entry and the request: the run's own may be gone before it
    // ends.
    std::function<void()> work = [job, request = request_, entry = list_[index],
                                  write = writeAhead_]() mutable {
        FileIdentity identity = FileIdentity::Of(entry.path);
        PreparedImage prepared = PrepareOutput(*request, entry);
        std::unique_ptr<AtomicFile> file;
        OutputState output;
        if (write && prepared.result == ConvertResult::Ok) {
            file = WriteAhead(job->mutex, job->dropped, job->temporary, *request, entry, prepared,
                              output);
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
            job->output = output;
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
    inHand_ = PreparationBytes(*request_, list_[index]);
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
    const bool usable = job->identity.SameAs(FileIdentity::Of(list_[index].path)) &&
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
    const FileEntry& entry = list_[index];
    PreparedImage prepared;
    bool have = false;
    if (!jobs_.empty() && jobs_.front()->index == index) {
        const std::shared_ptr<Job> job = std::move(jobs_.front());
        jobs_.pop_front();
        std::unique_lock<std::mutex> lock(job->mutex);
        job->finished.wait(lock, [&] { return job->done; });
        if (job->identity.SameAs(FileIdentity::Of(entry.path)) && !job->prepared.lackedMemory &&
            !job->file) {
            prepared = std::move(job->prepared);
            have = true;
        }
        job->prepared = {};
        job->file.reset();
        lock.unlock();
        Pool::Instance().ReleaseBytes(job->bytes);
    }
    if (!have) {
        prepared = PrepareOutput(*request_, entry);
        if (prepared.lackedMemory) {
            // The work ahead may hold what this image needs: let it end, then try once more.
            Discard();
            WaitForWorkAhead();
            prepared = PrepareOutput(*request_, entry);
        }
    }
    inHand_ = PreparationBytes(*request_, entry);
    return prepared;
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
