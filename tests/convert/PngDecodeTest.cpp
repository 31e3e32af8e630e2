// The PNG decoder gives exactly the pixels that cv::imread gives with IMREAD_UNCHANGED, over
// every colour type, depth, transparency and interlacing (with the tRNS of grey as alpha, which
// OpenCV drops), and fails quietly on damaged files.
#include <gtest/gtest.h>
#include <png.h>

#include <cstdio>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "Conversion.h"
#include "PngDecode.h"
#include "TestFiles.h"

namespace korvale {
namespace {

struct PngKind {
    const char* name;
    int colourType;
    int bitDepth;
    bool transparency;  // a tRNS chunk
    bool interlaced;
};

// Writes a 13 x 9 image of the kind with libpng itself, the samples a simple varying pattern.
void WritePng(const std::string& path, const PngKind& kind) {
    constexpr int kWidth = 13, kHeight = 9;
    std::FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_init_io(png, file);
    png_set_IHDR(png, info, kWidth, kHeight, kind.bitDepth, kind.colourType,
                 kind.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    int channels = 1;
    switch (kind.colourType) {
        case PNG_COLOR_TYPE_PALETTE: {
            png_color palette[16];
            png_byte alpha[16];
            for (int i = 0; i < 16; ++i) {
                palette[i] = {static_cast<png_byte>(i * 16), static_cast<png_byte>(255 - i * 9),
                              static_cast<png_byte>(i * 5)};
                alpha[i] = static_cast<png_byte>(i * 17);
            }
            png_set_PLTE(png, info, palette, 1 << std::min(kind.bitDepth, 4));
            if (kind.transparency) {
                png_set_tRNS(png, info, alpha, 1 << std::min(kind.bitDepth, 4), nullptr);
            }
            break;
        }
        case PNG_COLOR_TYPE_GRAY:
        case PNG_COLOR_TYPE_RGB:
            if (kind.transparency) {
                png_color_16 key{};
                key.gray = key.red = key.green = key.blue = 1;
                png_set_tRNS(png, info, nullptr, 0, &key);
            }
            channels = kind.colourType == PNG_COLOR_TYPE_RGB ? 3 : 1;
            break;
        case PNG_COLOR_TYPE_GRAY_ALPHA:
            channels = 2;
            break;
        default:
            channels = 4;
    }
    png_write_info(png, info);
    if (kind.bitDepth < 8) {
        png_set_packing(png);
    }
    if (kind.bitDepth == 16) {
        png_set_swap(png);
    }
    png_set_interlace_handling(png);
    const int sampleBytes = kind.bitDepth == 16 ? 2 : 1;
    const unsigned limit = kind.colourType == PNG_COLOR_TYPE_PALETTE
                               ? (1u << std::min(kind.bitDepth, 4))
                               : (1u << kind.bitDepth);
    std::vector<png_byte> pixels(static_cast<size_t>(kWidth * kHeight * channels * sampleBytes));
    for (size_t i = 0; i < pixels.size() / sampleBytes; ++i) {
        const unsigned value = static_cast<unsigned>(i * 37 + i / 5) % limit;
        if (sampleBytes == 2) {
            pixels[2 * i] = static_cast<png_byte>(value);
            pixels[2 * i + 1] = static_cast<png_byte>(value >> 8);
        } else {
            pixels[i] = static_cast<png_byte>(value);
        }
    }
    std::vector<png_bytep> rows(kHeight);
    for (int y = 0; y < kHeight; ++y) {
        rows[static_cast<size_t>(y)] = pixels.data() + y * kWidth * channels * sampleBytes;
    }
    png_write_image(png, rows.data());
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    std::fclose(file);
}

// Grey as BGRA, transparent where the stored sample is the tRNS key WritePng gives (1), which
// OpenCV's decode shows scaled to 8 bits for depths below 8.
cv::Mat WithKeyTransparent(const cv::Mat& grey, int bitDepth) {
    cv::Mat bgra;
    cv::cvtColor(grey, bgra, cv::COLOR_GRAY2BGRA);
    const int key = bitDepth < 8 ? 255 / ((1 << bitDepth) - 1) : 1;
    for (int y = 0; y < grey.rows; ++y) {
        for (int x = 0; x < grey.cols; ++x) {
            if (grey.depth() == CV_16U && grey.at<uint16_t>(y, x) == key) {
                bgra.at<cv::Vec4w>(y, x)[3] = 0;
            } else if (grey.depth() == CV_8U && grey.at<uint8_t>(y, x) == key) {
                bgra.at<cv::Vec4b>(y, x)[3] = 0;
            }
        }
    }
    return bgra;
}

bool SamePixels(const cv::Mat& a, const cv::Mat& b) {
    return a.type() == b.type() && a.size() == b.size() &&
           cv::norm(a.reshape(1), b.reshape(1), cv::NORM_INF) == 0;
}

TEST(DecodePng, GivesImreadsPixelsForEveryKind) {
    const PngKind kinds[] = {
        {"grey 1", PNG_COLOR_TYPE_GRAY, 1, false, false},
        {"grey 2", PNG_COLOR_TYPE_GRAY, 2, false, false},
        {"grey 4", PNG_COLOR_TYPE_GRAY, 4, false, false},
        {"grey 8", PNG_COLOR_TYPE_GRAY, 8, false, false},
        {"grey 8 tRNS", PNG_COLOR_TYPE_GRAY, 8, true, false},
        {"grey 16 tRNS", PNG_COLOR_TYPE_GRAY, 16, true, false},
        {"grey 2 tRNS interlaced", PNG_COLOR_TYPE_GRAY, 2, true, true},
        {"grey 16", PNG_COLOR_TYPE_GRAY, 16, false, false},
        {"grey alpha 8", PNG_COLOR_TYPE_GRAY_ALPHA, 8, false, false},
        {"grey alpha 16", PNG_COLOR_TYPE_GRAY_ALPHA, 16, false, false},
        {"rgb 8", PNG_COLOR_TYPE_RGB, 8, false, false},
        {"rgb 8 tRNS", PNG_COLOR_TYPE_RGB, 8, true, false},
        {"rgb 16", PNG_COLOR_TYPE_RGB, 16, false, false},
        {"rgb 16 tRNS", PNG_COLOR_TYPE_RGB, 16, true, false},
        {"rgba 8", PNG_COLOR_TYPE_RGB_ALPHA, 8, false, false},
        {"rgba 16", PNG_COLOR_TYPE_RGB_ALPHA, 16, false, false},
        {"palette 1", PNG_COLOR_TYPE_PALETTE, 1, false, false},
        {"palette 4", PNG_COLOR_TYPE_PALETTE, 4, false, false},
        {"palette 8", PNG_COLOR_TYPE_PALETTE, 8, false, false},
        {"palette 8 tRNS", PNG_COLOR_TYPE_PALETTE, 8, true, false},
        {"rgb 8 interlaced", PNG_COLOR_TYPE_RGB, 8, false, true},
        {"palette 2 tRNS interlaced", PNG_COLOR_TYPE_PALETTE, 2, true, true},
        {"grey alpha 16 interlaced", PNG_COLOR_TYPE_GRAY_ALPHA, 16, false, true},
    };
    test::TempDir dir;
    for (const PngKind& kind : kinds) {
        const std::string path = dir.File("k.png");
        WritePng(path, kind);
        cv::Mat expected = cv::imread(path, cv::IMREAD_UNCHANGED);
        ASSERT_FALSE(expected.empty()) << kind.name;
        if (kind.colourType == PNG_COLOR_TYPE_GRAY && kind.transparency) {
            // OpenCV drops a grey image's tRNS: it becomes alpha as for colours.
            expected = WithKeyTransparent(expected, kind.bitDepth);
        }
        cv::Mat image;
        bool lackedMemory = true;
        EXPECT_EQ(DecodePng(path, image, lackedMemory), PngDecodeResult::Decoded) << kind.name;
        EXPECT_FALSE(lackedMemory) << kind.name;
        EXPECT_TRUE(SamePixels(image, expected)) << kind.name;
        cv::Mat viaRun;
        ASSERT_TRUE(DecodeImage(path, viaRun)) << kind.name;
        EXPECT_TRUE(SamePixels(viaRun, expected)) << kind.name;
    }
}

TEST(DecodePng, DamagedFilesFailAndOthersAreLeftToOpenCv) {
    test::TempDir dir;
    const std::string good = dir.File("good.png");
    WritePng(good, {"rgb", PNG_COLOR_TYPE_RGB, 8, false, false});
    const test::Bytes bytes = test::ReadFile(good);
    const auto withByte = [&bytes](size_t at, uint8_t value) {
        test::Bytes b = bytes;
        b[at] = value;
        return b;
    };
    const struct {
        const char* name;
        test::Bytes bytes;
        PngDecodeResult expected;
    } cases[] = {
        {"cut in the image data", test::Bytes(bytes.begin(), bytes.begin() + 60),
         PngDecodeResult::Failed},
        {"cut in the header", test::Bytes(bytes.begin(), bytes.begin() + 20),
         PngDecodeResult::Failed},
        {"IHDR CRC wrong", withByte(29, static_cast<uint8_t>(bytes[29] ^ 0xFF)),
         PngDecodeResult::Failed},
        {"image data corrupt",
         withByte(bytes.size() - 20, static_cast<uint8_t>(bytes[bytes.size() - 20] ^ 0xFF)),
         PngDecodeResult::Failed},
        {"zero width", withByte(19, 0), PngDecodeResult::Failed},
        {"signature only", test::Bytes(bytes.begin(), bytes.begin() + 8), PngDecodeResult::Failed},
        {"not a PNG", test::Bytes{'B', 'M', 0, 0}, PngDecodeResult::NotHandled},
        {"empty", test::Bytes{}, PngDecodeResult::NotHandled},
    };
    for (const auto& c : cases) {
        const std::string path = dir.File("d.png");
        test::WriteFile(path, c.bytes);
        cv::Mat image(2, 2, CV_8UC1);
        bool lackedMemory = true;
        EXPECT_EQ(DecodePng(path, image, lackedMemory), c.expected) << c.name;
        EXPECT_TRUE(image.empty()) << c.name;
        EXPECT_FALSE(lackedMemory) << c.name;
        EXPECT_FALSE(DecodeImage(path, image)) << c.name;
    }
    cv::Mat image;
    bool lackedMemory = false;
    EXPECT_EQ(DecodePng(dir.File("missing.png"), image, lackedMemory), PngDecodeResult::NotHandled);
}

}  // namespace
}  // namespace korvale
