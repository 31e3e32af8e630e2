// Converting one image file: decode, scale or place, pad, encode. No UI and no shared state, so
// several images may be converted at once; the caller shows the message of a failure.
#pragma once

#include <opencv2/core/mat.hpp>
#include <string>
#include <vector>

#include "Geometry.h"
#include "UserInteraction.h"

namespace korvale {

enum class ConvertResult { Ok, ReadFailed, BadAnchor, WriteFailed };

// The message of a failed conversion ("" for Ok).
const char* ConvertMessage(ConvertResult result);

// Integer pairs for the encoder; every output gets the JPEG quality pair.
using EncoderParams = std::vector<int>;
EncoderParams JpegQualityParams(int quality);

// What decoding learned besides the pixels.
struct DecodeNotes {
    bool lackedMemory = false;  // an allocation failed: the image may fit when less is held
    bool damaged = false;       // the decoder made up what the file lacks (a JPEG cut short)
};

// Decodes with the file's own depth and channel count, turned by its Exif orientation. false
// when there are no pixels (missing, unreadable or undecodable file).
bool DecodeImage(const std::string& sourcePath, cv::Mat& image, DecodeNotes* notes = nullptr);

// The output image of one conversion, or the failure that stops it.
struct PreparedImage {
    ConvertResult result = ConvertResult::Ok;
    cv::Mat image;
    bool lackedMemory = false;  // the failure was an allocation (reported as a read failure)
    bool damaged = false;       // the source's data was damaged; the image was made anyway
};

// Scales to the target (or, with keepAspect, to the fitted size with margins of `margin` at the
// anchor) and encodes to `outputPath`, whose extension selects the encoder.
ConvertResult ResizeImage(const std::string& sourcePath, const std::string& outputPath,
                          PixelSize target, const EncoderParams& params, int interpolation,
                          int anchor, bool keepAspect, const Rgb& margin);
// The pixels of that output, without writing.
PreparedImage PrepareResized(const cv::Mat& source, PixelSize target, int interpolation, int anchor,
                             bool keepAspect, const Rgb& margin);

// Places the unscaled source on a canvas of the target size at the anchor, padding with
// `margin` and cutting what overflows, each axis on its own.
ConvertResult CropPasteImage(const std::string& sourcePath, const std::string& outputPath,
                             PixelSize target, const EncoderParams& params, int anchor,
                             const Rgb& margin);
PreparedImage PrepareCropPasted(const cv::Mat& source, PixelSize target, int anchor,
                                const Rgb& margin);

// Encodes to `outputPath`; WriteFailed when the encoder fails or has none for the extension.
ConvertResult EncodeImage(const std::string& outputPath, const cv::Mat& image,
                          const EncoderParams& params);
// The same bytes into memory; the extension of `outputPath`'s name selects the encoder.
ConvertResult EncodeImageToMemory(const std::string& outputPath, const cv::Mat& image,
                                  const EncoderParams& params, std::vector<unsigned char>& bytes);

}  // namespace korvale
