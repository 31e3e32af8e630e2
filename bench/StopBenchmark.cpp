// Stop latency of the main window: a run of large JPEGs is started with the run button, the stop
// button is clicked while the first image is converted, and the time until the window is
// usable again is taken (offscreen platform).
//   bench_stop [--reps N] [--click-after SECONDS] FOLDER_OF_JPEGS
// Sources of the reported figures: four 12000x9000 JPEGs (bench_make_images FOLDER 4 12000
// 9000 jpg), converted to A3 at 600 DPI (7016x9921) with Lanczos.
#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "BenchSupport.h"
#include "KorvaleDlg.h"
#include "MemoryTuning.h"
#if __has_include("ImageEngine.h")
#include "ImageEngine.h"
#elif __has_include("WorkAhead.h")
#include "WorkAhead.h"
#endif

namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

// Services the window between images, as the real seam does, and notes when the stop was seen.
class PumpingInteraction : public korvale::bench::QuietInteraction {
public:
    void PumpEvents() override { QCoreApplication::processEvents(); }
};

double Seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    korvale::KeepImageMemoryMapped();  // as the program does
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    int reps = 5;
    double clickAfter = 1.0;
    std::string folder;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--reps" && i + 1 < argc) {
            reps = std::atoi(argv[++i]);
        } else if (arg == "--click-after" && i + 1 < argc) {
            clickAfter = std::atof(argv[++i]);
        } else {
            folder = arg;
        }
    }
    if (folder.empty() || reps < 1) {
        std::fprintf(stderr, "usage: bench_stop [--reps N] [--click-after S] FOLDER_OF_JPEGS\n");
        return 2;
    }
    std::vector<std::string> sources;
    for (const auto& e : fs::directory_iterator(folder)) {
        if (e.path().extension() == ".jpg") {
            sources.push_back(e.path().string());
        }
    }
    char pattern[] = "/tmp/korvale-stop-bench-XXXXXX";
    const std::string home = ::mkdtemp(pattern);
    const std::string out = home + "/out";

    PumpingInteraction ui;
    korvale::KorvaleEnvironment environment;
    environment.ui = &ui;
    environment.settingsFile = home + "/korvale.conf";
    environment.presetLocation = korvale::PresetLocation{home + "/data", {}};
    korvale::CKorvaleDlg window(std::move(environment));
    window.show();
    QCoreApplication::processEvents();
    window.RegisterFiles(sources);
    window.ControlAs<QLineEdit>(1007)->setText("7016");
    window.ControlAs<QLineEdit>(1008)->setText("9921");
    window.ControlAs<QLineEdit>(1020)->setText("600");
    window.ControlAs<QLineEdit>(1015)->setText(QString::fromStdString(out));

    std::vector<double> clickToUsable, stopSeenToUsable;
    for (int rep = 0; rep < reps; ++rep) {
        fs::remove_all(out);
        fs::create_directories(out);
        std::atomic<Clock::rep> clicked{0}, seen{0};
        const Clock::time_point start = Clock::now();
        std::thread clicker([&] {
            std::this_thread::sleep_for(std::chrono::duration<double>(clickAfter));
            clicked = Clock::now().time_since_epoch().count();
            QMetaObject::invokeMethod(
                &window,
                [&] {
                    seen = Clock::now().time_since_epoch().count();
                    window.ControlAs<QPushButton>(1014)->click();
                },
                Qt::QueuedConnection);
        });
        window.ControlAs<QPushButton>(1013)->click();
        const Clock::time_point usable = Clock::now();
        clicker.join();
        QCoreApplication::processEvents();  // a click that came after the run
        const Clock::time_point clickedAt{Clock::duration(clicked.load())};
        const Clock::time_point seenAt{Clock::duration(seen.load())};
        const size_t written = std::distance(fs::directory_iterator(out), {});
        std::printf(
            "rep %d: run %.2f s, click to usable %.3f s, stop seen to usable %.3f s, "
            "%zu written\n",
            rep + 1, Seconds(usable - start), Seconds(usable - clickedAt), Seconds(usable - seenAt),
            written);
        std::fflush(stdout);
        clickToUsable.push_back(Seconds(usable - clickedAt));
        stopSeenToUsable.push_back(Seconds(usable - seenAt));
#if __has_include("ImageEngine.h")
        korvale::LoadedImageEngine()->waitForWorkAhead();  // each repetition starts quiet
#elif __has_include("WorkAhead.h")
        korvale::WaitForWorkAhead();  // each repetition starts from a quiet machine
#endif
        std::this_thread::sleep_for(std::chrono::seconds(1));
    }
    std::printf("median of %d: click to usable %.3f s, stop seen to usable %.3f s\n", reps,
                Median(clickToUsable), Median(stopSeenToUsable));
    fs::remove_all(home);
    return 0;
}
