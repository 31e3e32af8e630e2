// TIFF layouts that OpenCV's reader scrambles or refuses, read band by band with libtiff, so
// that besides the image only one strip or one row of tiles of the file is held at a time.
#include "TiffDecode.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <tiffio.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <opencv2/core.hpp>
#include <vector>

#include "ColourManage.h"
#include "JpegDecode.h"
#include "TiffOpen.h"

namespace korvale {
namespace {

// How the file's samples become the image's.
enum class Layout {
    OpenCv,   // left to OpenCV
    Refused,  // no sound decoding here: a read failure rather than a wrong picture
    Packed,   // 1-, 2- or 4-bit grey or palette indices
    Lab,      // CIE L*a*b*, 8 or 16 bits, contiguous
    Planes,   // separate planes of more than 8 bits
    Uint32,   // 32-bit unsigned grey
    Cmyk,     // CMYK inks, 8 or 16 bits, converted into sRGB through the file's profile
};

struct Fields {
    uint32_t width = 0;
    uint32_t height = 0;
    uint16_t bits = 1;
    uint16_t samples = 1;
    uint16_t photometric = 0;
    uint16_t planar = PLANARCONFIG_CONTIG;
    uint16_t format = SAMPLEFORMAT_UINT;
    uint16_t orientation = ORIENTATION_TOPLEFT;
    uint16_t inkSet = INKSET_CMYK;
    uint16_t firstExtra = EXTRASAMPLE_UNSPECIFIED;  // what the sample after the colours holds
};

bool IsGrey(uint16_t photometric) {
    return photometric == PHOTOMETRIC_MINISBLACK || photometric == PHOTOMETRIC_MINISWHITE;
}

Layout LayoutOf(const Fields& f) {
    const bool separate = f.planar == PLANARCONFIG_SEPARATE && f.samples > 1;
    const bool lowBits = f.bits == 2 || f.bits == 4;
    if (lowBits || (f.bits == 1 && f.photometric == PHOTOMETRIC_PALETTE)) {
        const bool indexed = IsGrey(f.photometric) || f.photometric == PHOTOMETRIC_PALETTE;
        return indexed && !separate && f.format == SAMPLEFORMAT_UINT ? Layout::Packed
                                                                     : Layout::Refused;
    }
    if (f.photometric == PHOTOMETRIC_CIELAB) {
        return (f.bits == 8 || f.bits == 16) && f.samples >= 3 && !separate &&
                       f.format == SAMPLEFORMAT_UINT
                   ? Layout::Lab
                   : Layout::Refused;
    }
    if (f.photometric == PHOTOMETRIC_SEPARATED) {
        // Inks multiplied by their alpha have no sound meaning to undo.
        const bool alpha = f.samples >= 5 && f.firstExtra == EXTRASAMPLE_ASSOCALPHA;
        return f.inkSet == INKSET_CMYK && f.samples >= 4 && (f.bits == 8 || f.bits == 16) &&
                       f.format == SAMPLEFORMAT_UINT && !alpha
                   ? Layout::Cmyk
                   : Layout::Refused;
    }
    if (f.photometric == PHOTOMETRIC_ICCLAB || f.photometric == PHOTOMETRIC_ITULAB) {
        return Layout::Refused;
    }
    if (f.bits == 32 && f.format == SAMPLEFORMAT_UINT && IsGrey(f.photometric)) {
        return Layout::Uint32;
    }
    if (separate && f.bits > 8) {
        const bool rgb = f.photometric == PHOTOMETRIC_RGB && f.samples >= 3;
        const bool depth = (f.bits == 16 && f.format == SAMPLEFORMAT_UINT) ||
                           ((f.bits == 32 || f.bits == 64) && f.format == SAMPLEFORMAT_IEEEFP);
        return (rgb || IsGrey(f.photometric)) && depth ? Layout::Planes : Layout::Refused;
    }
    return Layout::OpenCv;
}

// Hands `use(firstRow, rowCount, rows)` the rows of one plane band after band, each row
// `rowBytes` long, from strips or from tiles. false when libtiff cannot read a part.
template <typename Use>
bool ForEachBand(TIFF* tiff, const Fields& f, uint16_t plane, size_t rowBytes, Use use) {
    std::vector<uint8_t> band;
    if (TIFFIsTiled(tiff)) {
        uint32_t tileWidth = 0, tileLength = 0;
        if (!TIFFGetField(tiff, TIFFTAG_TILEWIDTH, &tileWidth) ||
            !TIFFGetField(tiff, TIFFTAG_TILELENGTH, &tileLength) || tileWidth == 0 ||
            tileLength == 0) {
            return false;
        }
        const tmsize_t tileBytes = TIFFTileSize(tiff);
        const tmsize_t tileRowBytes = TIFFTileRowSize(tiff);
        if (tileBytes <= 0 || tileRowBytes <= 0 ||
            static_cast<uint64_t>(tileRowBytes) * tileLength > static_cast<uint64_t>(tileBytes)) {
            return false;
        }
        std::vector<uint8_t> tile(static_cast<size_t>(tileBytes));
        band.resize(rowBytes * tileLength);
        // Tile widths are multiples of 16, so every tile column starts on a byte.
        const size_t pixelBits =
            size_t{f.bits} * (f.planar == PLANARCONFIG_SEPARATE ? 1 : f.samples);
        for (uint32_t y = 0; y < f.height; y += tileLength) {
            const uint32_t rows = std::min(tileLength, f.height - y);
            for (uint32_t x = 0; x < f.width; x += tileWidth) {
                if (TIFFReadEncodedTile(tiff, TIFFComputeTile(tiff, x, y, 0, plane), tile.data(),
                                        tileBytes) < 0) {
                    return false;
                }
                const size_t at = static_cast<size_t>(x) * pixelBits / 8;
                const size_t count = std::min(static_cast<size_t>(tileRowBytes), rowBytes - at);
                for (uint32_t r = 0; r < rows; ++r) {
                    std::memcpy(band.data() + r * rowBytes + at, tile.data() + r * tileRowBytes,
                                count);
                }
            }
            use(y, rows, band.data());
        }
        return true;
    }
    uint32_t rowsPerStrip = f.height;
    TIFFGetFieldDefaulted(tiff, TIFFTAG_ROWSPERSTRIP, &rowsPerStrip);
    rowsPerStrip = std::clamp<uint32_t>(rowsPerStrip, 1, f.height);
    band.resize(rowBytes * rowsPerStrip);
    for (uint32_t y = 0; y < f.height; y += rowsPerStrip) {
        const uint32_t rows = std::min(rowsPerStrip, f.height - y);
        const auto wanted = static_cast<tmsize_t>(rowBytes * rows);
        // A strip cut short is damage: its rows would be made up.
        if (TIFFReadEncodedStrip(tiff, TIFFComputeStrip(tiff, y, plane), band.data(), wanted) <
            wanted) {
            return false;
        }
        use(y, rows, band.data());
    }
    return true;
}

// Bytes of one row of one plane: all samples when they are contiguous.
size_t RowBytes(const Fields& f) {
    const uint64_t samples = f.planar == PLANARCONFIG_SEPARATE ? 1 : f.samples;
    return static_cast<size_t>((uint64_t{f.width} * samples * f.bits + 7) / 8);
}

bool DecodePacked(TIFF* tiff, const Fields& f, cv::Mat& image) {
    const bool palette = f.photometric == PHOTOMETRIC_PALETTE;
    const unsigned mask = (1u << f.bits) - 1;
    // Grey levels, or the palette's colours in OpenCV's order.
    std::vector<cv::Vec3b> colours(mask + 1);
    if (palette) {
        uint16_t *red = nullptr, *green = nullptr, *blue = nullptr;
        if (!TIFFGetField(tiff, TIFFTAG_COLORMAP, &red, &green, &blue)) {
            return false;
        }
        // Some writers store 8-bit values; libtiff's own reading takes them as such too.
        bool eightBit = true;
        for (unsigned i = 0; i <= mask; ++i) {
            eightBit = eightBit && red[i] < 256 && green[i] < 256 && blue[i] < 256;
        }
        const auto narrow = [eightBit](uint16_t v) {
            return static_cast<uint8_t>(eightBit ? v : (v * 255u + 32767u) / 65535u);
        };
        for (unsigned i = 0; i <= mask; ++i) {
            colours[i] = {narrow(blue[i]), narrow(green[i]), narrow(red[i])};
        }
    } else {
        for (unsigned i = 0; i <= mask; ++i) {
            auto level = static_cast<uint8_t>((i * 255u + mask / 2) / mask);
            if (f.photometric == PHOTOMETRIC_MINISWHITE) {
                level = static_cast<uint8_t>(255 - level);
            }
            colours[i] = {level, level, level};
        }
    }
    image.create(static_cast<int>(f.height), static_cast<int>(f.width),
                 palette ? CV_8UC3 : CV_8UC1);
    const size_t rowBytes = RowBytes(f);
    const unsigned step = f.bits * f.samples;  // bits from one pixel to the next
    return ForEachBand(tiff, f, 0, rowBytes, [&](uint32_t first, uint32_t rows, const uint8_t* in) {
        for (uint32_t r = 0; r < rows; ++r) {
            const uint8_t* row = in + r * rowBytes;
            uint8_t* out = image.ptr<uint8_t>(static_cast<int>(first + r));
            for (uint32_t x = 0; x < f.width; ++x) {
                const size_t bit = static_cast<size_t>(x) * step;
                const unsigned index = (row[bit / 8] >> (8 - f.bits - bit % 8)) & mask;
                if (palette) {
                    std::memcpy(out + 3 * x, colours[index].val, 3);
                } else {
                    out[x] = colours[index][0];
                }
            }
        }
    });
}

// sRGB's transfer curve on a linear value, clamped to 0 to 1.
double Encoded(double linear) {
    linear = std::clamp(linear, 0.0, 1.0);
    return linear <= 0.0031308 ? 12.92 * linear : 1.055 * std::pow(linear, 1 / 2.4) - 0.055;
}

double LabInverse(double t) {
    constexpr double kDelta = 6.0 / 29.0;
    return t > kDelta ? t * t * t : 3 * kDelta * kDelta * (t - 4.0 / 29.0);
}

// L*a*b* (D65 white, as ImageMagick and libtiff take it) to sRGB, each from 0 to 1: R, G, B.
cv::Vec3d LabToRgb(double l, double a, double b) {
    const double fy = (l + 16) / 116;
    const double x = 0.95047 * LabInverse(fy + a / 500);
    const double y = LabInverse(fy);
    const double z = 1.08883 * LabInverse(fy - b / 200);
    return {Encoded(3.2404542 * x - 1.5371385 * y - 0.4985314 * z),
            Encoded(-0.9692660 * x + 1.8760108 * y + 0.0415560 * z),
            Encoded(0.0556434 * x - 0.2040259 * y + 1.0572252 * z)};
}

bool DecodeLab(TIFF* tiff, const Fields& f, cv::Mat& image) {
    const bool wide = f.bits == 16;
    image.create(static_cast<int>(f.height), static_cast<int>(f.width), wide ? CV_16UC3 : CV_8UC3);
    const size_t rowBytes = RowBytes(f);
    const double top = wide ? 65535.0 : 255.0;
    return ForEachBand(tiff, f, 0, rowBytes, [&](uint32_t first, uint32_t rows, const uint8_t* in) {
        for (uint32_t r = 0; r < rows; ++r) {
            const uint8_t* row = in + r * rowBytes;
            const int y = static_cast<int>(first + r);
            for (uint32_t x = 0; x < f.width; ++x) {
                // L from 0 to 100 over the unsigned range; a and b signed, 1 a unit at 8 bits.
                cv::Vec3d rgb;
                if (wide) {
                    const auto* p = reinterpret_cast<const uint16_t*>(row) + size_t{x} * f.samples;
                    rgb = LabToRgb(p[0] * 100.0 / 65535.0, static_cast<int16_t>(p[1]) / 256.0,
                                   static_cast<int16_t>(p[2]) / 256.0);
                } else {
                    const uint8_t* p = row + size_t{x} * f.samples;
                    rgb = LabToRgb(p[0] * 100.0 / 255.0, static_cast<int8_t>(p[1]),
                                   static_cast<int8_t>(p[2]));
                }
                for (int c = 0; c < 3; ++c) {
                    const auto value = static_cast<uint16_t>(std::lround(rgb[2 - c] * top));
                    if (wide) {
                        image.ptr<uint16_t>(y)[3 * x + c] = value;
                    } else {
                        image.ptr<uint8_t>(y)[3 * x + c] = static_cast<uint8_t>(value);
                    }
                }
            }
        }
    });
}

bool DecodeUint32(TIFF* tiff, const Fields& f, cv::Mat& image) {
    image.create(static_cast<int>(f.height), static_cast<int>(f.width), CV_32FC1);
    const size_t rowBytes = RowBytes(f);
    const bool inverted = f.photometric == PHOTOMETRIC_MINISWHITE;
    const uint16_t stride = f.planar == PLANARCONFIG_SEPARATE ? 1 : f.samples;
    return ForEachBand(tiff, f, 0, rowBytes, [&](uint32_t first, uint32_t rows, const uint8_t* in) {
        for (uint32_t r = 0; r < rows; ++r) {
            const auto* row = reinterpret_cast<const uint32_t*>(in + r * rowBytes);
            float* out = image.ptr<float>(static_cast<int>(first + r));
            for (uint32_t x = 0; x < f.width; ++x) {
                const double v = row[size_t{x} * stride] / 4294967295.0;
                out[x] = static_cast<float>(inverted ? 1.0 - v : v);
            }
        }
    });
}

bool DecodePlanes(TIFF* tiff, const Fields& f, cv::Mat& image) {
    const int depth = f.bits == 16 ? CV_16U : f.bits == 32 ? CV_32F : CV_64F;
    // Grey keeps its first plane only, as OpenCV keeps one channel of grey.
    const int channels = IsGrey(f.photometric) ? 1 : f.samples >= 4 ? 4 : 3;
    image.create(static_cast<int>(f.height), static_cast<int>(f.width),
                 CV_MAKETYPE(depth, channels));
    const size_t rowBytes = RowBytes(f);
    const size_t sampleBytes = f.bits / 8;
    for (int plane = 0; plane < channels; ++plane) {
        // Red, green and blue go to OpenCV's blue, green and red.
        const int channel = channels >= 3 && plane < 3 ? 2 - plane : plane;
        const bool read =
            ForEachBand(tiff, f, static_cast<uint16_t>(plane), rowBytes,
                        [&](uint32_t first, uint32_t rows, const uint8_t* in) {
                            for (uint32_t r = 0; r < rows; ++r) {
                                const uint8_t* from = in + r * rowBytes;
                                uint8_t* to = image.ptr<uint8_t>(static_cast<int>(first + r)) +
                                              static_cast<size_t>(channel) * sampleBytes;
                                for (uint32_t x = 0; x < f.width; ++x) {
                                    std::memcpy(to + size_t{x} * channels * sampleBytes,
                                                from + size_t{x} * sampleBytes, sampleBytes);
                                }
                            }
                        });
        if (!read) {
            return false;
        }
    }
    return true;
}

// The file's InterColorProfile; empty when it has none.
ByteBuffer ProfileOf(TIFF* tiff) {
    uint32_t size = 0;
    const uint8_t* data = nullptr;
    if (!TIFFGetField(tiff, TIFFTAG_ICCPROFILE, &size, &data) || data == nullptr) {
        return {};
    }
    return ByteBuffer(data, data + size);
}

bool DecodeCmyk(TIFF* tiff, const Fields& f, cv::Mat& image) {
    const int depth = f.bits == 16 ? CV_16U : CV_8U;
    // The four inks, and an unassociated alpha after them; other extra samples are left out.
    const int channels = f.samples >= 5 && f.firstExtra == EXTRASAMPLE_UNASSALPHA ? 5 : 4;
    cv::Mat inks(static_cast<int>(f.height), static_cast<int>(f.width),
                 CV_MAKETYPE(depth, channels));
    const size_t rowBytes = RowBytes(f);
    const size_t sampleBytes = f.bits / 8;
    const bool separate = f.planar == PLANARCONFIG_SEPARATE;
    const size_t stride = (separate ? 1 : f.samples) * sampleBytes;  // from pixel to pixel
    const size_t pixelBytes = channels * sampleBytes;
    for (int plane = 0; plane < (separate ? channels : 1); ++plane) {
        const size_t at = static_cast<size_t>(plane) * sampleBytes;
        const size_t count = separate ? sampleBytes : pixelBytes;
        const bool read =
            ForEachBand(tiff, f, static_cast<uint16_t>(plane), rowBytes,
                        [&](uint32_t first, uint32_t rows, const uint8_t* in) {
                            for (uint32_t r = 0; r < rows; ++r) {
                                const uint8_t* from = in + r * rowBytes;
                                uint8_t* to = inks.ptr<uint8_t>(static_cast<int>(first + r)) + at;
                                for (uint32_t x = 0; x < f.width; ++x) {
                                    std::memcpy(to + x * pixelBytes, from + x * stride, count);
                                }
                            }
                        });
        if (!read) {
            return false;
        }
    }
    // 0 is no ink in TIFF, whatever the writer.
    CmykToSrgb(inks, InkValues::Plain, ProfileOf(tiff), image);
    return true;
}

}  // namespace

TiffDecodeResult DecodeTiff(const std::string& path, cv::Mat& image, bool& lackedMemory,
                            bool* srgb) {
    lackedMemory = false;
    if (srgb != nullptr) {
        *srgb = false;
    }
    TiffHandle tiff = OpenQuietTiff(path);
    if (!tiff) {
        return TiffDecodeResult::NotHandled;
    }
    TIFF* t = tiff.get();
    Fields f;
    if (!TIFFGetField(t, TIFFTAG_IMAGEWIDTH, &f.width) ||
        !TIFFGetField(t, TIFFTAG_IMAGELENGTH, &f.height) ||
        !TIFFGetField(t, TIFFTAG_PHOTOMETRIC, &f.photometric)) {
        return TiffDecodeResult::NotHandled;
    }
    TIFFGetFieldDefaulted(t, TIFFTAG_BITSPERSAMPLE, &f.bits);
    TIFFGetFieldDefaulted(t, TIFFTAG_SAMPLESPERPIXEL, &f.samples);
    TIFFGetFieldDefaulted(t, TIFFTAG_PLANARCONFIG, &f.planar);
    TIFFGetFieldDefaulted(t, TIFFTAG_SAMPLEFORMAT, &f.format);
    TIFFGetFieldDefaulted(t, TIFFTAG_ORIENTATION, &f.orientation);
    TIFFGetFieldDefaulted(t, TIFFTAG_INKSET, &f.inkSet);
    uint16_t extraCount = 0;
    const uint16_t* extraTypes = nullptr;
    if (TIFFGetField(t, TIFFTAG_EXTRASAMPLES, &extraCount, &extraTypes) && extraCount > 0 &&
        extraTypes != nullptr) {
        f.firstExtra = extraTypes[0];
    }
    const Layout layout = LayoutOf(f);
    if (layout == Layout::OpenCv) {
        return TiffDecodeResult::NotHandled;
    }
    // OpenCV's own bounds on a decoded image.
    if (layout == Layout::Refused || f.width == 0 || f.height == 0 || f.width > (1u << 20) ||
        f.height > (1u << 20) || uint64_t{f.width} * f.height > (uint64_t{1} << 30) ||
        f.samples == 0) {
        return TiffDecodeResult::Failed;
    }
    bool decoded = false;
    try {
        switch (layout) {
            case Layout::Packed:
                decoded = DecodePacked(t, f, image);
                break;
            case Layout::Lab:
                decoded = DecodeLab(t, f, image);
                break;
            case Layout::Uint32:
                decoded = DecodeUint32(t, f, image);
                break;
            case Layout::Planes:
                decoded = DecodePlanes(t, f, image);
                break;
            case Layout::Cmyk:
                decoded = DecodeCmyk(t, f, image);
                if (srgb != nullptr) {
                    *srgb = decoded;
                }
                break;
            case Layout::OpenCv:
            case Layout::Refused:
                break;
        }
        if (decoded) {
            ApplyOrientation(f.orientation, image);
        }
    } catch (const cv::Exception& e) {
        lackedMemory = e.code == cv::Error::StsNoMem;
        decoded = false;
    } catch (const std::bad_alloc&) {
        lackedMemory = true;
        decoded = false;
    }
    if (!decoded) {
        image.release();
        return TiffDecodeResult::Failed;
    }
    return TiffDecodeResult::Decoded;
}

}  // namespace korvale
