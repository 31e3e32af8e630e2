// The floor for the conversion benchmarks: the bare OpenCV calls that the engine makes, in a
// loop, without naming, questions, temporary files or stamping.
//   bench_opencv_loop resize|crop OUTFOLDER W H INTERPOLATION KEEPASPECT QUALITY EXT FILE...
#include <cstdio>
#include <cstdlib>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <string>
#include <vector>

#include "Conversion.h"

int main(int argc, char** argv) {
    if (argc < 10) {
        std::fprintf(stderr,
                     "usage: %s resize|crop OUTFOLDER W H INTERPOLATION KEEPASPECT QUALITY EXT "
                     "FILE...\n",
                     argv[0]);
        return 2;
    }
    const bool crop = std::string(argv[1]) == "crop";
    const std::string folder = argv[2];
    const int W = std::atoi(argv[3]), H = std::atoi(argv[4]);
    const int interpolation = std::atoi(argv[5]);
    const bool keep = std::atoi(argv[6]) != 0;
    std::vector<int> params = {cv::IMWRITE_JPEG_QUALITY, std::atoi(argv[7])};
    const std::string extension = argv[8];
    // The encoder settings the engine adds for these formats.
    if (extension == ".tif") {
        params.insert(params.end(), {cv::IMWRITE_TIFF_COMPRESSION, korvale::kTiffCompression});
    }
    const cv::Scalar white(255, 255, 255, 0);
    for (int i = 9; i < argc; ++i) {
        const std::string path = argv[i];
        const cv::Mat source = cv::imread(path, cv::IMREAD_ANYDEPTH | cv::IMREAD_ANYCOLOR);
        if (source.empty()) {
            return 1;
        }
        std::string name = path.substr(path.rfind('/') + 1);
        name = name.substr(0, name.rfind('.')) + extension;
        cv::Mat output;
        if (crop) {
            // Centre: pad or cut each axis.
            const int dx = W - source.cols, dy = H - source.rows;
            const int left = dx > 0 ? dx / 2 : 0, top = dy > 0 ? dy / 2 : 0;
            cv::Mat canvas;
            cv::copyMakeBorder(source, canvas, top, dy > 0 ? dy - top : 0, left,
                               dx > 0 ? dx - left : 0, cv::BORDER_CONSTANT, white);
            output = canvas(cv::Rect(dx > 0 ? 0 : -dx / 2, dy > 0 ? 0 : -dy / 2, W, H));
        } else {
            int w = W, h = H;
            if (keep) {
                const double sx = double(W) / source.cols, sy = double(H) / source.rows;
                if (sx > sy) {
                    w = int(source.cols * sy);
                } else if (sy > sx) {
                    h = int(source.rows * sx);
                }
            }
            cv::Mat scaled;
            cv::resize(source, scaled, cv::Size(w, h), 0, 0, interpolation);
            if (w == W && h == H) {
                output = scaled;
            } else {
                cv::copyMakeBorder(scaled, output, (H - h) / 2, H - h - (H - h) / 2, (W - w) / 2,
                                   W - w - (W - w) / 2, cv::BORDER_CONSTANT, white);
            }
        }
        if (!cv::imwrite(folder + "/" + name, output, params)) {
            return 1;
        }
    }
    return 0;
}
