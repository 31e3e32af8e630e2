// What an output may carry of its source: the pieces read from a JPEG, PNG or TIFF source, the
// policy that chooses among them, and the pieces made true for one output.
#pragma once

#include <cstdint>
#include <string>

#include "ByteSource.h"
#include "ImageFormats.h"
#include "JpegSegments.h"

namespace korvale {

// The values are stored; keep them.
enum class MetadataPolicy : int {
    None = 0,   // nothing but the colour profile
    NoGps = 1,  // Exif without its GPS IFD, XMP and IPTC without the place
    All = 2,    // Exif with its GPS IFD, XMP and IPTC whole
};

struct SourceMetadata {
    ByteBuffer iccProfile;  // the whole profile, empty when none or its chunks do not add up
    ByteBuffer exif;        // the TIFF structure after "Exif\0\0", empty when none
    ByteBuffer xmp;         // the XMP packet, empty when none
    ByteBuffer photoshop;   // a JPEG's image resources after "Photoshop 3.0\0" (IPTC among them)
};

// Whether `profile` is a whole ICC profile: a 128-byte header with the "acsp" signature whose
// size field does not reach past the bytes.
bool PlausibleProfile(const ByteBuffer& profile);

// Whether a profile describes an image of `channels` channels, alpha included: grey for 1 or 2,
// RGB for 3 or 4. A grey profile on colour pixels or the reverse would make viewers wrong.
bool ProfileFitsChannels(const ByteBuffer& profile, int channels);

// The pieces of a source in `format` (its header only, never its pixels); nothing for a BMP or a
// file that cannot be read. A piece that is damaged, or larger than a header should be, is left
// out.
SourceMetadata ReadSourceMetadata(const std::string& path, ImageFormat format);
// The same for the bytes of a PNG (its iCCP and XMP iTXt chunks) and of a TIFF (its IFD0's
// InterColorProfile and XMLPacket).
SourceMetadata ReadPngMetadata(ByteSource& source);
SourceMetadata ReadTiffMetadata(ByteSource& source);
// HEIF and AVIF (the primary item's colr profile, the Exif item), WebP (ICCP and EXIF chunks)
// and JPEG XL (the Exif box; its profile lies inside the codestream, and ReadSourceMetadata asks
// libjxl for it: JxlColour.h).
SourceMetadata ReadModernMetadata(ByteSource& source, ImageFormat format);

// What a PNG or TIFF output carries: the profile (still to be matched with the output's
// channels) and, per the policy, the XMP packet made true for width x height at dpi.
struct OutputPieces {
    ByteBuffer iccProfile;
    ByteBuffer xmp;
    // WebP and AVIF only: the Exif block made true for the output (ExifForOutput), per the
    // policy; the encoder adds the resolution.
    ByteBuffer exif;
};
OutputPieces PiecesForOutput(const SourceMetadata& metadata, MetadataPolicy policy, uint32_t width,
                             uint32_t height, uint32_t dpi);

}  // namespace korvale
