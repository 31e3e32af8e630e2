// Conversion of one image with OpenCV. Every OpenCV call is guarded: an exception (a zero-sized
// target, a canvas too large to allocate, an extension without an encoder) becomes the read or
// write failure of that image instead of a crash.
#include "Conversion.h"

#include <new>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "JpegDecode.h"
#include "ResizeKernel.h"
#include "Text.h"

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

bool IsLackOfMemory(const cv::Exception& e) {
    return e.code == cv::Error::StsNoMem;
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
        FillMargins(prepared.image, margins, BorderColour(margin));
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
        FillMargins(prepared.image, m, BorderColour(margin));
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

ConvertResult EncodeImage(const std::string& outputPath, const cv::Mat& image,
                          const EncoderParams& params) {
    return Encode(outputPath, image, params) ? ConvertResult::Ok : ConvertResult::WriteFailed;
}

ConvertResult EncodeImageToMemory(const std::string& outputPath, const cv::Mat& image,
                                  const EncoderParams& params, std::vector<unsigned char>& bytes) {
    const std::string_view name = FileNameOf(outputPath);
    const size_t dot = name.rfind('.');
    if (dot == std::string_view::npos) {
        return ConvertResult::WriteFailed;  // the encoder is chosen by the extension
    }
    try {
        return cv::imencode(std::string(name.substr(dot)), image, bytes, params)
                   ? ConvertResult::Ok
                   : ConvertResult::WriteFailed;
    } catch (const cv::Exception&) {
        return ConvertResult::WriteFailed;
    } catch (const std::bad_alloc&) {
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
