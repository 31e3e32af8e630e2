// PNG and TIFF files written by other programs (ImageMagick, Pillow, libtiff's tools) at test
// time: what the probe reads from them, and a stamped DPI read back by the probe and by those
// programs, with the pixels decoding as before.
#include <gtest/gtest.h>

#include <cstdio>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <optional>
#include <ostream>
#include <string>

#include "ImageHeader.h"
#include "ResolutionStamp.h"
#include "TestFiles.h"
#include "Text.h"

namespace korvale {

void PrintTo(const ImageHeaderInfo& info, std::ostream* os) {
    *os << info.width << "x" << info.height << "@" << info.dpi;
}

namespace {

// Standard output of a shell command, without the trailing line end.
std::string Output(const std::string& command) {
    std::string text;
    if (FILE* pipe = ::popen((command + " 2>/dev/null").c_str(), "r")) {
        char buffer[256];
        size_t got;
        while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
            text.append(buffer, got);
        }
        ::pclose(pipe);
    }
    while (!text.empty() && text.back() == '\n') {
        text.pop_back();
    }
    return text;
}

bool Has(const std::string& tool) {
    return !Output("command -v " + tool).empty();
}

// The Debian interpreter has Pillow from python3-pil, which another python3 on the path may lack.
const std::string& Python() {
    static const std::string python = [] {
        for (const char* candidate : {"/usr/bin/python3", "python3"}) {
            if (Output(std::string(candidate) + " -c 'import PIL; print(1)'") == "1") {
                return std::string(candidate);
            }
        }
        return std::string();
    }();
    return python;
}

std::string Quoted(const std::string& path) {
    return "'" + path + "'";
}

std::string PillowDpi(const std::string& path) {
    return Output(Python() +
                  " -c \"import sys; from PIL import Image; im = Image.open(sys.argv[1]); "
                  "im.load(); d = im.info.get('dpi'); "
                  "print('%d %d' % (round(d[0]), round(d[1])) if d else 'none')\" " +
                  Quoted(path));
}

struct MadeFile {
    const char* name;
    const char* fileName;
    // Made with "OUT" standing for the file's path; `tools` must all be present.
    std::string command;
    std::vector<std::string> tools;
    std::optional<ImageHeaderInfo> expected;
};

void PrintTo(const MadeFile& c, std::ostream* os) {
    *os << c.name;
}

std::optional<ImageHeaderInfo> Info(uint32_t w, uint32_t h, uint32_t dpi) {
    return ImageHeaderInfo{w, h, dpi};
}

std::string Pillow(const std::string& statements) {
    return "PYTHON -c \"from PIL import Image; " + statements + "\"";
}

const std::string kMagick = "convert";

class MadeByOthers : public ::testing::TestWithParam<MadeFile> {
protected:
    void SetUp() override {
        for (const std::string& tool : GetParam().tools) {
            if (tool == "pillow" ? Python().empty() : !Has(tool)) {
                GTEST_SKIP() << tool << " is not installed";
            }
        }
        path_ = dir_.File(GetParam().fileName);
        std::string command = GetParam().command;
        for (size_t at; (at = command.find("OUT")) != std::string::npos;) {
            command.replace(at, 3, path_);  // a temporary folder's path needs no quotes
        }
        if (const size_t at = command.find("PYTHON"); at != std::string::npos) {
            command.replace(at, 6, Python());
        }
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
    }

    test::TempDir dir_;
    std::string path_;
};

TEST_P(MadeByOthers, ProbeReadsWhatTheWriterStored) {
    EXPECT_EQ(ProbeImageHeader(path_), GetParam().expected);
}

TEST_P(MadeByOthers, StampedDpiReadsBackEverywhereAndThePixelsStay) {
    const test::Bytes before = test::ReadFile(path_);
    const cv::Mat pixels = cv::imread(path_, cv::IMREAD_UNCHANGED);
    StampResolution(path_, 150);
    if (!GetParam().expected) {
        EXPECT_EQ(test::ReadFile(path_), before) << "an unreadable file is left alone";
        return;
    }
    const ImageHeaderInfo& expected = *GetParam().expected;
    EXPECT_EQ(ProbeImageHeader(path_), (ImageHeaderInfo{expected.width, expected.height, 150}));
    EXPECT_EQ(PillowDpi(path_), "150 150");
    if (HasExtension(GetParam().fileName, "png")) {
        EXPECT_EQ(Output("identify -units PixelsPerInch -format '%[fx:round(resolution.x)]' " +
                         Quoted(path_)),
                  "150");
    } else {
        EXPECT_EQ(Output("identify -format '%x %y %U' " + Quoted(path_)), "150 150 PixelsPerInch");
        EXPECT_NE(Output("tiffinfo " + Quoted(path_)).find("Resolution: 150, 150 pixels/inch"),
                  std::string::npos);
    }
    const cv::Mat after = cv::imread(path_, cv::IMREAD_UNCHANGED);
    ASSERT_FALSE(pixels.empty());
    ASSERT_EQ(after.size(), pixels.size());
    ASSERT_EQ(after.type(), pixels.type());
    EXPECT_EQ(cv::norm(after, pixels, cv::NORM_INF), 0.0);
}

INSTANTIATE_TEST_SUITE_P(
    Png, MadeByOthers,
    ::testing::Values(
        MadeFile{"MagickInch300",
                 "a.png",
                 kMagick + " -size 30x20 xc:red -units PixelsPerInch -density 300 OUT",
                 {"convert", "identify"},
                 Info(30, 20, 300)},
        MadeFile{"MagickNoPhys",
                 "a.png",
                 kMagick + " -size 30x20 xc:red OUT",
                 {"convert", "identify"},
                 Info(30, 20, 0)},
        MadeFile{"MagickUnit0",
                 "a.png",
                 kMagick + " -size 30x20 xc:red -units Undefined -density 3x2 OUT",
                 {"convert", "identify"},
                 Info(30, 20, 0)},
        MadeFile{"MagickCentimetre16BitAlpha",
                 "a.PNG",
                 kMagick +
                     " -size 31x21 xc:'rgba(10,200,30,0.5)' -depth 16 -units PixelsPerCentimeter "
                     "-density 40 PNG64:OUT",
                 {"convert", "identify"},
                 Info(31, 21, 102)},
        MadeFile{
            "MagickGrey",
            "a.png",
            kMagick + " -size 7x9 gradient: -colorspace Gray -units PixelsPerInch -density 72 OUT",
            {"convert", "identify"},
            Info(7, 9, 72)},
        MadeFile{"PillowAlpha72",
                 "a.png",
                 Pillow("Image.new('RGBA', (30, 20), (1, 2, 3, 4)).save('OUT', dpi=(72, 72))"),
                 {"pillow", "identify"},
                 Info(30, 20, 72)},
        MadeFile{"Pillow16BitGreyNoPhys",
                 "a.png",
                 Pillow("Image.new('I;16', (40, 10), 1000).save('OUT')"),
                 {"pillow", "identify"},
                 Info(40, 10, 0)},
        MadeFile{"PillowExifOrientation6",
                 "a.png",
                 Pillow("exif = Image.Exif(); exif[274] = 6; "
                        "Image.new('RGB', (30, 20), (9, 8, 7)).save('OUT', exif=exif.tobytes())"),
                 {"pillow", "identify"},
                 Info(20, 30, 0)},
        MadeFile{"TiffNamedPng",
                 "a.png",
                 Pillow("Image.new('RGB', (30, 20)).save('OUT', format='TIFF')"),
                 {"pillow"},
                 std::nullopt}),
    [](const auto& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    Tiff, MadeByOthers,
    ::testing::Values(
        MadeFile{"MagickLittle300",
                 "a.tif",
                 kMagick + " -size 30x20 xc:red -endian LSB -units PixelsPerInch -density 300 OUT",
                 {"convert", "identify", "tiffinfo"},
                 Info(30, 20, 300)},
        MadeFile{"MagickBig16BitAlpha",
                 "a.tiff",
                 kMagick + " -size 30x20 xc:'rgba(10,200,30,0.5)' -depth 16 -endian MSB "
                           "-units PixelsPerInch -density 96 OUT",
                 {"convert", "identify", "tiffinfo"},
                 Info(30, 20, 96)},
        MadeFile{"MagickCentimetre",
                 "a.TIF",
                 kMagick + " -size 30x20 xc:red -units PixelsPerCentimeter -density 118.11 OUT",
                 {"convert", "identify", "tiffinfo"},
                 Info(30, 20, 300)},
        MadeFile{"MagickNoResolution",
                 "a.tif",
                 kMagick + " -size 30x20 xc:red OUT",
                 {"convert", "identify", "tiffinfo"},
                 Info(30, 20, 0)},
        MadeFile{"PillowLongSizes",
                 "a.tif",
                 Pillow("Image.new('RGB', (30, 20), (5, 6, 7)).save('OUT', dpi=(150, 150))"),
                 {"pillow", "identify", "tiffinfo"},
                 Info(30, 20, 150)},
        MadeFile{"PillowGreyLzwNoResolution",
                 "a.tif",
                 Pillow("Image.new('L', (30, 20), 9).save('OUT', compression='tiff_lzw')"),
                 {"pillow", "identify", "tiffinfo"},
                 Info(30, 20, 0)},
        MadeFile{"TiffcpBigEndian",
                 "a.tif",
                 Pillow("Image.new('RGB', (30, 20)).save('OUT.in', dpi=(72, 72), format='TIFF')") +
                     " && tiffcp -B OUT.in OUT",
                 {"pillow", "tiffcp", "identify", "tiffinfo"},
                 Info(30, 20, 72)},
        MadeFile{"Orientation5",
                 "a.tif",
                 kMagick + " -size 30x20 xc:red OUT && tiffset -s 274 5 OUT",
                 {"convert", "tiffset", "identify", "tiffinfo"},
                 Info(20, 30, 0)},
        MadeFile{"Orientation6",
                 "a.tif",
                 kMagick + " -size 30x20 xc:red OUT && tiffset -s 274 6 OUT",
                 {"convert", "tiffset", "identify", "tiffinfo"},
                 Info(20, 30, 0)},
        MadeFile{"Orientation7",
                 "a.tif",
                 kMagick + " -size 30x20 xc:red OUT && tiffset -s 274 7 OUT",
                 {"convert", "tiffset", "identify", "tiffinfo"},
                 Info(20, 30, 0)},
        MadeFile{"Orientation8",
                 "a.tif",
                 kMagick + " -size 30x20 xc:red OUT && tiffset -s 274 8 OUT",
                 {"convert", "tiffset", "identify", "tiffinfo"},
                 Info(20, 30, 0)},
        MadeFile{"Orientation3",
                 "a.tif",
                 kMagick + " -size 30x20 xc:red OUT && tiffset -s 274 3 OUT",
                 {"convert", "tiffset", "identify", "tiffinfo"},
                 Info(30, 20, 0)},
        MadeFile{"BigTiffRefused",
                 "a.tif",
                 kMagick + " -size 30x20 xc:red TIFF:OUT.in && tiffcp -8 OUT.in OUT",
                 {"convert", "tiffcp"},
                 std::nullopt},
        MadeFile{"PngNamedTif",
                 "a.tif",
                 kMagick + " -size 30x20 xc:red PNG:OUT",
                 {"convert"},
                 std::nullopt}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace korvale
