// The RIFF chunks of WebP and the JPEG XL codestream's size header, and the Exif block's DPI.
#include <brotli/decode.h>
#include <dlfcn.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "HeaderWalk.h"
#include "ImageHeader.h"
#include "IsoBoxes.h"
#include "ModernFormats.h"

namespace korvale {
namespace {

constexpr int kMaxWebpChunks = 1024;
constexpr int kMaxJxlBoxes = 256;
// Far above any real Exif block; a compressed box that inflates further is left unread.
constexpr size_t kMaxInflatedExif = 1u << 20;

uint32_t Le32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

uint32_t Le24(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16);
}

// Some writers put the JPEG segment's "Exif\0\0" before the TIFF header.
ExifBlock SkipExifPrefix(ByteSource& source, ExifBlock block) {
    uint8_t prefix[6];
    if (block.end - block.at >= 6 && source.ReadAt(block.at, prefix, 6) &&
        std::memcmp(prefix, "Exif\0\0", 6) == 0) {
        block.at += 6;
    }
    return block;
}

// libbrotlidec, loaded at the first compressed box rather than linked: every command line
// process would otherwise pay for loading it at start, for the few files that need it.
struct BrotliDecoder {
    decltype(&BrotliDecoderCreateInstance) create = nullptr;
    decltype(&BrotliDecoderDecompressStream) decompress = nullptr;
    decltype(&BrotliDecoderDestroyInstance) destroy = nullptr;
};

const BrotliDecoder* LoadBrotli() {
    static const BrotliDecoder loaded = [] {
        BrotliDecoder d;
        void* library = ::dlopen("libbrotlidec.so.1", RTLD_NOW | RTLD_LOCAL);
        if (library != nullptr) {
            d.create = reinterpret_cast<decltype(d.create)>(
                ::dlsym(library, "BrotliDecoderCreateInstance"));
            d.decompress = reinterpret_cast<decltype(d.decompress)>(
                ::dlsym(library, "BrotliDecoderDecompressStream"));
            d.destroy = reinterpret_cast<decltype(d.destroy)>(
                ::dlsym(library, "BrotliDecoderDestroyInstance"));
        }
        return d;
    }();
    return loaded.create && loaded.decompress && loaded.destroy ? &loaded : nullptr;
}

// The decompressed payload of a brob box (its inner type, then a Brotli stream); empty when the
// stream is damaged, cut short or inflates past kMaxInflatedExif.
ByteBuffer InflateBrob(ByteSource& source, const IsoBox& box) {
    const uint64_t size = box.end - box.body - 4;
    if (size == 0 || size > kMaxInflatedExif) {
        return {};
    }
    const BrotliDecoder* brotli = LoadBrotli();
    if (brotli == nullptr) {
        return {};
    }
    ByteBuffer compressed(static_cast<size_t>(size));
    const auto destroy = [brotli](BrotliDecoderState* st) { brotli->destroy(st); };
    std::unique_ptr<BrotliDecoderState, decltype(destroy)> state(
        brotli->create(nullptr, nullptr, nullptr), destroy);
    if (!state || !source.ReadAt(box.body + 4, compressed.data(), compressed.size())) {
        return {};
    }
    ByteBuffer out(std::min<size_t>(4 * compressed.size() + 256, kMaxInflatedExif));
    size_t inLeft = compressed.size();
    const uint8_t* in = compressed.data();
    size_t used = 0;
    for (;;) {
        size_t outLeft = out.size() - used;
        uint8_t* next = out.data() + used;
        const BrotliDecoderResult result =
            brotli->decompress(state.get(), &inLeft, &in, &outLeft, &next, nullptr);
        used = out.size() - outLeft;
        if (result == BROTLI_DECODER_RESULT_SUCCESS && inLeft == 0) {
            out.resize(used);
            return out;
        }
        if (result != BROTLI_DECODER_RESULT_NEEDS_MORE_OUTPUT || out.size() >= kMaxInflatedExif) {
            return {};
        }
        out.resize(std::min(out.size() * 2, kMaxInflatedExif));
    }
}

// Reads bits least significant first, as the JPEG XL codestream packs them.
class BitReader {
public:
    BitReader(const uint8_t* bytes, size_t size) : bytes_(bytes), size_(size) {}
    uint32_t Bits(unsigned count) {
        uint64_t value = 0;
        for (unsigned i = 0; i < count; ++i, ++position_) {
            if (position_ / 8 >= size_) {
                ok_ = false;
                return 0;
            }
            value |= static_cast<uint64_t>((bytes_[position_ / 8] >> (position_ % 8)) & 1) << i;
        }
        return static_cast<uint32_t>(value);
    }
    bool Bool() { return Bits(1) != 0; }
    // One of four distributions, each a bit count and an offset (a count of 0 is a value).
    struct Dist {
        unsigned bits;
        uint32_t offset;
    };
    uint32_t U32(Dist d0, Dist d1, Dist d2, Dist d3) {
        const Dist dists[4] = {d0, d1, d2, d3};
        const Dist& d = dists[Bits(2)];
        return static_cast<uint32_t>(
            std::min<uint64_t>(static_cast<uint64_t>(Bits(d.bits)) + d.offset, UINT32_MAX));
    }
    bool ok() const { return ok_; }

private:
    const uint8_t* bytes_;
    size_t size_;
    uint64_t position_ = 0;
    bool ok_ = true;
};

using Dist = BitReader::Dist;

// A width from a height and the ratio code of a size header.
uint32_t RatioWidth(uint32_t height, uint32_t ratio) {
    static constexpr uint32_t kNum[8] = {0, 1, 12, 4, 3, 16, 5, 2};
    static constexpr uint32_t kDen[8] = {1, 1, 10, 3, 2, 9, 4, 1};
    return static_cast<uint32_t>(
        std::min<uint64_t>(uint64_t{height} * kNum[ratio] / kDen[ratio], UINT32_MAX));
}

bool ReadSize(BitReader& bits, uint32_t& width, uint32_t& height) {
    const Dist d0{9, 1}, d1{13, 1}, d2{18, 1}, d3{30, 1};
    const bool small = bits.Bool();
    height = small ? (bits.Bits(5) + 1) * 8 : bits.U32(d0, d1, d2, d3);
    const uint32_t ratio = bits.Bits(3);
    if (ratio != 0) {
        width = RatioWidth(height, ratio);
    } else {
        width = small ? (bits.Bits(5) + 1) * 8 : bits.U32(d0, d1, d2, d3);
    }
    return bits.ok();
}

void SkipPreview(BitReader& bits) {
    const bool div8 = bits.Bool();
    const auto side = [&] {
        if (div8) {
            bits.U32({0, 16}, {0, 32}, {5, 1}, {9, 33});
        } else {
            bits.U32({6, 1}, {8, 65}, {10, 321}, {12, 1345});
        }
    };
    side();
    if (bits.Bits(3) == 0) {
        side();
    }
}

// The image metadata after the size header, as far as the bit depth and the extra channels.
void ReadMetadata(BitReader& bits, JxlLayout& layout) {
    if (bits.Bool()) {
        return;  // all default: 8-bit, upright, no extra channel
    }
    if (bits.Bool()) {
        layout.orientation = 1 + bits.Bits(3);
        uint32_t w = 0, h = 0;
        if (bits.Bool()) {
            ReadSize(bits, w, h);  // the intrinsic size
        }
        if (bits.Bool()) {
            SkipPreview(bits);
        }
        if (bits.Bool()) {
            bits.U32({0, 100}, {0, 1000}, {10, 1}, {30, 1});
            bits.U32({0, 1}, {0, 1001}, {8, 1}, {10, 1});
            bits.U32({0, 0}, {3, 0}, {16, 0}, {32, 0});
            bits.Bool();
        }
    }
    layout.floatSamples = bits.Bool();
    if (!layout.floatSamples) {
        layout.bitsPerSample = bits.U32({0, 8}, {0, 10}, {0, 12}, {6, 1});
    } else {
        layout.bitsPerSample = bits.U32({0, 32}, {0, 16}, {0, 24}, {6, 1});
        bits.Bits(4);
    }
    bits.Bool();  // the 16-bit buffer hint
    layout.extraChannels = bits.U32({0, 0}, {0, 1}, {4, 2}, {12, 1});
    if (!bits.ok()) {
        layout.bitsPerSample = 8;
        layout.floatSamples = false;
        layout.extraChannels = 0;
    }
}

bool ReadCodestreamHeader(ByteSource& source, uint64_t at, uint64_t end, JxlLayout& layout) {
    uint8_t head[96] = {};
    const size_t length = static_cast<size_t>(std::min<uint64_t>(end - at, sizeof head));
    if (length < 3) {
        return false;
    }
    // The part may be shorter than the buffer: read what there is.
    size_t got = length;
    while (got > 0 && !source.ReadAt(at, head, got)) {
        --got;
    }
    if (got < 3 || head[0] != 0xFF || head[1] != 0x0A) {
        return false;
    }
    BitReader bits(head + 2, got - 2);
    uint32_t width = 0, height = 0;
    if (!ReadSize(bits, width, height) || width == 0 || height == 0) {
        return false;
    }
    ReadMetadata(bits, layout);
    if (layout.orientation > 4) {
        std::swap(width, height);
    }
    layout.width = width;
    layout.height = height;
    return true;
}

}  // namespace

bool WalkWebp(ByteSource& source, WebpLayout& layout) {
    layout = WebpLayout{};
    uint8_t head[30];
    if (!source.ReadAt(0, head, 20) || std::memcmp(head, "RIFF", 4) != 0 ||
        std::memcmp(head + 8, "WEBP", 4) != 0) {
        return false;
    }
    layout.riffEnd =
        static_cast<uint32_t>(std::min<uint64_t>(uint64_t{Le32(head + 4)} + 8, UINT32_MAX));
    const uint8_t* first = head + 12;
    const uint32_t firstLength = Le32(first + 4);
    if (std::memcmp(first, "VP8 ", 4) == 0) {
        // Frame tag (3), start code 9D 01 2A, then 14-bit width and height with 2 scale bits.
        if (firstLength < 10 || !source.ReadAt(20, head + 20, 10) || head[23] != 0x9D ||
            head[24] != 0x01 || head[25] != 0x2A) {
            return false;
        }
        layout.kind = WebpLayout::Kind::Lossy;
        layout.width = (head[26] | (head[27] << 8)) & 0x3FFF;
        layout.height = (head[28] | (head[29] << 8)) & 0x3FFF;
    } else if (std::memcmp(first, "VP8L", 4) == 0) {
        if (firstLength < 5 || !source.ReadAt(20, head + 20, 5) || head[20] != 0x2F) {
            return false;
        }
        const uint32_t bits = Le32(head + 21);
        layout.kind = WebpLayout::Kind::Lossless;
        layout.width = (bits & 0x3FFF) + 1;
        layout.height = ((bits >> 14) & 0x3FFF) + 1;
        layout.alpha = ((bits >> 28) & 1) != 0;
    } else if (std::memcmp(first, "VP8X", 4) == 0) {
        if (firstLength < 10 || !source.ReadAt(20, head + 20, 10)) {
            return false;
        }
        layout.kind = WebpLayout::Kind::Extended;
        layout.vp8xAt = 12;
        layout.alpha = (head[20] & 0x10) != 0;
        layout.animated = (head[20] & 0x02) != 0;
        layout.width = Le24(head + 24) + 1;
        layout.height = Le24(head + 27) + 1;
    } else {
        return false;
    }
    if (layout.width == 0 || layout.height == 0) {
        return false;
    }
    uint64_t at = 12;
    for (int i = 0; i < kMaxWebpChunks && at + 8 <= layout.riffEnd; ++i) {
        uint8_t chunk[8];
        if (!source.ReadAt(at, chunk, 8)) {
            break;
        }
        const uint32_t length = Le32(chunk + 4);
        const uint64_t data = at + 8;
        if (std::memcmp(chunk, "EXIF", 4) == 0 && layout.exifChunkAt == 0) {
            layout.exifChunkAt = at;
            layout.exifChunkLength = length;
            layout.exif = SkipExifPrefix(source, {data, data + length});
        } else if (std::memcmp(chunk, "ICCP", 4) == 0 && layout.iccpAt == 0) {
            layout.iccpAt = data;
            layout.iccpLength = length;
        }
        at = data + length + (length & 1);
    }
    return true;
}

bool WalkJxl(ByteSource& source, JxlLayout& layout) {
    layout = JxlLayout{};
    uint8_t head[12];
    if (!source.ReadAt(0, head, 2)) {
        return false;
    }
    if (head[0] == 0xFF && head[1] == 0x0A) {
        return ReadCodestreamHeader(source, 0, UINT64_MAX, layout);
    }
    if (!source.ReadAt(0, head, 12) || std::memcmp(head, kJxlSignature, 12) != 0) {
        return false;
    }
    layout.container = true;
    bool sized = false;
    ForEachIsoBox(source, 12, UINT64_MAX, kMaxJxlBoxes, [&](const IsoBox& box) {
        if (box.type == FourCc("Exif") && layout.exifBoxAt == 0 && box.end - box.body >= 4) {
            uint8_t field[4];
            if (source.ReadAt(box.body, field, 4) && IsoBe32(field) <= box.end - box.body - 4) {
                layout.exifBoxAt = box.start;
                layout.exif = SkipExifPrefix(source, {box.body + 4 + IsoBe32(field), box.end});
            }
        } else if (box.type == FourCc("brob") && layout.exifBoxAt == 0 && box.end - box.body >= 4) {
            uint8_t inner[4];
            if (!source.ReadAt(box.body, inner, 4) || IsoBe32(inner) != FourCc("Exif")) {
                return true;
            }
            ByteBuffer payload = InflateBrob(source, box);
            if (payload.size() >= 4 && IsoBe32(payload.data()) <= payload.size() - 4) {
                layout.exifBoxAt = box.start;
                layout.exifCompressed = true;
                layout.inflatedExif = std::move(payload);
                MemorySource inflated(layout.inflatedExif);
                layout.inflatedBlock = SkipExifPrefix(
                    inflated,
                    {4 + IsoBe32(layout.inflatedExif.data()), layout.inflatedExif.size()});
            }
        } else if (box.type == FourCc("jxlc") && !sized) {
            sized = ReadCodestreamHeader(source, box.body, box.end, layout);
            if (!sized) {
                return false;
            }
        } else if (box.type == FourCc("jxlp") && !sized) {
            // The first part, after its 4-byte index, starts the codestream.
            sized = box.end - box.body > 4 &&
                    ReadCodestreamHeader(source, box.body + 4, box.end, layout);
            if (!sized) {
                return false;
            }
        }
        return true;
    });
    return sized;
}

uint32_t JxlExifDpi(ByteSource& source, const JxlLayout& layout) {
    if (!layout.exifCompressed) {
        return ExifBlockDpi(source, layout.exif);
    }
    MemorySource inflated(layout.inflatedExif);
    return ExifBlockDpi(inflated, layout.inflatedBlock);
}

uint32_t ExifBlockDpi(ByteSource& source, const ExifBlock& exif) {
    if (exif.at == 0 || exif.end <= exif.at) {
        return 0;
    }
    int32_t orientation = 0;
    uint32_t dpi = 0;
    ReadExifIfd0(source, exif.at, exif.end, orientation, dpi);
    return dpi;
}

}  // namespace korvale
