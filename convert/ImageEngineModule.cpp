// The conversion engine as the module the window program loads.
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

const korvale::ImageEngine kEngine{
    korvale::RunBatch,    korvale::PreviewDecodeSide, korvale::LoadPreviewSource,
    korvale::MakePreview, korvale::WaitForWorkAhead,  OpenCvVersion,
};

}  // namespace

extern "C" __attribute__((visibility("default"))) const korvale::ImageEngine* KorvaleImageEngine() {
    return &kEngine;
}
