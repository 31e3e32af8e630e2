// Conversion of one image with OpenCV. Every OpenCV call is guarded: an exception (a zero-sized
// target, a canvas too large to allocate, an extension without an encoder) becomes the read or
// write failure of that image instead of a crash.
#include "Conversion.h"

#include <new>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

namespace korvale {
namespace {

cv::Scalar BorderColour(const Rgb& margin) {
    // OpenCV's channel order; a one-channel image takes the first component, the blue one.
    return cv::Scalar(margin.blue, margin.green, margin.red, 0);
}

bool Encode(const std::string& outputPath, const cv::Mat& image, const EncoderParams& params) {
    try {
        return cv::imwrite(outputPath, image, params);
    } catch (const cv::Exception&) {
        return false;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

bool Usable(PixelSize size) {
    return size.width > 0 && size.height > 0;
}

}  // namespace

const char* ConvertMessage(ConvertResult result) {
    switch (result) {
        case ConvertResult::ReadFailed:
            return "画像ファイルの読み出しに失敗しました。";
        case ConvertResult::BadAnchor:
            return "配置の基準が異常です。";
        case ConvertResult::WriteFailed:
            return "画像ファイルの書き込みに失敗しました。";
        case ConvertResult::Ok:
            break;
    }
    return "";
}

EncoderParams JpegQualityParams(int quality) {
    return {cv::IMWRITE_JPEG_QUALITY, quality};
}

bool DecodeImage(const std::string& sourcePath, cv::Mat& image) {
    try {
        image = cv::imread(sourcePath, cv::IMREAD_ANYDEPTH | cv::IMREAD_ANYCOLOR);
    } catch (const cv::Exception&) {
        image.release();
    } catch (const std::bad_alloc&) {
        image.release();
    }
    return !image.empty();
}

ConvertResult ResizeDecoded(const cv::Mat& source, const std::string& outputPath, PixelSize target,
                            const EncoderParams& params, int interpolation, int anchor,
                            bool keepAspect, const Rgb& margin) {
    if (!Usable(target)) {
        return ConvertResult::WriteFailed;
    }
    const PixelSize fitted = FittedSize({source.cols, source.rows}, target, keepAspect);
    cv::Mat output;
    try {
        cv::Mat scaled;
        // Scaled on every call, also when the size does not change.
        cv::resize(source, scaled, cv::Size(fitted.width, fitted.height), 0, 0, interpolation);
        if (fitted == target) {
            output = scaled;
        } else {
            const std::optional<Margins> margins = AnchorMargins(anchor, fitted, target);
            if (!margins) {
                return ConvertResult::BadAnchor;
            }
            cv::copyMakeBorder(scaled, output, margins->top, margins->bottom, margins->left,
                               margins->right, cv::BORDER_CONSTANT, BorderColour(margin));
        }
    } catch (const cv::Exception&) {
        return ConvertResult::WriteFailed;
    } catch (const std::bad_alloc&) {
        return ConvertResult::WriteFailed;
    }
    return Encode(outputPath, output, params) ? ConvertResult::Ok : ConvertResult::WriteFailed;
}

ConvertResult ResizeImage(const std::string& sourcePath, const std::string& outputPath,
                          PixelSize target, const EncoderParams& params, int interpolation,
                          int anchor, bool keepAspect, const Rgb& margin) {
    cv::Mat source;
    if (!DecodeImage(sourcePath, source)) {
        return ConvertResult::ReadFailed;
    }
    return ResizeDecoded(source, outputPath, target, params, interpolation, anchor, keepAspect,
                         margin);
}

ConvertResult CropPasteDecoded(const cv::Mat& source, const std::string& outputPath,
                               PixelSize target, const EncoderParams& params, int anchor,
                               const Rgb& margin) {
    // The anchor is tested for every image, before any geometry.
    const std::optional<CropPastePlan> plan =
        PlanCropPaste(anchor, {source.cols, source.rows}, target);
    if (!plan) {
        return ConvertResult::BadAnchor;
    }
    if (!Usable(target)) {
        return ConvertResult::WriteFailed;
    }
    cv::Mat region;
    try {
        cv::Mat canvas = source;
        if (plan->margins.any()) {
            cv::copyMakeBorder(source, canvas, plan->margins.top, plan->margins.bottom,
                               plan->margins.left, plan->margins.right, cv::BORDER_CONSTANT,
                               BorderColour(margin));
        }
        region = canvas(cv::Rect(plan->x, plan->y, target.width, target.height));
    } catch (const cv::Exception&) {
        return ConvertResult::WriteFailed;
    } catch (const std::bad_alloc&) {
        return ConvertResult::WriteFailed;
    }
    return Encode(outputPath, region, params) ? ConvertResult::Ok : ConvertResult::WriteFailed;
}

ConvertResult CropPasteImage(const std::string& sourcePath, const std::string& outputPath,
                             PixelSize target, const EncoderParams& params, int anchor,
                             const Rgb& margin) {
    cv::Mat source;
    if (!DecodeImage(sourcePath, source)) {
        return ConvertResult::ReadFailed;
    }
    return CropPasteDecoded(source, outputPath, target, params, anchor, margin);
}

}  // namespace korvale
