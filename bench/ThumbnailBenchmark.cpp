// The file list's thumbnail tooltip for a 4000x3000 JPEG: from the hover to the tooltip that
// shows the picture, through the list view, its worker and the engine's reduced decode, cold
// (no thumbnail in the cache: decoded, fitted, written) and cached (read back from the cache).
// Median and 95th percentile of each.
//
//   bench_thumbnail [repetitions]
#include <unistd.h>
#include <QApplication>
#include <QElapsedTimer>
#include <QHelpEvent>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <string>
#include <vector>

#include "DropListCtrl.h"
#include "FileList.h"
#include "FileListModel.h"
#include "Preview.h"
#include "ThumbnailCache.h"

namespace {

namespace fs = std::filesystem;

// A photograph-like picture: smooth regions, shapes and sensor noise.
void WritePhoto(const std::string& path) {
    cv::RNG rng(7);
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

std::optional<QImage> EngineThumbnail(const std::string& path, int side) {
    const cv::Mat rgba = korvale::ThumbnailOf(path, side);
    if (rgba.empty()) {
        return std::nullopt;
    }
    return QImage(rgba.data, rgba.cols, rgba.rows, static_cast<qsizetype>(rgba.step),
                  QImage::Format_RGBA8888)
        .copy();
}

struct Figures {
    double median = 0;
    double p95 = 0;
};

Figures Summary(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    Figures f;
    f.median = n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
    f.p95 = values[std::max<size_t>(1, static_cast<size_t>(std::ceil(0.95 * n))) - 1];
    return f;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const int repetitions = argc > 1 ? std::max(1, std::atoi(argv[1])) : 30;
    const fs::path work =
        fs::temp_directory_path() / ("korvale-thumbnail-bench-" + std::to_string(::getpid()));
    fs::create_directories(work);
    const std::string photo = (work / "photo.jpg").string();
    WritePhoto(photo);
    const std::string cache = (work / "thumbnails").string();

    korvale::FileList files;
    files.MergeBatch({{photo, 4000, 3000, 72}});
    korvale::FileListModel model(files, nullptr);
    korvale::CDropListCtrl list(nullptr);
    list.setModel(&model);
    list.resize(600, 300);
    list.show();
    list.EnableThumbnails(EngineThumbnail, cache);
    QCoreApplication::processEvents();

    const std::string thumbnail =
        korvale::ThumbnailPath(cache, korvale::kLargeThumbnailSide, korvale::FileUri(photo));
    const auto hoverOnce = [&](bool cold) {
        if (cold) {
            fs::remove(thumbnail);
        }
        model.Refresh();  // forgets the thumbnails the view holds
        const QPoint at = list.visualRect(model.index(0, 1)).center();
        QElapsedTimer timer;
        timer.start();
        QHelpEvent event(QEvent::ToolTip, at, list.viewport()->mapToGlobal(at));
        QApplication::sendEvent(list.viewport(), &event);
        while (!list.ToolTipOf(0).contains(QStringLiteral("<img"))) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
        }
        return static_cast<double>(timer.nsecsElapsed()) / 1e6;
    };
    hoverOnce(true);  // the decoder's first use
    std::vector<double> cold;
    std::vector<double> cached;
    for (int i = 0; i < repetitions; ++i) {
        cold.push_back(hoverOnce(true));
        cached.push_back(hoverOnce(false));
    }
    const Figures c = Summary(cold);
    const Figures w = Summary(cached);
    std::printf("thumbnail tooltip, 4000x3000 JPEG, %d repetitions\n", repetitions);
    std::printf("  cold (decoded, fitted, written): median %.1f ms, 95th percentile %.1f ms\n",
                c.median, c.p95);
    std::printf("  cached (read from the cache):    median %.1f ms, 95th percentile %.1f ms\n",
                w.median, w.p95);
    fs::remove_all(work);
    return 0;
}
