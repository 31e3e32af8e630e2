// Converting one image file: decode, scale or place, pad, encode. No UI and no shared state, so
// several images may be converted at once; the caller shows the message of a failure.
#pragma once

#include <cstdint>
#include <memory>
#include <opencv2/core/mat.hpp>
#include <opencv2/core/types.hpp>
#include <optional>
#include <string>
#include <vector>

#include "BatchRequest.h"
#include "Geometry.h"
#include "RunHost.h"
#include "SourceMetadata.h"
#include "UserInteraction.h"

namespace cv {
class Exception;
}

namespace korvale {

// What one 8-bit step is worth at `depth`: 16-bit images span 0 to 65535, floating ones 0 to 1.
double DepthScale(int depth);

// Whether OpenCV failed for lack of memory.
bool IsLackOfMemory(const cv::Exception& e);

// The margin colour as the values of a pixel of `type`, in OpenCV's channel order (a
// one-channel image takes the first component, the blue one); opaque where there is alpha.
cv::Scalar BorderColour(const Rgb& margin, int type);

// Integer pairs for the encoder; every output gets the JPEG quality pair.
using EncoderParams = std::vector<int>;
EncoderParams JpegQualityParams(int quality);

// The compression of TIFF outputs: none, as ImageMagick, libvips and most editors write by
// default and every reader takes; LZW saves a third of the size for about nine times the
// time per A4 page at 300 DPI (figures in docs/formats.md). PNG outputs get no level of their own:
// without one OpenCV's encoder takes its speed setting (zlib level 1, Sub filter, RLE), which
// measured both faster and smaller than any level given.
constexpr int kTiffCompression = 1;

// What decoding learned besides the pixels.
struct DecodeNotes {
    bool lackedMemory = false;  // an allocation failed: the image may fit when less is held
    bool damaged = false;       // the decoder made up what the file lacks (a JPEG cut short)
    bool srgb = false;  // the colours were converted into sRGB: the source's profile is gone
};

// Decodes with the file's own depth and channel count, turned by its Exif orientation (PNG: its
// eXIf chunk; TIFF: its Orientation tag); PNG and TIFF also keep their alpha, as plain (not
// multiplied) colours. CMYK JPEG and TIFF become sRGB colours (DecodeNotes::srgb). false when
// there are no pixels (missing, unreadable or undecodable file).
bool DecodeImage(const std::string& sourcePath, cv::Mat& image, DecodeNotes* notes = nullptr);

// Makes a decoded image fit for an output in `output` format, before it is scaled or placed.
// BMP and JPEG hold 8 bits per channel: deeper images are scaled into that range as convertTo
// scales them. They also hold no alpha, so the alpha of a PNG or TIFF source is blended onto
// `background` (otherwise whatever colour hides under transparent pixels would show). A BMP
// source keeps its channels as they are. PNG holds 8 or 16 bits: other depths become 16-bit.
// TIFF takes the image unchanged. false when memory ran out.
bool FitForOutput(cv::Mat& image, ImageFormat source, ImageFormat output, const Rgb& background);

// The output image of one conversion, or the failure that stops it.
struct PreparedImage {
    ConvertResult result = ConvertResult::Ok;
    cv::Mat image;
    bool lackedMemory = false;  // the failure was an allocation (reported as a read failure)
    bool damaged = false;       // the source's data was damaged; the image was made anyway
    bool srgb = false;          // the colours are sRGB now: the output carries sRGB's profile
    // The output already encoded, made without an image (TiffCropPaste.h); `image` is then empty.
    std::shared_ptr<const std::vector<unsigned char>> encoded = nullptr;
};

// Scales to the target (or, with keepAspect, to the fitted size with margins of `margin` at the
// anchor) and encodes to `outputPath`, whose extension selects the encoder.
ConvertResult ResizeImage(const std::string& sourcePath, const std::string& outputPath,
                          PixelSize target, const EncoderParams& params, int interpolation,
                          int anchor, bool keepAspect, const Rgb& margin);
// The pixels of that output, without writing.
// Margins are the margin colour at the image's depth (255 is 65535 at 16 bits), opaque where
// there is an alpha channel: only PNG and TIFF sources bring one, and their outputs keep it.
PreparedImage PrepareResized(const cv::Mat& source, PixelSize target, int interpolation, int anchor,
                             bool keepAspect, const Rgb& margin);

// Places the unscaled source on a canvas of the target size at the anchor, padding with
// `margin` and cutting what overflows, each axis on its own.
ConvertResult CropPasteImage(const std::string& sourcePath, const std::string& outputPath,
                             PixelSize target, const EncoderParams& params, int anchor,
                             const Rgb& margin);
PreparedImage PrepareCropPasted(const cv::Mat& source, PixelSize target, int anchor,
                                const Rgb& margin);

// Encodes to `outputPath` in the format its extension names (OutputFormatOfName), with the PNG
// or TIFF settings above added to `params`; an image deeper than 8 bits is scaled down for BMP
// and JPEG. WriteFailed when the encoder fails or the extension names no format it writes.
ConvertResult EncodeImage(const std::string& outputPath, const cv::Mat& image,
                          const EncoderParams& params);
// The same bytes into memory; the extension of `outputPath`'s name selects the encoder. A TIFF
// gets `dpi` as its resolution while it is encoded (PNG, BMP and JPEG outputs get theirs after).
// `lackedMemory`, when given, says whether a failure was an allocation.
ConvertResult EncodeImageToMemory(const std::string& outputPath, const cv::Mat& image,
                                  const EncoderParams& params, std::vector<unsigned char>& bytes,
                                  std::optional<uint32_t> dpi = std::nullopt,
                                  bool* lackedMemory = nullptr);
// The same in `format` (nullopt: no format the program writes, which fails). A TIFF also gets
// `pieces`, when given, while it is encoded (a PNG gets them after, see PngMetadata.h).
ConvertResult EncodeImageToMemory(std::optional<ImageFormat> format, const cv::Mat& image,
                                  const EncoderParams& params, std::vector<unsigned char>& bytes,
                                  std::optional<uint32_t> dpi = std::nullopt,
                                  bool* lackedMemory = nullptr,
                                  const OutputPieces* pieces = nullptr);

}  // namespace korvale
