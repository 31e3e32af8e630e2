// The profile and XMP packet put into an encoded PNG.
#pragma once

#include "SourceMetadata.h"

namespace korvale {

// `encoded` (a PNG as the encoder wrote it) with an iCCP chunk holding the profile (when it
// fits an image of `channels` channels) and an iTXt chunk "XML:com.adobe.xmp" holding the
// packet, right after IHDR. `encoded` comes back unchanged when it is not a PNG or there is
// nothing to add.
ByteBuffer PngWithPieces(const ByteBuffer& encoded, const OutputPieces& pieces, int channels);

}  // namespace korvale
