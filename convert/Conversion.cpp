// Conversion of one image with OpenCV. Every OpenCV call is guarded: an exception (a zero-sized
// target, a canvas too large to allocate, an extension without an encoder) becomes the read or
// write failure of that image instead of a crash.
#include "Conversion.h"

#include <new>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "JpegDecode.h"

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

// An allocation failure means the image could not be prepared: the read failure, marked so
// that the caller may try again when less memory is held.
PreparedImage LackOfMemory() {
    return {ConvertResult::ReadFailed, {}, true, false};
}

bool IsLackOfMemory(const cv::Exception& e) {
    return e.code == cv::Error::StsNoMem;
}

bool Usable(PixelSize size) {
    return size.width > 0 && size.height > 0;
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

bool DecodeImage(const std::string& sourcePath, cv::Mat& image, DecodeNotes* notes) {
    DecodeNotes ignored;
    DecodeNotes& learned = notes ? *notes : ignored;
    learned = {};
    JpegDecodeNotes jpeg;
    switch (DecodeJpeg(sourcePath, image, jpeg)) {
        case JpegDecodeResult::Decoded:
        case JpegDecodeResult::Failed:
            learned.lackedMemory = jpeg.lackedMemory;
            learned.damaged = jpeg.damaged;
            return !image.empty();
        case JpegDecodeResult::NotHandled:
            break;
    }
    try {
        image = cv::imread(sourcePath, cv::IMREAD_ANYDEPTH | cv::IMREAD_ANYCOLOR);
    } catch (const cv::Exception& e) {
        image.release();
        learned.lackedMemory = IsLackOfMemory(e);
    } catch (const std::bad_alloc&) {
        image.release();
        learned.lackedMemory = true;
    }
    return !image.empty();
}

PreparedImage PrepareResized(const cv::Mat& source, PixelSize target, int interpolation, int anchor,
                             bool keepAspect, const Rgb& margin) {
    if (!Usable(target)) {
        return {ConvertResult::WriteFailed, {}};
    }
    const PixelSize fitted = FittedSize({source.cols, source.rows}, target, keepAspect);
    PreparedImage prepared{ConvertResult::Ok, {}};
    try {
        const cv::Size size(fitted.width, fitted.height);
        if (fitted == target) {
            // Scaled on every call, also when the size does not change.
            cv::resize(source, prepared.image, size, 0, 0, interpolation);
            return prepared;
        }
        const std::optional<Margins> margins = AnchorMargins(anchor, fitted, target);
        if (!margins) {
            return {ConvertResult::BadAnchor, {}};
        }
        // Scaling straight into a canvas filled with the margin colour gives the pixels that
        // scaling and then padding with a constant border give, without the extra copy.
        prepared.image.create(target.height, target.width, source.type());
        cv::Mat placed =
            prepared.image(cv::Rect(margins->left, margins->top, fitted.width, fitted.height));
        FillMargins(prepared.image, *margins, BorderColour(margin));
        cv::resize(source, placed, size, 0, 0, interpolation);
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
    const std::optional<CropPastePlan> plan =
        PlanCropPaste(anchor, {source.cols, source.rows}, target);
    if (!plan) {
        return {ConvertResult::BadAnchor, {}};
    }
    if (!Usable(target)) {
        return {ConvertResult::WriteFailed, {}};
    }
    PreparedImage prepared{ConvertResult::Ok, {}};
    try {
        if (!plan->margins.any()) {
            prepared.image = source(cv::Rect(plan->x, plan->y, target.width, target.height));
            return prepared;
        }
        // Only the target region of the padded canvas is ever written: build just that.
        const Margins& m = plan->margins;
        prepared.image.create(target.height, target.width, source.type());
        FillMargins(prepared.image, m, BorderColour(margin));
        const cv::Rect from(m.left > 0 || m.right > 0 ? 0 : plan->x,
                            m.top > 0 || m.bottom > 0 ? 0 : plan->y,
                            target.width - m.left - m.right, target.height - m.top - m.bottom);
        cv::Mat into = prepared.image(cv::Rect(m.left, m.top, from.width, from.height));
        source(from).copyTo(into);
    } catch (const cv::Exception& e) {
        return IsLackOfMemory(e) ? LackOfMemory() : PreparedImage{ConvertResult::WriteFailed, {}};
    } catch (const std::bad_alloc&) {
        return LackOfMemory();
    }
    return prepared;
}

ConvertResult EncodeImage(const std::string& outputPath, const cv::Mat& image,
                          const EncoderParams& params) {
    return Encode(outputPath, image, params) ? ConvertResult::Ok : ConvertResult::WriteFailed;
}

ConvertResult ResizeImage(const std::string& sourcePath, const std::string& outputPath,
                          PixelSize target, const EncoderParams& params, int interpolation,
                          int anchor, bool keepAspect, const Rgb& margin) {
    cv::Mat source;
    if (!DecodeImage(sourcePath, source)) {
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
    const PreparedImage prepared = PrepareCropPasted(source, target, anchor, margin);
    return prepared.result == ConvertResult::Ok ? EncodeImage(outputPath, prepared.image, params)
                                                : prepared.result;
}

}  // namespace korvale
