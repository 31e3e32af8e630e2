// What a batch run is asked to do, and the output naming, without any image library: shared by
// the run and by the plan that shows a run's result before it starts.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "ImageFormats.h"
#include "JpegMetadata.h"
#include "UserInteraction.h"

namespace korvale {

// DpiOnly copies each file with only its resolution changed (no decoding, no re-encoding).
enum class BatchMethod : int { Resize = 0, CropPaste = 1, DpiOnly = 2 };
// PNG and TIFF came after the first three, so stored values keep their meaning.
enum class SaveFormat : int { Bmp = 0, Jpeg = 1, SameAsSource = 2, Png = 3, Tiff = 4 };

// What a run needs, as the window holds it when the run starts (after the exchange from the
// controls has validated the numbers and the folder).
struct BatchRequest {
    int targetWidth = 2480;
    int targetHeight = 3508;
    uint32_t targetDpi = 300;
    bool applyWidth = true;
    bool applyHeight = true;
    bool applyDpi = true;
    bool keepAspect = false;
    Rgb margin{255, 255, 255};
    int jpegQuality = 95;
    std::string outputFolder;  // the run appends "/" when it is missing
    int interpolation = 4;     // InterpolationChoice index; -1 when none is selected
    int anchor = 4;            // Anchor index; -1 when none is selected
    BatchMethod method = BatchMethod::Resize;
    SaveFormat saveFormat = SaveFormat::SameAsSource;
    MetadataPolicy metadata = MetadataPolicy::NoGps;  // JPEG from JPEG; the profile always stays
};

// The output file name: the name after the last "/", its extension from the last "." replaced
// by the format's own (OutputExtension: ".bmp", ".jpg", ".png" or ".tif"), or unchanged for the
// source's own format. nullopt when a replacement is needed and the name has no ".".
std::optional<std::string> OutputFileName(const std::string& sourcePath, SaveFormat format);

}  // namespace korvale
