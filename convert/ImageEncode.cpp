// Encoding an image and the whole-file conversions. As in the rest of the conversion, every
// OpenCV call is guarded: an exception becomes the write failure of that image.
#include <cstdio>
#include <new>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include "Conversion.h"
#include "EncoderLimits.h"
#include "ExifEdit.h"
#include "LibraryMessages.h"
#include "ModernEncode.h"
#include "ResolutionEdit.h"
#include "TiffAlpha.h"
#include "TiffEncode.h"

namespace korvale {
namespace {

// Headers, tables and the like beyond the pixels of an encoded image.
constexpr size_t kEncoderSlack = 64 * 1024;

// The slider's value, which WebP and AVIF take as their quality too.
int QualityOf(const EncoderParams& params) {
    for (size_t i = 0; i + 1 < params.size(); i += 2) {
        if (params[i] == cv::IMWRITE_JPEG_QUALITY) {
            return params[i + 1];
        }
    }
    return 95;
}

// WebP and AVIF, whose only resolution is their Exif's: the output's Exif with it, or a block
// of the resolution alone when the carried one is malformed or there is none.
ConvertResult EncodeModern(ImageFormat format, const cv::Mat& image, const EncoderParams& params,
                           std::vector<unsigned char>& bytes, std::optional<uint32_t> dpi,
                           const OutputPieces* pieces) {
    ModernPieces modern;
    if (pieces != nullptr) {
        const int channels = image.channels() <= 2 ? image.channels() + 2 : image.channels();
        if (ProfileFitsChannels(pieces->iccProfile, channels)) {
            modern.iccProfile = pieces->iccProfile;
        }
        modern.exif = pieces->exif;
        modern.xmp = pieces->xmp;
    }
    if (dpi && *dpi > 0) {
        std::optional<ByteBuffer> exif = ExifWithResolution(modern.exif, *dpi);
        modern.exif = exif ? std::move(*exif) : *ExifWithResolution({}, *dpi);
    }
    const bool encoded = format == ImageFormat::Webp
                             ? EncodeWebp(image, QualityOf(params), modern, bytes)
                             : EncodeAvif(image, QualityOf(params), modern, bytes);
    return encoded ? ConvertResult::Ok : ConvertResult::WriteFailed;
}

}  // namespace

ConvertResult EncodeImage(const std::string& outputPath, const cv::Mat& image,
                          const EncoderParams& params) {
    std::vector<unsigned char> bytes;
    if (EncodeImageToMemory(outputPath, image, params, bytes) != ConvertResult::Ok) {
        return ConvertResult::WriteFailed;
    }
    std::FILE* file = std::fopen(outputPath.c_str(), "wb");
    if (file == nullptr) {
        return ConvertResult::WriteFailed;
    }
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && written ? ConvertResult::Ok : ConvertResult::WriteFailed;
}

ConvertResult EncodeImageToMemory(const std::string& outputPath, const cv::Mat& image,
                                  const EncoderParams& params, std::vector<unsigned char>& bytes,
                                  std::optional<uint32_t> dpi, bool* lackedMemory) {
    return EncodeImageToMemory(OutputFormatOfName(outputPath), image, params, bytes, dpi,
                               lackedMemory);
}

ConvertResult EncodeImageToMemory(std::optional<ImageFormat> format, const cv::Mat& image,
                                  const EncoderParams& params, std::vector<unsigned char>& bytes,
                                  std::optional<uint32_t> dpi, bool* lackedMemory,
                                  const OutputPieces* pieces) {
    SilenceLibraryMessages();
    bool ignored = false;
    bool& lacked = lackedMemory ? *lackedMemory : ignored;
    lacked = false;
    if (!format) {
        return ConvertResult::WriteFailed;  // no format the program writes with its DPI
    }
    if (EntryOf(*format).uncompressed) {
        try {
            // With room for the uncompressed image, the encoder never grows the buffer by
            // copying it.
            bytes.clear();
            bytes.reserve(image.total() * image.elemSize() + kEncoderSlack);
        } catch (const std::bad_alloc&) {
            lacked = true;
            return ConvertResult::WriteFailed;
        }
    }
    EncoderParams all = params;
    if (*format == ImageFormat::Tiff) {
        if (TiffEncodable(image.type())) {
            try {
                return EncodeTiff(image, dpi, kTiffCompression, bytes,
                                  pieces ? *pieces : OutputPieces{})
                           ? ConvertResult::Ok
                           : ConvertResult::WriteFailed;
            } catch (const cv::Exception& e) {
                lacked = IsLackOfMemory(e);
                return ConvertResult::WriteFailed;
            } catch (const std::bad_alloc&) {
                lacked = true;
                return ConvertResult::WriteFailed;
            }
        }
        all.insert(all.end(), {cv::IMWRITE_TIFF_COMPRESSION, kTiffCompression});
    }
    try {
        cv::Mat narrow = image;
        // The encoder would only saturate deeper values.
        if (EntryOf(*format).widestChannel == 1 && image.depth() != CV_8U) {
            image.convertTo(narrow, CV_8U, 1.0 / DepthScale(image.depth()));
        }
        const PixelLayout pixel{static_cast<uint32_t>(narrow.channels()),
                                static_cast<uint32_t>(narrow.elemSize1())};
        if (EncoderRefuses(*format, {narrow.cols, narrow.rows}, pixel)) {
            return ConvertResult::WriteFailed;
        }
        if (*format == ImageFormat::Webp || *format == ImageFormat::Avif) {
            return EncodeModern(*format, narrow, params, bytes, dpi, pieces);
        }
        if (!cv::imencode(OutputExtension(*format), narrow, bytes, all)) {
            return ConvertResult::WriteFailed;
        }
        if (*format == ImageFormat::Tiff && narrow.channels() == 4) {
            // OpenCV leaves the fourth sample undeclared; readers would not take it for alpha.
            std::optional<std::vector<uint8_t>> marked = TiffWithUnassociatedAlpha(bytes);
            if (!marked) {
                return ConvertResult::WriteFailed;
            }
            bytes = std::move(*marked);
        }
        if (*format == ImageFormat::Tiff && dpi) {
            std::optional<std::vector<uint8_t>> stamped = TiffWithResolution(bytes, *dpi);
            if (!stamped) {
                return ConvertResult::WriteFailed;
            }
            bytes = std::move(*stamped);
        }
        return ConvertResult::Ok;
    } catch (const cv::Exception& e) {
        lacked = IsLackOfMemory(e);
        return ConvertResult::WriteFailed;
    } catch (const std::bad_alloc&) {
        lacked = true;
        return ConvertResult::WriteFailed;
    }
}

ConvertResult ResizeImage(const std::string& sourcePath, const std::string& outputPath,
                          PixelSize target, const EncoderParams& params, int interpolation,
                          int anchor, bool keepAspect, const Rgb& margin) {
    cv::Mat source;
    if (!DecodeImage(sourcePath, source)) {
        return ConvertResult::ReadFailed;
    }
    const std::optional<ImageFormat> output = OutputFormatOfName(outputPath);
    if (output && !FitForOutput(source, FormatOfName(sourcePath), *output, margin)) {
        return ConvertResult::ReadFailed;
    }
    const PreparedImage prepared =
        PrepareResized(source, target, interpolation, anchor, keepAspect, margin);
    return prepared.result == ConvertResult::Ok ? EncodeImage(outputPath, prepared.image, params)
                                                : prepared.result;
}

ConvertResult CropPasteImage(const std::string& sourcePath, const std::string& outputPath,
                             PixelSize target, const EncoderParams& params, int anchor,
                             const Rgb& margin) {
    cv::Mat source;
    if (!DecodeImage(sourcePath, source)) {
        return ConvertResult::ReadFailed;
    }
    const std::optional<ImageFormat> output = OutputFormatOfName(outputPath);
    if (output && !FitForOutput(source, FormatOfName(sourcePath), *output, margin)) {
        return ConvertResult::ReadFailed;
    }
    const PreparedImage prepared = PrepareCropPasted(source, target, anchor, margin);
    return prepared.result == ConvertResult::Ok ? EncodeImage(outputPath, prepared.image, params)
                                                : prepared.result;
}

}  // namespace korvale
