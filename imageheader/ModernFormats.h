// Header walks of HEIF (HEIC and AVIF), WebP and JPEG XL: the shown size, the decoded pixel and
// where the Exif block lies, from header bytes only.
#pragma once

#include <cstdint>
#include <vector>

#include "ByteSource.h"
#include "JpegSegments.h"

namespace korvale {

// Where a TIFF structure (an Exif block) lies in the file: [at, end). at == 0: none.
struct ExifBlock {
    uint64_t at = 0;
    uint64_t end = 0;
};

struct HeifLayout {
    // The primary item's ispe size, cut by its clap and turned by its irot: as shown.
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t storedWidth = 0;  // ispe, before clap and irot
    uint32_t storedHeight = 0;
    int rotation = 0;  // irot, in quarter turns anticlockwise
    bool mirrored = false;
    uint8_t mirrorAxis = 0;  // imir's low bit
    // The clap crop in stored pixels; clapWidth 0: none.
    uint32_t clapLeft = 0;
    uint32_t clapTop = 0;
    uint32_t clapWidth = 0;
    uint32_t clapHeight = 0;
    bool clapped = false;  // a clap property is present, usable or not
    bool grid = false;     // the primary item is a grid of tiles
    // A grid's tiles (its dimg references, row by row) and its descriptor; rows 0: unread.
    std::vector<uint32_t> tiles;
    // Where each tile's infe flags byte lies (its hidden bit), 0 when not found.
    std::vector<uint64_t> tileFlagsAt;
    uint32_t gridRows = 0;
    uint32_t gridColumns = 0;
    uint32_t gridWidth = 0;
    uint32_t gridHeight = 0;
    bool av1 = false;       // AVIF rather than HEVC
    uint32_t bitDepth = 8;  // of the first coded channel
    bool alpha = false;     // an alpha auxiliary image is present
    ExifBlock exif;
    // The ICC profile of the primary item's colr property; 0 when none.
    uint64_t iccAt = 0;
    uint32_t iccLength = 0;
    uint32_t exifItem = 0;
    // The Exif item's payload (4-byte header offset, then the block): 0 when none. The
    // resolution edit rewrites it in place.
    uint64_t exifPayloadAt = 0;
    uint64_t exifPayloadLength = 0;
    // The primary item's nclx colour description, when it has one.
    bool hasNclx = false;
    uint16_t matrix = 2;  // matrix_coefficients: 2 is unspecified
    bool fullRange = true;
    // Where each HEVC picture is stored, for a decoder fed directly: the primary item's, or a
    // grid's tiles' in grid order, each with its own hvcC property. Read only when asked for,
    // and left empty unless every picture is one extent inside the file (not in idat).
    struct CodedPicture {
        uint64_t at = 0;
        uint64_t length = 0;
        uint64_t configAt = 0;  // the hvcC property's body
        uint32_t configLength = 0;
        uint32_t width = 0;  // its ispe
        uint32_t height = 0;
    };
    std::vector<CodedPicture> coded;
    // A grid's alpha item, also read only when asked for (0: none found): where the type of its
    // auxl reference to the primary item lies and its infe flags byte, so that a copy of the
    // file can show it as a picture of its own.
    uint32_t alphaItem = 0;
    uint64_t alphaLinkAt = 0;
    uint64_t alphaFlagsAt = 0;
};

// False unless the bytes start with an ftyp box naming a HEIF brand and hold a meta box whose
// primary item has an ispe property with both sides from 1. Every count is bounded.
bool WalkHeif(ByteSource& source, HeifLayout& layout);
// The same, and where the HEVC pictures lie (`HeifLayout::coded`), for decoding.
bool WalkHeifPictures(ByteSource& source, HeifLayout& layout);

struct WebpLayout {
    enum class Kind { Lossy, Lossless, Extended };
    Kind kind = Kind::Lossy;
    uint32_t width = 0;
    uint32_t height = 0;
    bool alpha = false;
    bool animated = false;
    uint32_t riffEnd = 0;  // 8 + the RIFF size
    uint64_t vp8xAt = 0;   // offset of the VP8X chunk's header; 0 when none
    // The first EXIF chunk: the chunk header's offset and its data's length (0 when none), and
    // the TIFF block inside it (after "Exif\0\0" where a writer put that first).
    uint64_t exifChunkAt = 0;
    uint32_t exifChunkLength = 0;
    ExifBlock exif;
    uint64_t iccpAt = 0;  // data of the ICCP chunk
    uint32_t iccpLength = 0;
};

// False unless the bytes are RIFF "WEBP" whose first chunk is VP8, VP8L or VP8X with sides of
// at least 1. The chunks after it are walked until the RIFF size, the end or a bounded count.
bool WalkWebp(ByteSource& source, WebpLayout& layout);

// The signature box that starts a JPEG XL container.
inline constexpr uint8_t kJxlSignature[12] = {0,   0,   0,    0x0C, 'J',  'X',
                                              'L', ' ', 0x0D, 0x0A, 0x87, 0x0A};

struct JxlLayout {
    bool container = false;
    uint32_t width = 0;  // as shown: turned by the codestream's orientation
    uint32_t height = 0;
    uint32_t orientation = 1;
    uint32_t bitsPerSample = 8;
    bool floatSamples = false;
    uint32_t extraChannels = 0;
    ExifBlock exif;
    uint64_t exifBoxAt = 0;  // the Exif box (container only); 0 when none
    // The Exif box is Brotli-compressed (brob), as cjxl writes a JPEG's: `exif` is then empty,
    // and its payload (offset field, then the block) is held decompressed, the block at
    // `inflatedBlock` in it.
    bool exifCompressed = false;
    ByteBuffer inflatedExif;
    ExifBlock inflatedBlock;
};

// False unless the bytes are a JPEG XL codestream (FF 0A) or container whose codestream (jxlc,
// or the first jxlp part) starts with a readable size header.
bool WalkJxl(ByteSource& source, JxlLayout& layout);

// The DPI of an Exif block: XResolution in inches as the JPEG probe reads it, else 0.
uint32_t ExifBlockDpi(ByteSource& source, const ExifBlock& exif);
// The same for a JPEG XL's Exif, compressed or not.
uint32_t JxlExifDpi(ByteSource& source, const JxlLayout& layout);

}  // namespace korvale
