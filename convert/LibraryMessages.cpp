// Silencing the image libraries.
#include "LibraryMessages.h"

#include <tiffio.h>

#include <iostream>
#include <mutex>
#include <opencv2/core.hpp>
#include <opencv2/core/utils/logger.hpp>

namespace korvale {
namespace {

int NoErrorOutput(int, const char*, const char*, const char*, int, void*) {
    return 0;
}

}  // namespace

void SilenceLibraryMessages() {
    static std::once_flag once;
    std::call_once(once, [] {
        cv::utils::logging::setLogLevel(cv::utils::logging::LOG_LEVEL_SILENT);
        cv::redirectError(NoErrorOutput);
        // OpenCV installs its own, quiet at the silent level, when it first reads a TIFF; the
        // program's own TIFF writing would otherwise use libtiff's printing defaults.
        TIFFSetErrorHandler(nullptr);
        TIFFSetWarningHandler(nullptr);
        // The program itself never writes to std::cerr: a stream in the failed state drops
        // everything, without the races of redirecting descriptor 2 around each call.
        std::cerr.setstate(std::ios_base::badbit);
    });
}

}  // namespace korvale
