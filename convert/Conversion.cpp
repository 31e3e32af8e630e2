// Conversion of one image with OpenCV. Every OpenCV call is guarded: an exception (a zero-sized
// target, a canvas too large to allocate, an extension without an encoder) becomes the read or
// write failure of that image instead of a crash.
#include "Conversion.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <new>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "BmpDecode.h"
#include "ByteSource.h"
#include "EncoderLimits.h"
#include "HeaderWalk.h"
#include "ImageHeader.h"
#include "JpegDecode.h"
#include "LibraryMessages.h"
#include "MemoryBudget.h"
#include "ModernDecode.h"
#include "PngDecode.h"
#include "ResizeKernel.h"
#include "Text.h"
#include "TiffAlpha.h"
#include "TiffDecode.h"

namespace korvale {
namespace {

// Blends a four-channel 8-bit image onto `background` by its alpha, into three channels.
cv::Mat Flattened(const cv::Mat& image, const Rgb& background) {
    cv::Mat flat(image.rows, image.cols, CV_8UC3);
    const int under[3] = {background.blue, background.green, background.red};
    for (int y = 0; y < image.rows; ++y) {
        const uint8_t* from = image.ptr<uint8_t>(y);
        uint8_t* to = flat.ptr<uint8_t>(y);
        for (int x = 0; x < image.cols; ++x, from += 4, to += 3) {
            const int alpha = from[3];
            for (int c = 0; c < 3; ++c) {
                // Rounded to nearest: (v * a + u * (255 - a)) / 255.
                const int sum = from[c] * alpha + under[c] * (255 - alpha);
                to[c] = static_cast<uint8_t>((sum + 127) / 255);
            }
        }
    }
    return flat;
}

// Colours multiplied by their alpha back to plain colours, rounded to nearest; where nothing
// covers, nothing is known and the colour stays 0.
template <typename Sample>
void Unpremultiply(cv::Mat& bgra) {
    constexpr int64_t kOpaque = std::numeric_limits<Sample>::max();
    for (int y = 0; y < bgra.rows; ++y) {
        Sample* p = bgra.ptr<Sample>(y);
        for (int x = 0; x < bgra.cols; ++x, p += 4) {
            const int64_t alpha = p[3];
            if (alpha == 0 || alpha == kOpaque) {
                continue;
            }
            for (int c = 0; c < 3; ++c) {
                p[c] = static_cast<Sample>(std::min(kOpaque, (p[c] * kOpaque + alpha / 2) / alpha));
            }
        }
    }
}

// The eXIf Orientation of a PNG, 0 when it has none: read as the probe reads it, since reading
// with the alpha leaves the image unturned.
int32_t PngOrientation(const std::string& path) {
    ByteFile file;
    if (!file.Open(path, ByteFile::Access::Read)) {
        return 0;
    }
    FileSource source(file);
    PngLayout png;
    int32_t orientation = 0;
    if (WalkPng(source, png) && png.exifAt != 0) {
        uint32_t exifDpi = 0;
        file.Seek(png.exifAt);
        ReadExifIfd0(file, orientation, exifDpi, png.exifAt + png.exifLength);
    }
    return orientation;
}

// A target without pixels fails like the encoder would on it.
ConvertResult ProblemResult(GeometryProblem problem) {
    return problem == GeometryProblem::BadAnchor ? ConvertResult::BadAnchor
                                                 : ConvertResult::WriteFailed;
}

// An allocation failure means the image could not be prepared: the read failure, marked so
// that the caller may try again when less memory is held.
PreparedImage LackOfMemory() {
    return {ConvertResult::ReadFailed, {}, true, false};
}

// Sets the four margin bands of `canvas` to `colour`; the rest is written afterwards.
void FillMargins(cv::Mat& canvas, const Margins& m, const cv::Scalar& colour) {
    const int inner = canvas.rows - m.top - m.bottom;
    if (m.top > 0) {
        canvas.rowRange(0, m.top).setTo(colour);
    }
    if (m.bottom > 0) {
        canvas.rowRange(canvas.rows - m.bottom, canvas.rows).setTo(colour);
    }
    if (m.left > 0 && inner > 0) {
        canvas(cv::Rect(0, m.top, m.left, inner)).setTo(colour);
    }
    if (m.right > 0 && inner > 0) {
        canvas(cv::Rect(canvas.cols - m.right, m.top, m.right, inner)).setTo(colour);
    }
}

// Whether the pixels the header claims could be held at all: a header that claims more than
// the memory to spare is refused before a decoder allocates for it. A header that says too
// little to tell is left to the decoders, which refuse it themselves.
bool FitsInMemory(const std::string& path) {
    const std::optional<ImageHeaderInfo> header = ProbeImageHeader(path);
    const std::optional<PixelLayout> pixel = ProbePixelLayout(path);
    if (!header || !pixel) {
        return true;
    }
    const uint64_t claimed = uint64_t{header->width} * header->height * pixel->bytes();
    return claimed <= MemoryHeadroom();
}

}  // namespace

double DepthScale(int depth) {
    switch (depth) {
        case CV_16U:
            return 257.0;
        case CV_32F:
        case CV_64F:
            return 1.0 / 255.0;
        default:
            return 1.0;
    }
}

bool IsLackOfMemory(const cv::Exception& e) {
    return e.code == cv::Error::StsNoMem;
}

cv::Scalar BorderColour(const Rgb& margin, int type) {
    // OpenCV's channel order; a one-channel image takes the first component, the blue one.
    const double scale = DepthScale(CV_MAT_DEPTH(type));
    return cv::Scalar(margin.blue, margin.green, margin.red, 255) * scale;
}

EncoderParams JpegQualityParams(int quality) {
    return {cv::IMWRITE_JPEG_QUALITY, quality};
}

bool DecodeImage(const std::string& sourcePath, cv::Mat& image, DecodeNotes* notes) {
    SilenceLibraryMessages();
    DecodeNotes ignored;
    DecodeNotes& learned = notes ? *notes : ignored;
    learned = {};
    if (!FitsInMemory(sourcePath)) {
        image.release();
        learned.lackedMemory = true;
        return false;
    }
    switch (DecodeModern(sourcePath, FormatOfName(sourcePath), image, learned.lackedMemory)) {
        case ModernDecodeResult::Decoded:
            return true;
        case ModernDecodeResult::Failed:
            image.release();
            return false;
        case ModernDecodeResult::NotHandled:
            break;
    }
    JpegDecodeNotes jpeg;
    switch (DecodeJpeg(sourcePath, image, jpeg)) {
        case JpegDecodeResult::Decoded:
        case JpegDecodeResult::Failed:
            learned.lackedMemory = jpeg.lackedMemory;
            learned.damaged = jpeg.damaged;
            learned.srgb = jpeg.srgb;
            return !image.empty();
        case JpegDecodeResult::NotHandled:
            break;
    }
    try {
        // PNG and TIFF may carry alpha, which the flags of the other formats would drop.
        const ImageFormat format = FormatOfName(sourcePath);
        const bool mayHaveAlpha = EntryOf(format).alpha;
        // OpenCV leaves libpng's messages on, so PNG is decoded here with the same settings.
        const PngDecodeResult png = format == ImageFormat::Png
                                        ? DecodePng(sourcePath, image, learned.lackedMemory)
                                        : PngDecodeResult::NotHandled;
        if (png == PngDecodeResult::Failed) {
            return false;
        }
        // OpenCV takes no colour from a BMP's core header.
        const BmpDecodeResult bmp = format == ImageFormat::Bmp
                                        ? DecodeCoreBmp(sourcePath, image, learned.lackedMemory)
                                        : BmpDecodeResult::NotHandled;
        if (bmp == BmpDecodeResult::Failed) {
            return false;
        }
        // The TIFF layouts OpenCV scrambles or refuses; it reads all others right.
        const TiffDecodeResult tiff =
            format == ImageFormat::Tiff
                ? DecodeTiff(sourcePath, image, learned.lackedMemory, &learned.srgb)
                : TiffDecodeResult::NotHandled;
        if (tiff == TiffDecodeResult::Failed) {
            return false;
        }
        if (png == PngDecodeResult::NotHandled && tiff == TiffDecodeResult::NotHandled &&
            bmp == BmpDecodeResult::NotHandled) {
            image =
                cv::imread(sourcePath, mayHaveAlpha ? cv::IMREAD_UNCHANGED
                                                    : cv::IMREAD_ANYDEPTH | cv::IMREAD_ANYCOLOR);
        }
        if (format == ImageFormat::Png && !image.empty()) {
            ApplyOrientation(PngOrientation(sourcePath), image);
        }
        // CMYK comes with its alpha as stored, never multiplied into the colours.
        if (format == ImageFormat::Tiff && image.channels() == 4 && !learned.srgb) {
            const TiffAlpha alpha = TiffAlphaOfFile(sourcePath);
            if (image.depth() == CV_8U && alpha != TiffAlpha::Unknown) {
                // libtiff's RGBA reading hands over the colours of declared alpha multiplied
                // by it.
                Unpremultiply<uint8_t>(image);
            } else if (image.depth() == CV_16U && alpha == TiffAlpha::Associated) {
                // Deeper samples are read as stored: only associated alpha multiplied them.
                Unpremultiply<uint16_t>(image);
            }
        }
    } catch (const cv::Exception& e) {
        image.release();
        learned.lackedMemory = IsLackOfMemory(e);
    } catch (const std::bad_alloc&) {
        image.release();
        learned.lackedMemory = true;
    }
    return !image.empty();
}

bool FitForOutput(cv::Mat& image, ImageFormat source, ImageFormat output, const Rgb& background) {
    const ImageFormatEntry& to = EntryOf(output);
    try {
        // Outputs hold one byte a channel, one or two, or whatever the decoder gave.
        if (to.widestChannel == 2 && image.depth() != CV_8U && image.depth() != CV_16U) {
            cv::Mat wide;
            image.convertTo(wide, CV_16U, 257.0 / DepthScale(image.depth()));
            image = wide;
        } else if (to.widestChannel == 1 && image.depth() != CV_8U) {
            cv::Mat narrow;
            image.convertTo(narrow, CV_8U, 1.0 / DepthScale(image.depth()));
            image = narrow;
        }
        if (!to.alpha && image.channels() == 4 && EntryOf(source).alpha) {
            image = Flattened(image, background);
        }
    } catch (const cv::Exception&) {
        return false;
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

PreparedImage PrepareResized(const cv::Mat& source, PixelSize target, int interpolation, int anchor,
                             bool keepAspect, const Rgb& margin) {
    const ConversionGeometry geometry =
        ResizeGeometry({source.cols, source.rows}, target, keepAspect, anchor);
    if (geometry.problem != GeometryProblem::None) {
        return {ProblemResult(geometry.problem), {}};
    }
    const PixelSize fitted = geometry.placed;
    PreparedImage prepared{ConvertResult::Ok, {}};
    try {
        const cv::Size size(fitted.width, fitted.height);
        if (fitted == target) {
            // Scaled on every call, also when the size does not change.
            ResizeImage(source, prepared.image, size, interpolation);
            return prepared;
        }
        const Margins& margins = geometry.margins;
        // Scaling straight into a canvas filled with the margin colour gives the pixels that
        // scaling and then padding with a constant border give, without the extra copy.
        prepared.image.create(target.height, target.width, source.type());
        cv::Mat placed =
            prepared.image(cv::Rect(margins.left, margins.top, fitted.width, fitted.height));
        FillMargins(prepared.image, margins, BorderColour(margin, source.type()));
        ResizeImage(source, placed, size, interpolation);
    } catch (const cv::Exception& e) {
        return IsLackOfMemory(e) ? LackOfMemory() : PreparedImage{ConvertResult::WriteFailed, {}};
    } catch (const std::bad_alloc&) {
        return LackOfMemory();
    }
    return prepared;
}

PreparedImage PrepareCropPasted(const cv::Mat& source, PixelSize target, int anchor,
                                const Rgb& margin) {
    // The anchor is tested for every image, before any geometry.
    const ConversionGeometry geometry =
        CropPasteGeometry({source.cols, source.rows}, target, anchor);
    if (geometry.problem != GeometryProblem::None) {
        return {ProblemResult(geometry.problem), {}};
    }
    PreparedImage prepared{ConvertResult::Ok, {}};
    try {
        const Margins& cut = geometry.cut;
        if (!geometry.margins.any()) {
            prepared.image = source(cv::Rect(cut.left, cut.top, target.width, target.height));
            return prepared;
        }
        // Only the target region of the padded canvas is ever written: build just that.
        const Margins& m = geometry.margins;
        prepared.image.create(target.height, target.width, source.type());
        FillMargins(prepared.image, m, BorderColour(margin, source.type()));
        const cv::Rect from(cut.left, cut.top, target.width - m.left - m.right,
                            target.height - m.top - m.bottom);
        cv::Mat into = prepared.image(cv::Rect(m.left, m.top, from.width, from.height));
        source(from).copyTo(into);
    } catch (const cv::Exception& e) {
        return IsLackOfMemory(e) ? LackOfMemory() : PreparedImage{ConvertResult::WriteFailed, {}};
    } catch (const std::bad_alloc&) {
        return LackOfMemory();
    }
    return prepared;
}

}  // namespace korvale
