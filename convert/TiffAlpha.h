// The alpha of TIFF files: what IFD0's ExtraSamples says a fourth sample is, and marking the
// fourth sample of OpenCV's own four-sample outputs as alpha, which OpenCV leaves unsaid.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace korvale {

// ExtraSamples 0 (or none), 1 and 2.
enum class TiffAlpha { Unknown, Associated, Unassociated };

// The first ExtraSamples value of IFD0; Unknown for anything else, unreadable files included.
TiffAlpha TiffAlphaOfFile(const std::string& path);

// A copy of `tiff` whose IFD0 says its extra sample is unassociated alpha: IFD0 with that entry
// added is appended and the header pointed at it, so no other offset moves. nullopt when the
// bytes are not a readable classic TIFF or IFD0 already has ExtraSamples.
std::optional<std::vector<uint8_t>> TiffWithUnassociatedAlpha(const std::vector<uint8_t>& tiff);

}  // namespace korvale
