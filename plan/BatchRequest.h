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
// PNG and TIFF came after the first three, then WebP and AVIF, so stored values keep their
// meaning.
enum class SaveFormat : int {
    Bmp = 0,
    Jpeg = 1,
    SameAsSource = 2,
    Png = 3,
    Tiff = 4,
    Webp = 5,
    Avif = 6
};
// What a run does with outputs that two listed files would share: refuse the batch, or give
// the second and later ones "name (2).jpg", "name (3).jpg", ...
enum class ClashRule : int { Refuse = 0, Number = 1 };

// The options' defaults, in one table: the window's record, the request, the stored keys (an
// absent or unreadable key reads as its default) and the command line all start from it.
struct OptionDefaults {
    int targetWidth = 2480;  // A4 at 300 DPI
    int targetHeight = 3508;
    uint32_t targetDpi = 300;
    bool applyWidth = true;
    bool applyHeight = true;
    bool applyDpi = true;
    bool keepAspect = false;
    int marginComponent = 255;  // white
    int jpegQuality = 95;
    int interpolation = 4;  // Lanczos4
    int anchor = 4;         // the centre
    BatchMethod method = BatchMethod::Resize;
    SaveFormat saveFormat = SaveFormat::SameAsSource;
    MetadataPolicy metadata = MetadataPolicy::NoGps;
    bool dpiOnly = false;
    bool keepTree = false;  // outputs in the sources' subfolders below the output folder
    ClashRule onClash = ClashRule::Refuse;
    bool keepGoing = false;  // a file that fails is skipped and listed at the end
    bool toSrgb = false;     // sources with another colour profile converted into sRGB
};
inline constexpr OptionDefaults kOptionDefaults{};

// What a run needs, as the window holds it when the run starts (after the exchange from the
// controls has validated the numbers and the folder).
struct BatchRequest {
    int targetWidth = kOptionDefaults.targetWidth;
    int targetHeight = kOptionDefaults.targetHeight;
    uint32_t targetDpi = kOptionDefaults.targetDpi;
    bool applyWidth = kOptionDefaults.applyWidth;
    bool applyHeight = kOptionDefaults.applyHeight;
    bool applyDpi = kOptionDefaults.applyDpi;
    bool keepAspect = kOptionDefaults.keepAspect;
    Rgb margin{kOptionDefaults.marginComponent, kOptionDefaults.marginComponent,
               kOptionDefaults.marginComponent};
    int jpegQuality = kOptionDefaults.jpegQuality;
    std::string outputFolder;                           // the run appends "/" when it is missing
    int interpolation = kOptionDefaults.interpolation;  // InterpolationChoice index; -1: none
    int anchor = kOptionDefaults.anchor;                // Anchor index; -1 when none is selected
    BatchMethod method = kOptionDefaults.method;
    SaveFormat saveFormat = kOptionDefaults.saveFormat;
    MetadataPolicy metadata = kOptionDefaults.metadata;  // JPEG from JPEG; the profile stays
    bool keepTree = kOptionDefaults.keepTree;
    // With keepTree: the folder whose tree is kept (a folder that was added); empty for the
    // deepest folder that holds every listed file.
    std::string treeBase = {};
    ClashRule onClash = kOptionDefaults.onClash;
    bool keepGoing = kOptionDefaults.keepGoing;
    // Sources whose profile is not sRGB (Display P3, Adobe RGB, grey of another curve) have
    // their colours converted into sRGB, and their outputs carry sRGB's profile.
    bool toSrgb = kOptionDefaults.toSrgb;
    // An existing output last changed no earlier than its source is kept (counted skipped) and
    // an older one replaced, without a question (korvale-cli --overwrite newer).
    bool keepNewer = false;
};

// The output file name: the name after the last "/", its extension from the last "." replaced
// by the format's own (OutputExtension: ".bmp", ".jpg", ".png", ".tif", ".webp" or ".avif"), or
// unchanged for the source's own format. nullopt when a replacement is needed and the name has no
// ".".
std::optional<std::string> OutputFileName(const std::string& sourcePath, SaveFormat format);

}  // namespace korvale
