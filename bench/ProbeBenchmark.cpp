// Probing 10000 small files (half BMP, half JPEG as OpenCV writes them) against the floor of a
// bare open / read 64 bytes / close loop over the same files.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <string>
#include <vector>

#include "ImageHeader.h"

namespace {

constexpr int kFiles = 10000;

class Corpus {
public:
    Corpus() {
        const char* base = std::getenv("TMPDIR");
        std::string pattern = std::string(base && *base ? base : "/tmp") + "/korvale-bench-XXXXXX";
        if (::mkdtemp(pattern.data()) == nullptr) {
            std::abort();
        }
        folder_ = pattern;
        const cv::Mat image(48, 64, CV_8UC3, cv::Scalar(30, 120, 200));
        std::vector<uchar> bmp, jpeg;
        cv::imencode(".bmp", image, bmp);
        cv::imencode(".jpg", image, jpeg, {cv::IMWRITE_JPEG_QUALITY, 90});
        for (int i = 0; i < kFiles; ++i) {
            const bool isBmp = i % 2 == 0;
            const std::string path =
                folder_ + "/img" + std::to_string(i) + (isBmp ? ".bmp" : ".jpg");
            const auto& bytes = isBmp ? bmp : jpeg;
            const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (fd < 0 ||
                ::write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) {
                std::abort();
            }
            ::close(fd);
            paths_.push_back(path);
        }
    }
    ~Corpus() {
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }
    const std::vector<std::string>& paths() const { return paths_; }

private:
    std::string folder_;
    std::vector<std::string> paths_;
};

const Corpus& Files() {
    static const Corpus corpus;
    return corpus;
}

void BM_OpenRead64CloseFloor(benchmark::State& state) {
    const auto& paths = Files().paths();
    for (auto _ : state) {
        for (const std::string& path : paths) {
            char buffer[64];
            const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
            benchmark::DoNotOptimize(::read(fd, buffer, sizeof buffer));
            ::close(fd);
        }
    }
    state.SetItemsProcessed(state.iterations() * kFiles);
}
BENCHMARK(BM_OpenRead64CloseFloor)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_ProbeImageHeader(benchmark::State& state) {
    const auto& paths = Files().paths();
    for (auto _ : state) {
        for (const std::string& path : paths) {
            auto info = korvale::ProbeImageHeader(path);
            benchmark::DoNotOptimize(info);
        }
    }
    state.SetItemsProcessed(state.iterations() * kFiles);
}
BENCHMARK(BM_ProbeImageHeader)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

BENCHMARK_MAIN();
