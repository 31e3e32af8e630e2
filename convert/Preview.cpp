// The preview: the engine's conversion at a reduced scale, drawn for the window.
#include "Preview.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include "BatchRun.h"
#include "ColourManage.h"
#include "JpegDecode.h"

namespace korvale {
namespace {

int Reduced(int side, double factor) {
    return std::max(1, static_cast<int>(std::lround(side * factor)));
}

PixelSize Reduced(PixelSize size, double factor) {
    return {Reduced(size.width, factor), Reduced(size.height, factor)};
}

cv::Mat Resampled(const cv::Mat& image, PixelSize size) {
    if (image.cols == size.width && image.rows == size.height) {
        return image;
    }
    cv::Mat resampled;
    const bool shrinking = size.width <= image.cols && size.height <= image.rows;
    cv::resize(image, resampled, cv::Size(size.width, size.height), 0, 0,
               shrinking ? cv::INTER_AREA : cv::INTER_LINEAR);
    return resampled;
}

// Any depth and channel count the decoder gives, as 8-bit RGBA for the screen.
cv::Mat ToRgba(const cv::Mat& image) {
    cv::Mat eight;
    switch (image.depth()) {
        case CV_8U:
            eight = image;
            break;
        case CV_16U:
            image.convertTo(eight, CV_8U, 1.0 / 257.0);
            break;
        case CV_32F:
        case CV_64F:
            image.convertTo(eight, CV_8U, 255.0);
            break;
        default:
            cv::normalize(image, eight, 0, 255, cv::NORM_MINMAX, CV_8U);
            break;
    }
    cv::Mat rgba;
    switch (eight.channels()) {
        case 1:
            cv::cvtColor(eight, rgba, cv::COLOR_GRAY2RGBA);
            break;
        case 4:
            cv::cvtColor(eight, rgba, cv::COLOR_BGRA2RGBA);
            break;
        default:
            cv::cvtColor(eight, rgba, cv::COLOR_BGR2RGBA);
            break;
    }
    return rgba;
}

// A light grey copy: what the run cuts away is shown, but plainly not as part of the output.
cv::Mat Greyed(const cv::Mat& rgba) {
    cv::Mat grey;
    cv::cvtColor(rgba, grey, cv::COLOR_RGBA2GRAY);
    grey.convertTo(grey, CV_8U, 0.45, 120.0);
    cv::Mat greyed;
    cv::cvtColor(grey, greyed, cv::COLOR_GRAY2RGBA);
    return greyed;
}

PreviewPicture Failed(ConvertResult result, bool lackedMemory = false) {
    PreviewPicture picture;
    picture.result = result;
    picture.lackedMemory = lackedMemory;
    return picture;
}

double FitFactor(PixelSize extent, PixelSize box) {
    if (extent.width <= 0 || extent.height <= 0 || box.width <= 0 || box.height <= 0) {
        return 1.0;
    }
    return std::min({1.0, static_cast<double>(box.width) / extent.width,
                     static_cast<double>(box.height) / extent.height});
}

void Finish(PreviewPicture& picture, PixelSize target, PixelSize reducedTarget) {
    picture.scaleX = static_cast<double>(reducedTarget.width) / target.width;
    picture.scaleY = static_cast<double>(reducedTarget.height) / target.height;
}

}  // namespace

cv::Mat ThumbnailOf(const std::string& path, int side) {
    const std::optional<PreviewSource> source = LoadPreviewSource(path, side);
    if (!source || source->image.empty()) {
        return {};
    }
    try {
        const cv::Mat& image = source->image;
        const int longSide = std::max(image.cols, image.rows);
        const double factor = longSide > side ? static_cast<double>(side) / longSide : 1.0;
        return ToRgba(Resampled(image, Reduced({image.cols, image.rows}, factor)));
    } catch (const cv::Exception&) {
        return {};
    } catch (const std::bad_alloc&) {
        return {};
    }
}

int PreviewDecodeSide(PixelSize box) {
    return std::max(box.width, box.height) * 3 / 2;
}

PreviewSource ReducePreviewSource(std::string path, const cv::Mat& full, int minLongSide) {
    PreviewSource source{std::move(path), full, {full.cols, full.rows}};
    const int longSide = std::max(full.cols, full.rows);
    if (minLongSide > 0 && longSide > minLongSide) {
        source.image = Resampled(
            full, Reduced({full.cols, full.rows}, static_cast<double>(minLongSide) / longSide));
    }
    return source;
}

std::optional<PreviewSource> LoadPreviewSource(const std::string& path, int minLongSide) {
    try {
        cv::Mat image;
        JpegDecodeNotes notes;
        switch (DecodeJpeg(path, image, notes, minLongSide)) {
            case JpegDecodeResult::Decoded:
                return PreviewSource{path, image, {notes.fullWidth, notes.fullHeight}};
            case JpegDecodeResult::Failed:
                return std::nullopt;  // the run could not decode it either
            case JpegDecodeResult::NotHandled:
                break;
        }
        if (!DecodeImage(path, image)) {
            return std::nullopt;
        }
        return ReducePreviewSource(path, image, minLongSide);
    } catch (const cv::Exception&) {
        return std::nullopt;
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
}

PreviewPicture MakePreview(const PreviewSource& source, const BatchRequest& request,
                           const FilePlan& plan, PixelSize box) {
    if (!plan.headerRead || source.image.empty()) {
        return Failed(ConvertResult::ReadFailed);
    }
    if (plan.problem == PlanProblem::ZeroSide) {
        return Failed(ConvertResult::WriteFailed);
    }
    if (plan.problem == PlanProblem::BadAnchor) {
        return Failed(ConvertResult::BadAnchor);
    }
    try {
        PreviewPicture picture;
        const PixelSize sourceSize = plan.source;
        if (request.method == BatchMethod::DpiOnly) {
            // The file itself is the output.
            const PixelSize reduced = Reduced(sourceSize, FitFactor(sourceSize, box));
            picture.written = Resampled(source.image, reduced);
            picture.shown = ToRgba(picture.written);
            picture.output = picture.placed = cv::Rect(0, 0, reduced.width, reduced.height);
            picture.geometry.target = picture.geometry.placed = reduced;
            Finish(picture, sourceSize, reduced);
            return picture;
        }
        // The colours the run writes, before the margins are filled.
        cv::Mat image = source.image;
        if (request.toSrgb) {
            ConvertToSrgb(image,
                          ReadSourceMetadata(source.path, FormatOfName(source.path)).iccProfile);
        }
        const PixelSize target = plan.output;
        const Margins& cut = plan.geometry.cut;
        // What is shown: the output and, beyond it, what crop-and-paste cuts away.
        const PixelSize extent{target.width + cut.left + cut.right,
                               target.height + cut.top + cut.bottom};
        const double factor = FitFactor(extent, box);
        const PixelSize reducedTarget = Reduced(target, factor);
        PreparedImage prepared;
        if (request.method == BatchMethod::Resize) {
            // Fitted when the plan leaves margins. Equal factors need none at full size, and a
            // stretch keeps the reduced copy free of a margin that rounding would make up.
            const bool fitted = !(plan.geometry.placed == target);
            picture.geometry =
                ResizeGeometry({image.cols, image.rows}, reducedTarget, fitted, request.anchor);
            prepared =
                PrepareResized(image, reducedTarget, InterpolationFlag(request.interpolation),
                               request.anchor, fitted, request.margin);
        } else {
            // 1:1 placement: the source reduced by exactly the target's factor.
            const PixelSize reducedSource = Reduced(sourceSize, factor);
            const cv::Mat reduced = Resampled(image, reducedSource);
            picture.geometry = CropPasteGeometry(reducedSource, reducedTarget, request.anchor);
            prepared = PrepareCropPasted(reduced, reducedTarget, request.anchor, request.margin);
            if (prepared.result == ConvertResult::Ok) {
                const Margins& c = picture.geometry.cut;
                const Margins& m = picture.geometry.margins;
                picture.shown =
                    cv::Mat(reducedTarget.height + c.top + c.bottom,
                            reducedTarget.width + c.left + c.right, CV_8UC4, cv::Scalar::all(0));
                picture.output = cv::Rect(c.left, c.top, reducedTarget.width, reducedTarget.height);
                picture.placed = cv::Rect(m.left, m.top, reducedSource.width, reducedSource.height);
                Greyed(ToRgba(reduced)).copyTo(picture.shown(picture.placed));
            }
        }
        if (prepared.result != ConvertResult::Ok) {
            return Failed(prepared.result, prepared.lackedMemory);
        }
        picture.written = prepared.image;
        if (picture.shown.empty()) {
            picture.shown = ToRgba(picture.written);
            picture.output = cv::Rect(0, 0, reducedTarget.width, reducedTarget.height);
            const Margins& m = picture.geometry.margins;
            picture.placed = cv::Rect(m.left, m.top, picture.geometry.placed.width,
                                      picture.geometry.placed.height);
        } else {
            ToRgba(picture.written).copyTo(picture.shown(picture.output));
        }
        Finish(picture, target, reducedTarget);
        return picture;
    } catch (const cv::Exception& e) {
        // As in the run, an allocation that fails is a read failure, said as lack of memory.
        return e.code == cv::Error::StsNoMem ? Failed(ConvertResult::ReadFailed, true)
                                             : Failed(ConvertResult::WriteFailed);
    } catch (const std::bad_alloc&) {
        return Failed(ConvertResult::ReadFailed, true);
    }
}

}  // namespace korvale
