// Crop-and-paste of a plain TIFF into a TIFF output, made strip by strip from the source's
// bytes: the file that decoding, placing and encoding would give, without the decoded image
// or the canvas between them. Scanners deliver such files by the hundred, and they are large
// enough that each copy of their pixels costs more than the rest of the conversion.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "Conversion.h"

namespace korvale {

// The output of crop-and-paste of `sourcePath` onto `target` at `anchor`, its margins of
// `margin`, as a TIFF with `dpi` in `bytes` (as EncodeTiff writes it). Handled are classic
// TIFFs of 8-bit grey (black is zero) or RGB samples, stored uncompressed in strips, in one
// plane, with no extra samples, not turned; nullopt for any other file, whose output is then
// made the usual way, which also reports what is wrong with it. A failure to read is
// ReadFailed; an anchor, target or output the usual way refuses fails as it would. Throws
// std::bad_alloc when memory runs out. The output carries `pieces` as EncodeTiff writes them.
std::optional<ConvertResult> CropPasteTiffToTiff(const std::string& sourcePath, PixelSize target,
                                                 int anchor, const Rgb& margin,
                                                 std::optional<uint32_t> dpi,
                                                 std::vector<uint8_t>& bytes,
                                                 const OutputPieces& pieces = {});

}  // namespace korvale
