// Fuzz target: decoding JPEG and TIFF sources, CMYK ones among them, and converting them into
// sRGB through whatever profile they carry. The first input byte picks what the rest is: 0 a
// TIFF file, 1 a JPEG file, 2 an ICC profile given to the conversions of small fixed images.
// Whatever the bytes say, nothing but the input is read, a conversion keeps the image's size
// and type, and a decoded image is converted the same way twice.
#include <cstdint>
#include <cstdlib>
#include <opencv2/core.hpp>
#include <string>

#include "ColourManage.h"
#include "Conversion.h"
#include "FuzzFiles.h"
#include "ImageHeader.h"
#include "SourceMetadata.h"

using namespace korvale;

namespace {

void ConvertChecked(const cv::Mat& image, const ByteBuffer& profile) {
    cv::Mat first = image.clone();
    const bool converted = ConvertToSrgb(first, profile);
    if (first.size() != image.size() || first.type() != image.type()) {
        std::abort();
    }
    cv::Mat second = image.clone();
    if (ConvertToSrgb(second, profile) != converted || cv::norm(first, second, cv::NORM_INF) != 0) {
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1 || data[0] > 2) {
        return 0;
    }
    if (data[0] == 2) {
        const ByteBuffer profile(data + 1, data + size);
        for (int type : {CV_8UC1, CV_16UC3, CV_8UC4, CV_32FC3}) {
            cv::Mat image(3, 5, type);
            cv::randu(image, 0, CV_MAT_DEPTH(type) == CV_32F ? 1 : 250);
            ConvertChecked(image, profile);
        }
        for (int type : {CV_8UC4, CV_16UC(5)}) {
            cv::Mat inks(3, 5, type);
            cv::randu(inks, 0, 250);
            cv::Mat bgr;
            CmykToSrgb(inks, InkValues::Inverted, profile, bgr);
            if (bgr.size() != inks.size() || bgr.channels() != inks.channels() - 1) {
                std::abort();
            }
        }
        return 0;
    }
    const bool jpeg = data[0] == 1;
    static const std::string tiffPath = fuzz::ScratchFile("source.tif");
    static const std::string jpegPath = fuzz::ScratchFile("source.jpg");
    const std::string& path = jpeg ? jpegPath : tiffPath;
    fuzz::WriteWhole(path, data + 1, size - 1);
    // Large claims are the memory bound's concern, not this target's: they only make it slow.
    const std::optional<ImageHeaderInfo> header = ProbeImageHeader(path);
    if (!header || uint64_t{header->width} * header->height > (1u << 16)) {
        return 0;
    }
    cv::Mat image;
    if (!DecodeImage(path, image)) {
        return 0;
    }
    ConvertChecked(
        image, ReadSourceMetadata(path, jpeg ? ImageFormat::Jpeg : ImageFormat::Tiff).iccProfile);
    return 0;
}
