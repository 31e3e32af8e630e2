// Crop-and-paste of plain TIFFs made strip by strip from the source's bytes: the same file as
// decoding with OpenCV, placing and encoding give, byte for byte, for every anchor, cut and
// margin; any file it does not handle is left to that usual way.
#include <gtest/gtest.h>
#include <tiffio.h>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include "BatchRun.h"
#include "Conversion.h"
#include "OutputWriter.h"
#include "TestFiles.h"
#include "TiffCropPaste.h"
#include "TiffEncode.h"

namespace korvale {
namespace {

struct Source {
    int width;
    int height;
    int channels;           // 1 grey, 3 RGB, 4 RGBA
    uint32_t rowsPerStrip;  // 0: all rows in one strip
    bool bigEndian = false;
    uint16_t compression = COMPRESSION_NONE;
    uint16_t orientation = ORIENTATION_TOPLEFT;
    int bits = 8;
    bool tiled = false;
};

// Random samples (RGB in file order) written with libtiff as `source` says.
void WriteSource(const std::string& path, const Source& source) {
    TIFF* t = TIFFOpen(path.c_str(), source.bigEndian ? "wb" : "wl");
    ASSERT_NE(t, nullptr);
    const int bytes = source.bits / 8;
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, source.width);
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, source.height);
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, source.bits);
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, source.channels);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC,
                 source.channels == 1 ? PHOTOMETRIC_MINISBLACK : PHOTOMETRIC_RGB);
    TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(t, TIFFTAG_COMPRESSION, source.compression);
    if (source.orientation != ORIENTATION_TOPLEFT) {
        TIFFSetField(t, TIFFTAG_ORIENTATION, source.orientation);
    }
    if (source.channels == 4) {
        const uint16_t extra = EXTRASAMPLE_UNASSALPHA;
        TIFFSetField(t, TIFFTAG_EXTRASAMPLES, 1, &extra);
    }
    cv::Mat pixels(source.height, source.width * source.channels, bytes == 1 ? CV_8U : CV_16U);
    cv::randu(pixels, 0, bytes == 1 ? 256 : 65536);
    if (source.tiled) {
        TIFFSetField(t, TIFFTAG_TILEWIDTH, 16);
        TIFFSetField(t, TIFFTAG_TILELENGTH, 16);
        std::vector<uint8_t> tile(16 * 16 * source.channels * bytes, 0x5a);
        for (uint32_t i = 0; i < TIFFNumberOfTiles(t); ++i) {
            TIFFWriteEncodedTile(t, i, tile.data(), static_cast<tmsize_t>(tile.size()));
        }
    } else {
        TIFFSetField(t, TIFFTAG_ROWSPERSTRIP,
                     source.rowsPerStrip ? source.rowsPerStrip : uint32_t(source.height));
        for (int y = 0; y < source.height; ++y) {
            ASSERT_GE(TIFFWriteScanline(t, pixels.ptr(y), static_cast<uint32_t>(y)), 0);
        }
    }
    TIFFClose(t);
}

// What the usual way makes of the file.
std::vector<uint8_t> Reference(const std::string& path, PixelSize target, int anchor,
                               const Rgb& margin, uint32_t dpi) {
    cv::Mat decoded;
    EXPECT_TRUE(DecodeImage(path, decoded));
    const PreparedImage prepared = PrepareCropPasted(decoded, target, anchor, margin);
    EXPECT_EQ(prepared.result, ConvertResult::Ok);
    std::vector<uint8_t> bytes;
    EXPECT_TRUE(EncodeTiff(prepared.image, dpi, kTiffCompression, bytes));
    return bytes;
}

TEST(TiffCropPaste, SameBytesAsDecodingPlacingAndEncoding) {
    test::TempDir dir;
    const std::string path = dir.File("in.tif");
    const Source sources[] = {
        {37, 23, 3, 0},       {37, 23, 3, 5, true}, {37, 23, 1, 1},
        {64, 40, 1, 7, true}, {1, 1, 3, 0},         {300, 9, 3, 4},
    };
    const PixelSize targets[] = {{37, 23}, {20, 11}, {50, 31}, {20, 40}, {61, 7}, {1, 1}};
    const Rgb margins[] = {{255, 255, 255}, {10, 200, 30}};
    int compared = 0;
    for (const Source& source : sources) {
        WriteSource(path, source);
        for (const PixelSize target : targets) {
            for (int anchor = 0; anchor < 9; ++anchor) {
                const Rgb& margin = margins[(anchor + target.width) % 2];
                const uint32_t dpi = anchor % 3 == 0 ? 0 : 72 * anchor;
                const std::string where =
                    std::to_string(source.width) + "x" + std::to_string(source.height) + "x" +
                    std::to_string(source.channels) + " rps " +
                    std::to_string(source.rowsPerStrip) + " -> " + std::to_string(target.width) +
                    "x" + std::to_string(target.height) + " anchor " + std::to_string(anchor);
                std::vector<uint8_t> streamed;
                const std::optional<ConvertResult> result =
                    CropPasteTiffToTiff(path, target, anchor, margin, dpi, streamed);
                ASSERT_EQ(result, ConvertResult::Ok) << where;
                ASSERT_EQ(streamed, Reference(path, target, anchor, margin, dpi)) << where;
                ++compared;
            }
        }
    }
    EXPECT_EQ(compared, 6 * 6 * 9);
}

TEST(TiffCropPaste, OtherFilesAreLeftToTheUsualWay) {
    test::TempDir dir;
    const std::string path = dir.File("in.tif");
    const Source others[] = {
        {20, 10, 3, 0, false, COMPRESSION_LZW},
        {20, 10, 3, 0, false, COMPRESSION_NONE, ORIENTATION_BOTRIGHT},
        {20, 10, 3, 0, false, COMPRESSION_NONE, ORIENTATION_LEFTTOP},
        {20, 10, 3, 0, false, COMPRESSION_NONE, ORIENTATION_TOPLEFT, 16},
        {20, 10, 4, 0},
        {32, 32, 3, 0, false, COMPRESSION_NONE, ORIENTATION_TOPLEFT, 8, true},
    };
    std::vector<uint8_t> bytes;
    for (const Source& source : others) {
        WriteSource(path, source);
        EXPECT_EQ(CropPasteTiffToTiff(path, {10, 10}, 4, {}, 300, bytes), std::nullopt)
            << source.compression << " " << source.orientation << " " << source.bits << " "
            << source.channels << " " << source.tiled;
    }
    // Rows past the end of the file, a file that is no TIFF, a folder, no file.
    WriteSource(path, {20, 10, 3, 0});
    test::Bytes whole = test::ReadFile(path);
    test::WriteFile(path, test::Bytes(whole.begin(), whole.begin() + 300));
    EXPECT_EQ(CropPasteTiffToTiff(path, {10, 10}, 4, {}, 300, bytes), std::nullopt);
    test::WriteFile(path, test::Bytes{'I', 'I', 42, 0, 8, 0, 0, 0});
    EXPECT_EQ(CropPasteTiffToTiff(path, {10, 10}, 4, {}, 300, bytes), std::nullopt);
    EXPECT_EQ(CropPasteTiffToTiff(dir.path(), {10, 10}, 4, {}, 300, bytes), std::nullopt);
    EXPECT_EQ(CropPasteTiffToTiff(dir.File("none.tif"), {10, 10}, 4, {}, 300, bytes), std::nullopt);
}

TEST(TiffCropPaste, FailsAsTheUsualWayDoes) {
    test::TempDir dir;
    const std::string path = dir.File("in.tif");
    WriteSource(path, {20, 10, 3, 0});
    std::vector<uint8_t> bytes;
    EXPECT_EQ(CropPasteTiffToTiff(path, {30, 30}, 9, {}, 300, bytes), ConvertResult::BadAnchor);
    EXPECT_EQ(CropPasteTiffToTiff(path, {0, 30}, 4, {}, 300, bytes), ConvertResult::WriteFailed);
    // Beyond what 32-bit offsets reach.
    EXPECT_EQ(CropPasteTiffToTiff(path, {60000, 60000}, 4, {}, 300, bytes),
              ConvertResult::WriteFailed);
}

// The run takes that way for TIFF to TIFF crop-and-paste only, and writes what it made.
TEST(TiffCropPaste, RunWritesTheStreamedOutput) {
    test::TempDir dir;
    const std::string path = dir.File("in.tif");
    WriteSource(path, {37, 23, 3, 5});
    BatchRequest request;
    request.method = BatchMethod::CropPaste;
    request.saveFormat = SaveFormat::Tiff;
    request.applyWidth = request.applyHeight = request.applyDpi = true;
    request.targetWidth = 30;
    request.targetHeight = 40;
    request.targetDpi = 200;
    request.anchor = 4;
    request.margin = {1, 2, 3};
    request.outputFolder = dir.path() + "/";
    FileEntry entry;
    entry.path = path;
    entry.width = 37;
    entry.height = 23;
    const PreparedImage prepared = PrepareOutput(request, entry);
    ASSERT_EQ(prepared.result, ConvertResult::Ok);
    ASSERT_TRUE(prepared.encoded);
    EXPECT_TRUE(prepared.image.empty());
    const std::string out = dir.File("out.tif");
    ASSERT_EQ(WriteOutput(request, prepared, out, 200), ConvertResult::Ok);
    EXPECT_EQ(test::ReadFile(out), *prepared.encoded);
    EXPECT_EQ(*prepared.encoded, Reference(path, {30, 40}, 4, {1, 2, 3}, 200));

    request.method = BatchMethod::Resize;
    EXPECT_FALSE(PrepareOutput(request, entry).encoded);
    request.method = BatchMethod::CropPaste;
    request.saveFormat = SaveFormat::Png;
    EXPECT_FALSE(PrepareOutput(request, entry).encoded);
}

}  // namespace
}  // namespace korvale
