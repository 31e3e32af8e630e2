// Preparing the next images of a run ahead of their turn.
#include "WorkAhead.h"

#include <malloc.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <limits>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>

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
// started while dropped work still runs does not add to it beyond the bounds. Its threads are
// joined at the latest when the program exits, before the libraries' statics are torn down.
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

    // Runs `work` on a thread of its own; false when no thread can be made.
    bool Launch(std::function<void()> work) {
        JoinEnded();
        auto ended = std::make_shared<std::atomic<bool>>(false);
        try {
            std::thread thread([work = std::move(work), ended] {
                work();
                ended->store(true);
            });
            std::lock_guard<std::mutex> lock(mutex_);
            workers_.push_back({std::move(thread), std::move(ended)});
        } catch (const std::system_error&) {
            return false;
        }
        return true;
    }
    // Waits until every thread has ended.
    void JoinAll() {
        std::vector<Worker> workers;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            workers.swap(workers_);
        }
        for (Worker& worker : workers) {
            worker.thread.join();
        }
    }

    // Counts a new job unless the threads are taken or its bytes would pass `budget` beside
    // what is already counted.
    bool TryAdmit(uint64_t bytes, uint64_t inHand, uint64_t budget) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (threads_ >= WorkAhead::kDepth || reserved_ + inHand + bytes > budget) {
            return false;
        }
        ++threads_;
        reserved_ += bytes;
        return true;
    }
    void ReleaseBytes(uint64_t bytes) {
        std::lock_guard<std::mutex> lock(mutex_);
        reserved_ -= bytes;
    }
    void ThreadEnded() {
        std::lock_guard<std::mutex> lock(mutex_);
        --threads_;
    }

private:
    struct Worker {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> ended;
    };

    // Joins the threads whose work is done, so that they do not pile up over many runs.
    void JoinEnded() {
        std::vector<Worker> ended;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            const auto split = std::partition(workers_.begin(), workers_.end(),
                                              [](const Worker& w) { return !w.ended->load(); });
            std::move(split, workers_.end(), std::back_inserter(ended));
            workers_.erase(split, workers_.end());
        }
        for (Worker& worker : ended) {
            worker.thread.join();
        }
    }

    std::mutex mutex_;
    std::vector<Worker> workers_;
    size_t threads_ = 0;
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
};

uint64_t PreparationBytes(const BatchRequest& request, const FileEntry& entry) {
    const uint64_t source = uint64_t{entry.width} * entry.height;
    const uint64_t width =
        request.applyWidth ? static_cast<uint64_t>(request.targetWidth) : uint64_t{entry.width};
    const uint64_t height =
        request.applyHeight ? static_cast<uint64_t>(request.targetHeight) : uint64_t{entry.height};
    // Three bytes a pixel for the source and the output; a progressive JPEG's coefficients
    // take about as much as its pixels again.
    return 3 * source + 3 * width * height + 3 * source + kThreadOverhead;
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

WorkAhead::WorkAhead(const FileList& list, const BatchRequest& request, uint64_t budget)
    : list_(list), request_(std::make_shared<const BatchRequest>(request)), budget_(budget) {}

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
    std::function<void()> work = [job, request = request_, entry = list_[index]]() mutable {
        {
            FileIdentity identity = FileIdentity::Of(entry.path);
            PreparedImage prepared = PrepareOutput(*request, entry);
            std::unique_lock<std::mutex> lock(job->mutex);
            const bool dropped = job->dropped;
            if (!dropped) {
                job->identity = identity;
                job->prepared = std::move(prepared);
            }
            job->done = true;
            lock.unlock();
            job->finished.notify_all();
            if (dropped) {
                prepared = {};  // the image's memory goes before its bytes are uncounted
                Pool::Instance().ReleaseBytes(job->bytes);
            }
            job.reset();
            request.reset();
        }
        Pool::Instance().ThreadEnded();
    };
    if (!pool.Launch(std::move(work))) {
        pool.ReleaseBytes(job->bytes);
        pool.ThreadEnded();
        return;
    }
    jobs_.push_back(std::move(job));
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
        if (job->identity.SameAs(FileIdentity::Of(entry.path)) && !job->prepared.lackedMemory) {
            prepared = std::move(job->prepared);
            have = true;
        }
        job->prepared = {};
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
    {
        std::lock_guard<std::mutex> lock(job.mutex);
        if (!job.done) {
            job.dropped = true;  // the work uncounts its bytes when it ends
            return;
        }
        result = std::move(job.prepared);
    }
    result = {};
    Pool::Instance().ReleaseBytes(job.bytes);
}

void WorkAhead::Discard() {
    for (const auto& job : jobs_) {
        Drop(*job);
    }
    jobs_.clear();
    inHand_ = 0;
}

void WaitForWorkAhead() {
    Pool::Instance().JoinAll();
}

}  // namespace korvale
