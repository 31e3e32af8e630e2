// Core-header BMPs made over into the Windows layout in memory and decoded by OpenCV, so that
// their pixels come from the same reader as every other BMP's.
#include "BmpDecode.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <new>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <vector>

#include "ByteFile.h"

namespace korvale {
namespace {

uint32_t Le16(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8);
}

uint32_t Le32(const uint8_t* p) {
    return Le16(p) | (Le16(p + 2) << 16);
}

void PutLe32(uint8_t* p, uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        p[i] = static_cast<uint8_t>(value >> (8 * i));
    }
}

constexpr size_t kFileHeader = 14;
constexpr size_t kCoreHeader = 12;
constexpr size_t kInfoHeader = 40;

}  // namespace

BmpDecodeResult DecodeCoreBmp(const std::string& path, cv::Mat& image, bool& lackedMemory) {
    lackedMemory = false;
    ByteFile file;
    if (!file.Open(path, ByteFile::Access::Read)) {
        return BmpDecodeResult::NotHandled;
    }
    uint8_t head[kFileHeader + kCoreHeader];
    if (file.Read(head, sizeof head) != sizeof head || head[0] != 'B' || head[1] != 'M' ||
        Le32(head + 14) != kCoreHeader) {
        return BmpDecodeResult::NotHandled;
    }
    const uint32_t pixelsAt = Le32(head + 10);
    const uint32_t width = Le16(head + 18);
    const uint32_t height = Le16(head + 20);
    const uint32_t bits = Le16(head + 24);
    if (width == 0 || height == 0 || (bits != 1 && bits != 4 && bits != 8 && bits != 24) ||
        pixelsAt < sizeof head) {
        return BmpDecodeResult::Failed;
    }
    // The palette lies between the header and the pixels; a file may hold fewer entries than
    // the depth allows, never more.
    const uint32_t entries =
        bits > 8 ? 0 : std::min<uint32_t>(1u << bits, (pixelsAt - sizeof head) / 3);
    if (bits <= 8 && entries == 0) {
        return BmpDecodeResult::Failed;  // indices without colours
    }
    const uint64_t rowBytes = (uint64_t{width} * bits + 31) / 32 * 4;
    const uint64_t pixelBytes = rowBytes * height;
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0 || static_cast<uint64_t>(status.st_size) < pixelsAt ||
        static_cast<uint64_t>(status.st_size) - pixelsAt < pixelBytes) {
        return BmpDecodeResult::Failed;  // cut short: its rows would be made up
    }
    try {
        const size_t headers = kFileHeader + kInfoHeader + 4 * size_t{entries};
        std::vector<uint8_t> bmp(headers + pixelBytes, 0);
        uint8_t* out = bmp.data();
        out[0] = 'B';
        out[1] = 'M';
        PutLe32(out + 2, static_cast<uint32_t>(bmp.size()));
        PutLe32(out + 10, static_cast<uint32_t>(headers));
        PutLe32(out + 14, kInfoHeader);
        PutLe32(out + 18, width);
        PutLe32(out + 22, height);  // rows bottom up, as in the core header
        out[26] = 1;                // planes
        out[28] = static_cast<uint8_t>(bits);
        PutLe32(out + 46, entries);
        std::vector<uint8_t> palette(3 * size_t{entries});
        if (file.Read(palette.data(), palette.size()) != palette.size()) {
            return BmpDecodeResult::Failed;
        }
        for (uint32_t i = 0; i < entries; ++i) {
            // Blue, green, red, then the fourth byte the Windows layout adds.
            std::copy_n(palette.data() + 3 * i, 3, out + kFileHeader + kInfoHeader + 4 * i);
        }
        file.Seek(pixelsAt);
        if (file.Read(out + headers, pixelBytes) != pixelBytes) {
            return BmpDecodeResult::Failed;
        }
        image = cv::imdecode(bmp, cv::IMREAD_ANYDEPTH | cv::IMREAD_ANYCOLOR);
    } catch (const cv::Exception& e) {
        image.release();
        lackedMemory = e.code == cv::Error::StsNoMem;
    } catch (const std::bad_alloc&) {
        image.release();
        lackedMemory = true;
    }
    return image.empty() ? BmpDecodeResult::Failed : BmpDecodeResult::Decoded;
}

}  // namespace korvale
