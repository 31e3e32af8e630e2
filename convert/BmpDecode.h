// BMP files with the 12-byte core header of OS/2 1.x and Windows 2, whose palette entries take
// three bytes: OpenCV's reader takes no colour from them and hands over grey.
#pragma once

#include <opencv2/core/mat.hpp>
#include <string>

namespace korvale {

enum class BmpDecodeResult {
    Decoded,     // `image` holds the pixels as OpenCV gives those of the same picture
    Failed,      // a core-header BMP cut short or of a depth the format does not have
    NotHandled,  // not a core-header BMP, or a file that cannot be opened: left to OpenCV
};

// 1-, 4-, 8- and 24-bit core-header BMPs: BGR, or one channel when a palette holds only greys
// (as OpenCV decodes palettes). `lackedMemory` is set when an allocation failed.
BmpDecodeResult DecodeCoreBmp(const std::string& path, cv::Mat& image, bool& lackedMemory);

}  // namespace korvale
