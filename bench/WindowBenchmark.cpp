// Adding 10000 files through the main window (probe, merge, statistics, view refresh and the
// repaint), and the view refresh alone, on the offscreen platform.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QPushButton>
#include <cstdlib>
#include <filesystem>

#include "BenchSupport.h"
#include "KorvaleDlg.h"

namespace {

constexpr int kFiles = 10000;

struct Fixture {
    Fixture() : corpus(kFiles) {
        char pattern[] = "/tmp/korvale-window-bench-XXXXXX";
        home = ::mkdtemp(pattern);
        korvale::KorvaleEnvironment environment;
        environment.ui = &ui;
        environment.settingsFile = home + "/korvale.conf";
        environment.presetLocation = korvale::PresetLocation{home + "/data", {}};
        window = std::make_unique<korvale::CKorvaleDlg>(std::move(environment));
        window->show();
        QCoreApplication::processEvents();
    }
    ~Fixture() {
        window.reset();
        std::error_code ignored;
        std::filesystem::remove_all(home, ignored);
    }
    korvale::bench::SmallImageCorpus corpus;
    std::string home;
    korvale::bench::QuietInteraction ui;
    std::unique_ptr<korvale::CKorvaleDlg> window;
};

Fixture& Window() {
    static Fixture fixture;
    return fixture;
}

void RemoveAll(korvale::CKorvaleDlg& window) {
    window.ControlAs<QPushButton>(1033)->click();
    QCoreApplication::processEvents();
}

void BM_Add10000FilesThroughTheWindow(benchmark::State& state) {
    Fixture& f = Window();
    for (auto _ : state) {
        state.PauseTiming();
        RemoveAll(*f.window);
        state.ResumeTiming();
        f.window->RegisterFiles(f.corpus.paths());
        f.window->repaint();  // the view drawn with its new rows
        benchmark::DoNotOptimize(f.window->files().size());
    }
    if (f.window->files().size() != static_cast<size_t>(kFiles)) {
        state.SkipWithError("not every file was listed");
    }
    state.SetItemsProcessed(state.iterations() * kFiles);
}
BENCHMARK(BM_Add10000FilesThroughTheWindow)->Unit(benchmark::kMillisecond)->MinTime(3.0);

void BM_RefreshOf10000Rows(benchmark::State& state) {
    Fixture& f = Window();
    if (f.window->files().size() != static_cast<size_t>(kFiles)) {
        RemoveAll(*f.window);
        f.window->RegisterFiles(f.corpus.paths());
    }
    for (auto _ : state) {
        f.window->RefreshFileList();
        f.window->repaint();
    }
}
BENCHMARK(BM_RefreshOf10000Rows)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

int main(int argc, char** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
