// The colour space a JPEG XL decode delivers, chosen in one place for the decoder and for the
// metadata read beside it, so the profile carried always describes the pixels written.
#pragma once

#include <jxl/decode.h>

#include "ByteFile.h"
#include "JpegSegments.h"

namespace korvale {

// To be called at JXL_DEC_COLOR_ENCODING. A lossy (XYB) picture whose original space is an ICC
// profile would come out as 8- or 16-bit linear sRGB, dark in any viewer that ignores profiles
// and banded in the shadows; it is asked for sRGB instead. Returns the ICC profile of the
// pixels the decoder will deliver, empty when they are sRGB (or sRGB's primaries with a 2.2
// gamma, as a PNG's gAMA chunk gives them), as for a source without a profile.
ByteBuffer SettleJxlColour(JxlDecoder* decoder);

// The same profile, from the file's header: no pixels are decoded. Empty when there is none or
// the header cannot be read.
ByteBuffer ReadJxlProfile(ByteFile& file);

}  // namespace korvale
