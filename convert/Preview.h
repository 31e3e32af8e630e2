// The preview of one file: its output made by the run's own conversion on a reduced copy of the
// source, with the target reduced by the same factor, and the frame of what is added and cut.
#pragma once

#include <opencv2/core/mat.hpp>
#include <opencv2/core/types.hpp>
#include <optional>
#include <string>

#include "BatchRequest.h"
#include "Conversion.h"
#include "Plan.h"

namespace korvale {

// A reduced decode of one source, kept while its file is previewed.
struct PreviewSource {
    std::string path;
    cv::Mat image;   // the file's own depth and channels, turned like the run's decode, reduced
    PixelSize full;  // the size the run decodes
};

// Decodes `path` reduced so that its longer side keeps at least `minLongSide` pixels: a JPEG
// through the decoder's own scaling, any other file decoded whole and then reduced. nullopt when
// the file cannot be decoded.
std::optional<PreviewSource> LoadPreviewSource(const std::string& path, int minLongSide);

// `path` decoded as for a preview, its longer side at most `side`, as 8-bit RGBA; an empty
// matrix when the file cannot be decoded.
cv::Mat ThumbnailOf(const std::string& path, int side);

// The longer side to decode for a preview within `box`.
int PreviewDecodeSide(PixelSize box);

// The same from pixels already decoded at full size.
PreviewSource ReducePreviewSource(std::string path, const cv::Mat& full, int minLongSide);

struct PreviewPicture {
    ConvertResult result = ConvertResult::Ok;
    cv::Mat written;  // the output as the conversion makes it, at preview scale, its own type
    cv::Mat shown;  // 8-bit RGBA: `written`, the greyed cut-away source around it, clear elsewhere
    cv::Rect output;      // the frame of the output in `shown`
    cv::Rect placed;      // where the whole placed source lies in `shown`
    double scaleX = 1.0;  // preview pixels per output pixel
    double scaleY = 1.0;
    ConversionGeometry geometry;  // of `written`, at preview scale
    bool lackedMemory = false;    // the failure was an allocation
};

// The preview of `plan`'s file within `box` pixels (never enlarged beyond the output's own
// size). A plan that gives no output (unreadable, zero side, invalid anchor) gives its failure.
PreviewPicture MakePreview(const PreviewSource& source, const BatchRequest& request,
                           const FilePlan& plan, PixelSize box);

}  // namespace korvale
