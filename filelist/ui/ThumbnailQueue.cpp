// The thumbnail worker.
#include "ThumbnailQueue.h"

#include <utility>

namespace korvale {

ThumbnailQueue::ThumbnailQueue(Work work, Done done)
    : work_(std::move(work)), done_(std::move(done)) {}

ThumbnailQueue::~ThumbnailQueue() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
        waiting_.reset();
    }
    wake_.notify_all();
    if (worker_.joinable()) {
        worker_.join();
    }
}

void ThumbnailQueue::Request(const std::string& path) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        waiting_ = path;
        if (!worker_.joinable()) {
            worker_ = std::thread([this] { Loop(); });
        }
    }
    wake_.notify_one();
}

void ThumbnailQueue::Loop() {
    for (;;) {
        std::string path;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            wake_.wait(lock, [this] { return stopping_ || waiting_.has_value(); });
            if (stopping_) {
                return;
            }
            path = std::move(*waiting_);
            waiting_.reset();
        }
        const ThumbnailLookUp found = work_(path);
        if (done_) {
            done_(path, found);
        }
    }
}

}  // namespace korvale
