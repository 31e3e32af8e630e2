// The conversion engine as the module the window program loads.
#include <algorithm>
#include <opencv2/core/utility.hpp>

#include "BatchRun.h"
#include "ImageEngine.h"
#include "Preview.h"
#include "WorkAhead.h"

namespace {

const char* OpenCvVersion() {
    static const std::string version = cv::getVersionString();
    return version.c_str();
}

bool MakeThumbnail(const std::string& path, int side, korvale::ThumbnailPixels& out) {
    const cv::Mat rgba = korvale::ThumbnailOf(path, side);
    if (rgba.empty() || rgba.type() != CV_8UC4) {
        return false;
    }
    out.width = rgba.cols;
    out.height = rgba.rows;
    out.rgba.resize(static_cast<size_t>(rgba.cols) * static_cast<size_t>(rgba.rows) * 4);
    const size_t rowBytes = static_cast<size_t>(rgba.cols) * 4;
    for (int y = 0; y < rgba.rows; ++y) {
        std::copy_n(rgba.ptr<uint8_t>(y), rowBytes,
                    out.rgba.data() + rowBytes * static_cast<size_t>(y));
    }
    return true;
}

const korvale::ImageEngine kEngine{
    korvale::RunBatch,    korvale::PreviewDecodeSide, korvale::LoadPreviewSource,
    korvale::MakePreview, korvale::WaitForWorkAhead,  OpenCvVersion,
    MakeThumbnail,
};

}  // namespace

extern "C" __attribute__((visibility("default"))) const korvale::ImageEngine* KorvaleImageEngine() {
    return &kEngine;
}
