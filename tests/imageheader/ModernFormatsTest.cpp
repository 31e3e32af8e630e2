// HEIF, AVIF, WebP and JPEG XL files written at test time by Debian's own tools (heif-enc,
// avifenc, cwebp, cjxl, ImageMagick, exiftool): the size as shown, the DPI from Exif and the
// decoded pixel, as the probe reads them from the header alone.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "ImageHeader.h"
#include "TestFiles.h"

namespace korvale {

void PrintTo(const ImageHeaderInfo& info, std::ostream* os) {
    *os << info.width << "x" << info.height << "@" << info.dpi;
}
void PrintTo(const PixelLayout& pixel, std::ostream* os) {
    *os << pixel.channels << "x" << pixel.bytesPerChannel;
}

namespace {

bool Has(const std::string& tool) {
    return std::system(("command -v " + tool + " >/dev/null 2>&1").c_str()) == 0;
}

bool Shell(const std::string& command) {
    return std::system(("{ " + command + "; } >/dev/null 2>&1").c_str()) == 0;
}

// The sources the tools start from, made once: 64x48 colour, with alpha, at 16 bits, and a JPEG
// whose Exif says 240 DPI and orientation 6.
class Sources {
public:
    static const Sources& Get() {
        static const Sources sources;
        return sources;
    }
    std::string dir() const { return dir_.path(); }
    bool made() const { return made_; }

private:
    Sources() {
        const std::string d = dir_.path() + "/";
        made_ = Has("convert") && Has("exiftool") &&
                Shell("convert -size 64x48 gradient:red-blue -depth 8 " + d + "src.png") &&
                Shell(
                    "convert -size 64x48 gradient:red-blue -depth 8 -alpha set -channel A "
                    "-evaluate set "
                    "50% +channel PNG32:" +
                    d + "alpha.png") &&
                Shell("convert -size 64x48 gradient:red-blue -depth 16 PNG48:" + d + "deep.png") &&
                Shell("convert -size 33x17 gradient:red-blue -depth 8 " + d + "odd.png") &&
                Shell("convert -size 80x60 gradient:red-blue -depth 8 " + d + "ratio.png") &&
                Shell("convert -size 256x192 gradient:red-blue -depth 8 " + d + "big.png") &&
                Shell("convert " + d + "src.png -quality 90 " + d + "exif.jpg") &&
                Shell(
                    "exiftool -q -overwrite_original -n -Orientation=6 -XResolution=240 "
                    "-YResolution=240 -ResolutionUnit=2 " +
                    d + "exif.jpg") &&
                Shell("exiftool -q -b -EXIF " + d + "exif.jpg > " + d + "exif.bin");
    }
    test::TempDir dir_;
    bool made_ = false;
};

struct MadeFile {
    const char* name;
    const char* fileName;
    // "IN/" stands for the sources' folder, "OUT" for the file made.
    std::string command;
    std::string tool;
    std::optional<ImageHeaderInfo> expected;
    std::optional<PixelLayout> pixel;
};

void PrintTo(const MadeFile& c, std::ostream* os) {
    *os << c.name;
}

class MadeByTools : public ::testing::TestWithParam<MadeFile> {
protected:
    void SetUp() override {
        if (!Has(GetParam().tool)) {
            GTEST_SKIP() << GetParam().tool << " is not installed";
        }
        if (!Sources::Get().made()) {
            GTEST_SKIP() << "ImageMagick and exiftool are needed to make the sources";
        }
        path_ = dir_.File(GetParam().fileName);
        std::string command = GetParam().command;
        for (size_t at; (at = command.find("OUT")) != std::string::npos;) {
            command.replace(at, 3, path_);
        }
        for (size_t at; (at = command.find("IN/")) != std::string::npos;) {
            command.replace(at, 3, Sources::Get().dir() + "/");
        }
        ASSERT_TRUE(Shell(command)) << command;
    }

    test::TempDir dir_;
    std::string path_;
};

TEST_P(MadeByTools, ProbeReadsTheShownSizeAndTheExifDpi) {
    EXPECT_EQ(ProbeImageHeader(path_), GetParam().expected);
    EXPECT_EQ(ProbePixelLayout(path_), GetParam().pixel);
}

std::optional<ImageHeaderInfo> Info(uint32_t w, uint32_t h, uint32_t dpi = 0) {
    return ImageHeaderInfo{w, h, dpi};
}

constexpr PixelLayout kRgb{3, 1};
constexpr PixelLayout kRgba{4, 1};
constexpr PixelLayout kRgb16{3, 2};

INSTANTIATE_TEST_SUITE_P(
    Heif, MadeByTools,
    ::testing::Values(
        MadeFile{"Heic", "a.heic", "heif-enc -q 50 -o OUT IN/src.png", "heif-enc", Info(64, 48),
                 kRgb},
        // The Exif orientation is not applied on top of the item's own transformations.
        MadeFile{"HeicExif", "a.HEIC", "heif-enc -q 50 -o OUT IN/exif.jpg", "heif-enc",
                 Info(64, 48, 240), kRgb},
        MadeFile{"HeicAlpha", "a.heif", "heif-enc -q 50 -o OUT IN/alpha.png", "heif-enc",
                 Info(64, 48), kRgba},
        MadeFile{"Heic10Bit", "a.hif", "heif-enc -q 50 -b 10 -o OUT IN/deep.png", "heif-enc",
                 Info(64, 48), kRgb16},
        MadeFile{"AvifIrot1", "a.avif", "avifenc -s 10 --irot 1 IN/src.png OUT", "avifenc",
                 Info(48, 64), kRgb},
        MadeFile{"AvifIrot2", "a.avif", "avifenc -s 10 --irot 2 IN/src.png OUT", "avifenc",
                 Info(64, 48), kRgb},
        MadeFile{"AvifIrot3", "a.avif", "avifenc -s 10 --irot 3 IN/src.png OUT", "avifenc",
                 Info(48, 64), kRgb},
        MadeFile{"AvifMirror", "a.avif", "avifenc -s 10 --imir 1 IN/src.png OUT", "avifenc",
                 Info(64, 48), kRgb},
        MadeFile{"AvifMirrorIrot1", "a.avif", "avifenc -s 10 --imir 0 --irot 1 IN/src.png OUT",
                 "avifenc", Info(48, 64), kRgb},
        // avifenc turns the Exif orientation 6 into irot 3.
        MadeFile{"AvifExif", "a.avif", "avifenc -s 10 --exif IN/exif.bin IN/src.png OUT", "avifenc",
                 Info(48, 64, 240), kRgb},
        MadeFile{"AvifAlpha", "a.avif", "avifenc -s 10 IN/alpha.png OUT", "avifenc", Info(64, 48),
                 kRgba},
        MadeFile{"Avif10Bit", "a.avif", "avifenc -s 10 -d 10 IN/deep.png OUT", "avifenc",
                 Info(64, 48), kRgb16},
        MadeFile{"Avif12Bit", "a.avif", "avifenc -s 10 -d 12 IN/deep.png OUT", "avifenc",
                 Info(64, 48), kRgb16},
        MadeFile{"AvifGridIrot1", "a.avif", "avifenc -s 10 --grid 2x2 --irot 1 IN/big.png OUT",
                 "avifenc", Info(192, 256), kRgb},
        MadeFile{"PngNamedAvif", "a.avif", "cp IN/src.png OUT", "cp", std::nullopt, std::nullopt}));

INSTANTIATE_TEST_SUITE_P(
    Webp, MadeByTools,
    ::testing::Values(
        MadeFile{"Lossy", "a.webp", "cwebp -quiet IN/src.png -o OUT", "cwebp", Info(64, 48), kRgb},
        MadeFile{"LossyOdd", "a.webp", "cwebp -quiet IN/odd.png -o OUT", "cwebp", Info(33, 17),
                 kRgb},
        MadeFile{"Lossless", "a.WEBP", "cwebp -quiet -lossless IN/odd.png -o OUT", "cwebp",
                 Info(33, 17), kRgb},
        MadeFile{"LosslessAlpha", "a.webp", "cwebp -quiet -lossless IN/alpha.png -o OUT", "cwebp",
                 Info(64, 48), kRgba},
        MadeFile{"ExtendedAlpha", "a.webp", "cwebp -quiet IN/alpha.png -o OUT", "cwebp",
                 Info(64, 48), kRgba},
        // WebP viewers do not turn the picture by the Exif orientation.
        MadeFile{"ExtendedExif", "a.webp", "cwebp -quiet -metadata exif IN/exif.jpg -o OUT",
                 "cwebp", Info(64, 48, 240), kRgb},
        MadeFile{"JpegNamedWebp", "a.webp", "cp IN/exif.jpg OUT", "cp", std::nullopt,
                 std::nullopt}));

INSTANTIATE_TEST_SUITE_P(
    Jxl, MadeByTools,
    ::testing::Values(
        MadeFile{"Codestream", "a.jxl", "cjxl IN/src.png OUT", "cjxl", Info(64, 48), kRgb},
        MadeFile{"Odd", "a.jxl", "cjxl -d 0 IN/odd.png OUT", "cjxl", Info(33, 17), kRgb},
        MadeFile{"Ratio", "a.jxl", "cjxl IN/ratio.png OUT", "cjxl", Info(80, 60), kRgb},
        MadeFile{"Alpha", "a.jxl", "cjxl IN/alpha.png OUT", "cjxl", Info(64, 48), kRgba},
        MadeFile{"Deep", "a.JXL", "cjxl -d 0 IN/deep.png OUT", "cjxl", Info(64, 48), kRgb16},
        // A JPEG kept whole goes into a container with its orientation in the codestream and its
        // Exif compressed (a brob box), which the header reader does not inflate.
        MadeFile{"ContainerExif", "a.jxl", "cjxl IN/exif.jpg OUT", "cjxl", Info(48, 64, 0), kRgb}));

}  // namespace
}  // namespace korvale
