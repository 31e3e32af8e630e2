// TIFF outputs written with libtiff straight into one buffer of the final size: no growing
// encoder buffer and no second copy to add the resolution or to declare the alpha.
#pragma once

#include <cstdint>
#include <opencv2/core/mat.hpp>
#include <optional>
#include <vector>

namespace korvale {

// Whether EncodeTiff writes images of this type: 8 or 16 bits, 1, 3 or 4 channels.
bool TiffEncodable(int type);

// `image` (OpenCV's channel order) as a TIFF of `compression` (a libtiff COMPRESSION_* value) in
// `bytes`: grey or RGB, a fourth channel declared as unassociated alpha, and XResolution,
// YResolution and ResolutionUnit (inch) set to `dpi` as a stamp sets them (none without `dpi`).
// `bytes` keeps its capacity between calls. false when the type is not encodable or libtiff
// fails; `bytes` is then unspecified.
bool EncodeTiff(const cv::Mat& image, std::optional<uint32_t> dpi, int compression,
                std::vector<uint8_t>& bytes);

}  // namespace korvale
