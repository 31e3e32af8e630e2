// One worker that makes thumbnails for the row last hovered: a request replaces the one still
// waiting, so a mouse run over thousands of rows costs the row in hand and the last one only.
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "ThumbnailCache.h"

namespace korvale {

class ThumbnailQueue {
public:
    using Work = std::function<ThumbnailLookUp(const std::string& path)>;
    // Called on the worker thread with each finished request.
    using Done = std::function<void(const std::string& path, const ThumbnailLookUp& found)>;

    ThumbnailQueue(Work work, Done done);
    // Waits for the request in hand; the waiting one is dropped.
    ~ThumbnailQueue();
    ThumbnailQueue(const ThumbnailQueue&) = delete;
    ThumbnailQueue& operator=(const ThumbnailQueue&) = delete;

    // The worker starts with the first request, so an unused list costs no thread.
    void Request(const std::string& path);

private:
    void Loop();

    Work work_;
    Done done_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::optional<std::string> waiting_;
    bool stopping_ = false;
    std::thread worker_;
};

}  // namespace korvale
