// The conversion engine as the module the window program loads.
#include "ImageEngine.h"
#include "WorkAhead.h"

namespace {

const korvale::ImageEngine kEngine{
    korvale::RunBatch,    korvale::PreviewDecodeSide, korvale::LoadPreviewSource,
    korvale::MakePreview, korvale::WaitForWorkAhead,
};

}  // namespace

extern "C" __attribute__((visibility("default"))) const korvale::ImageEngine* KorvaleImageEngine() {
    return &kEngine;
}
