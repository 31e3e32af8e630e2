// Loading the engine module once, off the thread that draws the window.
#include <future>
#include <mutex>

#include "ImageEngine.h"
#include "ProgramModule.h"

namespace korvale {
namespace {

struct Loaded {
    const ImageEngine* engine = nullptr;
    std::string error;
};

std::mutex gMutex;
std::shared_future<Loaded> gLoading;

Loaded Load() {
    Loaded loaded;
    using Entry = const ImageEngine* (*)();
    const auto entry = reinterpret_cast<Entry>(
        LoadProgramModule(KORVALE_IMAGE_ENGINE_MODULE, KORVALE_IMAGE_ENGINE_ENTRY, loaded.error));
    if (entry != nullptr) {
        loaded.engine = entry();
    }
    return loaded;
}

std::shared_future<Loaded> Loading(bool start) {
    std::lock_guard<std::mutex> lock(gMutex);
    if (!gLoading.valid() && start) {
        gLoading = std::async(std::launch::async, Load).share();
    }
    return gLoading;
}

}  // namespace

void StartLoadingImageEngine() {
    Loading(true);
}

const ImageEngine* LoadedImageEngine(std::string* error) {
    const Loaded& loaded = Loading(true).get();
    if (error != nullptr) {
        *error = loaded.error;
    }
    return loaded.engine;
}

const ImageEngine* ImageEngineIfStarted() {
    const std::shared_future<Loaded> loading = Loading(false);
    return loading.valid() ? loading.get().engine : nullptr;
}

}  // namespace korvale
