// TIFF outputs written with libtiff straight into one buffer of the final size: no growing
// encoder buffer and no second copy to add the resolution or to declare the alpha.
#pragma once

#include <cstdint>
#include <functional>
#include <opencv2/core/mat.hpp>
#include <optional>
#include <vector>

#include "SourceMetadata.h"

namespace korvale {

// Whether EncodeTiff writes images of this type: 8 or 16 bits, 1, 3 or 4 channels.
bool TiffEncodable(int type);

// The pixels of a TIFF output, given a strip at a time: `rows` rows from row `y` on, in the
// file's sample order (grey, RGB or RGBA) and byte order (the host's), packed into `data`.
// false fails the encoding.
using TiffRowFiller = std::function<bool(int y, int rows, uint8_t* data)>;

struct TiffShape {
    int width = 0;
    int height = 0;
    int channels = 0;        // 1, 3 or 4
    int bytesPerSample = 1;  // 1 or 2
};

// A TIFF of that shape whose pixels `fill` gives, otherwise as EncodeTiff writes it.
bool EncodeTiffRows(const TiffShape& shape, std::optional<uint32_t> dpi, int compression,
                    std::vector<uint8_t>& bytes, const TiffRowFiller& fill,
                    const OutputPieces& pieces = {});

// `image` (OpenCV's channel order) as a TIFF of `compression` (a libtiff COMPRESSION_* value) in
// `bytes`: grey or RGB, a fourth channel declared as unassociated alpha, and XResolution,
// YResolution and ResolutionUnit (inch) set to `dpi` as a stamp sets them (none without `dpi`),
// the profile of `pieces` as InterColorProfile when it fits the channels, and its XMP packet as
// XMLPacket.
// `bytes` keeps its capacity between calls. false when the type is not encodable or libtiff
// fails; `bytes` is then unspecified.
bool EncodeTiff(const cv::Mat& image, std::optional<uint32_t> dpi, int compression,
                std::vector<uint8_t>& bytes, const OutputPieces& pieces = {});

}  // namespace korvale
