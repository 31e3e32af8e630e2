// The preview's refresh for a 4000x3000 JPEG: after an option change (decoded source kept),
// after a change of selection (decoded again, reduced), each for the engine alone and through
// the window (signal, plan of the list, worker thread, picture shown). Each repetition is one
// refresh; the median and the 95th percentile are reported.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QItemSelectionModel>
#include <QTableView>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "BenchSupport.h"
#include "KorvaleDlg.h"
#include "Plan.h"
#include "Preview.h"
#include "PreviewDlg.h"

namespace {

constexpr int kRepetitions = 60;
// The room of the preview window at its first size, and the decode it asks for.
const korvale::PixelSize kBox{540, 380};
const int kMinLongSide = korvale::PreviewDecodeSide(kBox);

double Percentile95(const std::vector<double>& values) {
    if (values.empty()) {
        return 0.0;
    }
    std::vector<double> sorted = values;
    std::sort(sorted.begin(), sorted.end());
    const size_t rank = static_cast<size_t>(std::ceil(0.95 * static_cast<double>(sorted.size())));
    return sorted[std::max<size_t>(rank, 1) - 1];
}

// A photograph-like 4000x3000 picture: smooth regions, shapes and sensor noise.
void WritePhoto(const std::string& path, int seed) {
    cv::RNG rng(static_cast<uint64_t>(seed));
    cv::Mat coarse(9, 12, CV_8UC3);
    rng.fill(coarse, cv::RNG::UNIFORM, 0, 256);
    cv::Mat image;
    cv::resize(coarse, image, cv::Size(4000, 3000), 0, 0, cv::INTER_CUBIC);
    for (int s = 0; s < 40; ++s) {
        const cv::Point centre(rng.uniform(0, 4000), rng.uniform(0, 3000));
        const cv::Scalar colour(rng.uniform(0, 256), rng.uniform(0, 256), rng.uniform(0, 256));
        cv::circle(image, centre, rng.uniform(50, 500), colour, cv::FILLED, cv::LINE_AA);
    }
    cv::Mat noise(image.size(), CV_8UC3);
    rng.fill(noise, cv::RNG::NORMAL, 0, 6);
    cv::add(image, noise, image, cv::noArray(), CV_8UC3);
    cv::imwrite(path, image, {cv::IMWRITE_JPEG_QUALITY, 92});
}

struct Photos {
    Photos() {
        char pattern[] = "/tmp/korvale-preview-bench-XXXXXX";
        folder = ::mkdtemp(pattern);
        for (int i = 0; i < 2; ++i) {
            paths.push_back(folder + "/photo" + std::to_string(i) + ".jpg");
            WritePhoto(paths.back(), 7 + i);
        }
    }
    ~Photos() {
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }
    std::string folder;
    std::vector<std::string> paths;
};

const Photos& Files() {
    static const Photos photos;
    return photos;
}

korvale::BatchRequest Request(int method, int anchor) {
    korvale::BatchRequest request;  // A4 at 300 DPI, Lanczos4
    request.method = method == 0 ? korvale::BatchMethod::Resize : korvale::BatchMethod::CropPaste;
    request.anchor = anchor;
    return request;
}

korvale::FilePlan PlanOf(const korvale::BatchRequest& request, const std::string& path) {
    const korvale::FileEntry entry{path, 4000, 3000, 72};
    return korvale::PlanFile(request, entry, korvale::ImageHeaderInfo{4000, 3000, 72});
}

void BM_EngineAfterOptionChange(benchmark::State& state) {
    const auto source = korvale::LoadPreviewSource(Files().paths[0], kMinLongSide);
    int anchor = 0;
    for (auto _ : state) {
        const korvale::BatchRequest request = Request(static_cast<int>(state.range(0)), anchor);
        anchor = (anchor + 1) % korvale::kAnchorCount;
        const korvale::PreviewPicture picture =
            korvale::MakePreview(*source, request, PlanOf(request, source->path), kBox);
        benchmark::DoNotOptimize(picture.shown.data);
    }
    state.SetLabel(state.range(0) == 0 ? "resize, Lanczos4" : "crop-and-paste");
}

void BM_EngineAfterSelectionChange(benchmark::State& state) {
    const korvale::BatchRequest request = Request(0, 4);
    for (auto _ : state) {
        const auto source = korvale::LoadPreviewSource(Files().paths[0], kMinLongSide);
        const korvale::PreviewPicture picture =
            korvale::MakePreview(*source, request, PlanOf(request, source->path), kBox);
        benchmark::DoNotOptimize(picture.shown.data);
    }
}

struct Window {
    Window() {
        char pattern[] = "/tmp/korvale-preview-window-XXXXXX";
        home = ::mkdtemp(pattern);
        korvale::KorvaleEnvironment environment;
        environment.ui = &ui;
        environment.settingsFile = home + "/korvale.conf";
        environment.presetLocation = korvale::PresetLocation{home + "/data", {}};
        environment.commandLine = Files().paths;
        window = std::make_unique<korvale::CKorvaleDlg>(std::move(environment));
        window->show();
        QCoreApplication::processEvents();
        window->ControlAs<QCheckBox>(1055)->setChecked(true);
        window->OpenPreview();
        Settle();
    }
    ~Window() {
        window.reset();
        std::error_code ignored;
        std::filesystem::remove_all(home, ignored);
    }
    // Spins the event loop until the refresh asked for last is on the screen.
    void Settle() {
        korvale::CPreviewDlg* preview = window->preview();
        const uint64_t before = shown;
        while (preview->shownCount() == before || preview->busy()) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        }
        shown = preview->shownCount();
    }
    std::string home;
    korvale::bench::QuietInteraction ui;
    std::unique_ptr<korvale::CKorvaleDlg> window;
    uint64_t shown = 0;
};

// The window's benchmarks need an application; made when the first of them runs.
struct OffscreenApplication {
    int platform = ::setenv("QT_QPA_PLATFORM", "offscreen", 0);  // before the application
    int argc = 1;
    char name[16] = "bench_preview";
    char* argv[2] = {name, nullptr};
    QApplication app{argc, argv};
};

Window& TheWindow() {
    static OffscreenApplication application;
    static Window window;
    return window;
}

void BM_WindowAfterOptionChange(benchmark::State& state) {
    Window& w = TheWindow();
    auto* anchors = w.window->ControlAs<QComboBox>(1026);
    for (auto _ : state) {
        anchors->setCurrentIndex((anchors->currentIndex() + 1) % korvale::kAnchorCount);
        w.Settle();
    }
}

void BM_WindowAfterSelectionChange(benchmark::State& state) {
    Window& w = TheWindow();
    auto* list = w.window->ControlAs<QTableView>(1012);
    for (auto _ : state) {
        // The other of the two files; each repetition is a call of its own.
        const QModelIndexList selected = list->selectionModel()->selectedRows();
        list->selectRow(!selected.isEmpty() && selected.front().row() == 1 ? 0 : 1);
        w.Settle();
    }
}

void Measured(benchmark::internal::Benchmark* benchmark) {
    benchmark->Unit(benchmark::kMillisecond)
        ->Iterations(1)
        ->Repetitions(kRepetitions)
        ->ReportAggregatesOnly(true)
        ->UseRealTime()
        ->ComputeStatistics("p95", Percentile95);
}

BENCHMARK(BM_EngineAfterOptionChange)->Arg(0)->Arg(1)->Apply(Measured);
BENCHMARK(BM_EngineAfterSelectionChange)->Apply(Measured);
BENCHMARK(BM_WindowAfterOptionChange)->Apply(Measured);
BENCHMARK(BM_WindowAfterSelectionChange)->Apply(Measured);

}  // namespace

BENCHMARK_MAIN();
