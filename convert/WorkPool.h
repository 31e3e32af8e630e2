// The threads that all work ahead in the process runs on, and the count of its jobs and bytes.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <deque>
#include <functional>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace korvale {

// Images worked on ahead at most, and threads that work on them: one waits, so that a thread
// that is done goes on without waiting for the run.
constexpr size_t kWorkDepth = 3;
constexpr size_t kWorkThreads = 2;

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
        if (workers_.size() < kWorkThreads) {
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
        if (jobs_ >= kWorkDepth || reserved_ + inHand + bytes > budget) {
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

}  // namespace korvale
