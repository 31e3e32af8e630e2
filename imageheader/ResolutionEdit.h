// Setting the resolution of a BMP, PNG or TIFF: the few bytes to write in place where the fields
// exist, or the whole file with them inserted. The same code serves files and bytes in memory.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "ByteSource.h"

namespace korvale {

struct BytePatch {
    uint64_t offset = 0;
    std::vector<uint8_t> bytes;
};

struct ResolutionEdit {
    enum class Kind { None, InPlace, Insert };
    Kind kind = Kind::None;
    std::vector<BytePatch> patches;  // InPlace only
};

// For formats whose resolution edit always writes the whole file again: Insert when the bytes
// are of the format, None otherwise.
inline ResolutionEdit WholeRewriteIf(bool ofTheFormat) {
    ResolutionEdit edit;
    edit.kind = ofTheFormat ? ResolutionEdit::Kind::Insert : ResolutionEdit::Kind::None;
    return edit;
}

// DPI to BMP pixels per metre, rounded half up, brought into the signed 32-bit field.
int32_t BmpPixelsPerMetre(uint32_t dpi);

// BMP: in place, both pixels-per-metre fields (BmpPixelsPerMetre(dpi)) in one patch, when the
// info header has at least 40 bytes; None otherwise (a core header has no fields, and anything
// else is not a BMP). The patch may reach past the end of a file cut short.
ResolutionEdit PlanBmpResolution(ByteSource& source, uint32_t dpi);

// PNG: in place when a 9-byte pHYs chunk comes before the image data (its data and CRC are
// rewritten: unit 1, both axes BmpPixelsPerMetre(dpi)); Insert when there is none but an IDAT
// chunk was reached; None for anything that is not a readable PNG or has a damaged pHYs.
ResolutionEdit PlanPngResolution(ByteSource& source, uint32_t dpi);

// TIFF: in place when IFD0 holds XResolution and YResolution (RATIONAL, count 1, stored clear
// of the header and the IFD) and ResolutionUnit (SHORT, count 1): dpi/1, dpi/1 and 2 (inch).
// Insert otherwise; None for anything that is not a readable TIFF.
ResolutionEdit PlanTiffResolution(ByteSource& source, uint32_t dpi);

// The bytes with the DPI set; nullopt when the plan is None. Inserting puts a pHYs chunk right
// before the first IDAT of a PNG; a TIFF gets a copy of IFD0 with the three tags appended at
// its end and the header pointed at it, so no existing offset moves.
std::optional<std::vector<uint8_t>> PngWithResolution(const std::vector<uint8_t>& png,
                                                      uint32_t dpi);
std::optional<std::vector<uint8_t>> TiffWithResolution(const std::vector<uint8_t>& tiff,
                                                       uint32_t dpi);

}  // namespace korvale
