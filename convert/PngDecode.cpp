// PNG decoding with OpenCV's settings, tRNS of grey made alpha, and libpng's messages dropped.
#include "PngDecode.h"

#include <png.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <opencv2/core.hpp>
#include <vector>

namespace korvale {
namespace {

// A custom error function must not return: libpng would print the message itself.
[[noreturn]] void JumpOnError(png_structp png, png_const_charp) {
    png_longjmp(png, 1);
}

void KeepQuiet(png_structp, png_const_charp) {}

// Everything the decoder holds, on the heap so that it is in a defined state after a jump.
struct Decoder {
    png_structp png = nullptr;
    png_infop info = nullptr;
    png_infop endInfo = nullptr;
    std::FILE* file = nullptr;
    std::vector<png_bytep> rows;

    ~Decoder() {
        if (png) {
            png_destroy_read_struct(&png, info ? &info : nullptr, endInfo ? &endInfo : nullptr);
        }
        if (file) {
            std::fclose(file);
        }
    }
};

// Whether every chunk up to IEND lies inside the file, as its length claims: libpng
// allocates an ancillary chunk's claimed length before it finds the file too short for it.
bool ChunksFitTheFile(std::FILE* file) {
    if (std::fseek(file, 0, SEEK_END) != 0) {
        return false;
    }
    const long size = std::ftell(file);
    uint64_t at = 8;
    for (;;) {
        unsigned char header[8];
        if (size < 0 || std::fseek(file, static_cast<long>(at), SEEK_SET) != 0 ||
            std::fread(header, 1, sizeof header, file) != sizeof header) {
            break;  // cut short before a chunk: libpng says so without allocating
        }
        const uint64_t length = png_get_uint_32(header);
        if (length > PNG_UINT_31_MAX || at + 12 + length > static_cast<uint64_t>(size)) {
            std::rewind(file);
            return false;
        }
        if (std::memcmp(header + 4, "IEND", 4) == 0) {
            break;
        }
        at += 12 + length;
    }
    std::rewind(file);
    return true;
}

bool IsPng(std::FILE* file) {
    unsigned char signature[8];
    const bool png = std::fread(signature, 1, sizeof signature, file) == sizeof signature &&
                     png_sig_cmp(signature, 0, sizeof signature) == 0;
    std::rewind(file);
    return png;
}

// OpenCV's limits on a decoded image's size; beyond them imread refuses the file itself.
bool WithinOpenCvLimits(uint64_t width, uint64_t height) {
    return width > 0 && height > 0 && width <= (1u << 20) && height <= (1u << 20) &&
           width * height <= (uint64_t{1} << 30);
}

// No local here may need destroying: a libpng error jumps straight out of this frame.
bool Decode(Decoder& d, cv::Mat& image) {
    png_init_io(d.png, d.file);
    png_read_info(d.png, d.info);
    png_uint_32 width = 0, height = 0;
    int bitDepth = 0, colourType = 0;
    png_get_IHDR(d.png, d.info, &width, &height, &bitDepth, &colourType, nullptr, nullptr, nullptr);
    if ((bitDepth > 8 && bitDepth != 16) || !WithinOpenCvLimits(width, height)) {
        return false;
    }
    int channels = 1;
    switch (colourType) {
        case PNG_COLOR_TYPE_GRAY:
        case PNG_COLOR_TYPE_RGB:
        case PNG_COLOR_TYPE_PALETTE: {
            png_bytep trans = nullptr;
            int transCount = 0;
            png_color_16p transValues = nullptr;
            png_get_tRNS(d.png, d.info, &trans, &transCount, &transValues);
            // Transparency given by tRNS becomes alpha, for grey as for colours.
            channels = transCount > 0 ? 4 : colourType == PNG_COLOR_TYPE_GRAY ? 1 : 3;
            break;
        }
        case PNG_COLOR_TYPE_GRAY_ALPHA:
        case PNG_COLOR_TYPE_RGB_ALPHA:
            channels = 4;
            break;
        default:
            break;
    }
    const bool sixteen = bitDepth == 16;
    image.create(static_cast<int>(height), static_cast<int>(width),
                 CV_MAKETYPE(sixteen ? CV_16U : CV_8U, channels));
    if (sixteen) {
        png_set_swap(d.png);  // to the machine's (little-endian) order
    }
    if (channels < 4) {
        png_set_strip_alpha(d.png);
    } else {
        png_set_tRNS_to_alpha(d.png);
    }
    if (colourType == PNG_COLOR_TYPE_PALETTE) {
        png_set_palette_to_rgb(d.png);
    }
    if ((colourType & PNG_COLOR_MASK_COLOR) == 0 && bitDepth < 8) {
        png_set_expand_gray_1_2_4_to_8(d.png);
    }
    if ((colourType & PNG_COLOR_MASK_COLOR) && channels > 1) {
        png_set_bgr(d.png);
    } else if (channels > 1) {
        png_set_gray_to_rgb(d.png);
    } else {
        png_set_rgb_to_gray(d.png, 1, 0.299, 0.587);
    }
    png_set_interlace_handling(d.png);
    png_read_update_info(d.png, d.info);
    d.rows.resize(static_cast<size_t>(image.rows));
    for (int y = 0; y < image.rows; ++y) {
        d.rows[static_cast<size_t>(y)] = image.ptr(y);
    }
    png_read_image(d.png, d.rows.data());
    png_read_end(d.png, d.endInfo);
    return true;
}

}  // namespace

PngDecodeResult DecodePng(const std::string& path, cv::Mat& image, bool& lackedMemory) {
    lackedMemory = false;
    image.release();
    std::FILE* file = std::fopen(path.c_str(), "rbe");
    if (!file) {
        return PngDecodeResult::NotHandled;
    }
    if (!IsPng(file)) {
        std::fclose(file);
        return PngDecodeResult::NotHandled;
    }
    if (!ChunksFitTheFile(file)) {
        std::fclose(file);
        return PngDecodeResult::Failed;
    }
    const std::unique_ptr<Decoder> decoder(new (std::nothrow) Decoder);
    if (!decoder) {
        std::fclose(file);
        lackedMemory = true;
        return PngDecodeResult::Failed;
    }
    Decoder* const d = decoder.get();
    d->file = file;
    d->png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, JumpOnError, KeepQuiet);
    if (d->png) {
        d->info = png_create_info_struct(d->png);
        d->endInfo = png_create_info_struct(d->png);
    }
    if (!d->png || !d->info || !d->endInfo) {
        lackedMemory = true;
        return PngDecodeResult::Failed;
    }
    // Volatile: set after setjmp and read after a possible longjmp.
    volatile bool decoded = false;
    if (setjmp(png_jmpbuf(d->png)) == 0) {
        try {
            decoded = Decode(*d, image);
        } catch (const cv::Exception& e) {
            lackedMemory = e.code == cv::Error::StsNoMem;
        } catch (const std::bad_alloc&) {
            lackedMemory = true;
        }
    }
    if (!decoded) {
        image.release();
    }
    return decoded ? PngDecodeResult::Decoded : PngDecodeResult::Failed;
}

}  // namespace korvale
