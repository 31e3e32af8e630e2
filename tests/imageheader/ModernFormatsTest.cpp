// HEIF, AVIF, WebP and JPEG XL files written at test time by Debian's own tools (heif-enc,
// avifenc, cwebp, cjxl, ImageMagick, exiftool): the size as shown, the DPI from Exif and the
// decoded pixel, as the probe reads them from the header alone.
#include <brotli/encode.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "ByteSource.h"
#include "ExifEdit.h"
#include "HeifEdit.h"
#include "ImageHeader.h"
#include "JxlEdit.h"
#include "ModernFormats.h"
#include "ResolutionStamp.h"
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

// The sources the tools start from, made once: 64x48 colour, with alpha, at 16 bits, a JPEG
// whose Exif says 240 DPI and orientation 6, and one whose Exif has a model but no resolution.
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
                Shell("exiftool -q -b -EXIF " + d + "exif.jpg > " + d + "exif.bin") &&
                Shell("cp " + d + "exif.jpg " + d + "model.jpg") &&
                Shell(
                    "exiftool -q -overwrite_original -Model=Phone -Orientation= -XResolution= "
                    "-YResolution= -ResolutionUnit= " +
                    d + "model.jpg") &&
                Shell("exiftool -q -b -EXIF " + d + "model.jpg > " + d + "model.bin");
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
    // The DPI can be stamped into it (every file of its format but those the stamp refuses).
    bool stampable = true;
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

// The pixels as the format's own tool decodes them (RGBA at 16 bits, so that every depth
// compares); empty when the tool is missing.
test::Bytes DecodedByTool(const std::string& path, const std::string& scratch) {
    const std::string extension = path.substr(path.rfind('.') + 1);
    std::string decode;
    if (extension == "webp" || extension == "WEBP") {
        decode = "dwebp -quiet '" + path + "' -o " + scratch + ".png";
    } else if (extension == "jxl" || extension == "JXL") {
        decode = "djxl '" + path + "' " + scratch + ".png";
    } else {
        decode = "heif-convert '" + path + "' " + scratch + ".png";
    }
    if (!Shell(decode + " && convert " + scratch + ".png -depth 16 RGBA:" + scratch + ".raw")) {
        return {};
    }
    return test::ReadFile(scratch + ".raw");
}

TEST_P(MadeByTools, StampSetsTheExifDpiAndLeavesThePixels) {
    const test::Bytes before = test::ReadFile(path_);
    const StampOutcome first = StampResolution(path_, 200);
    if (!GetParam().expected || !GetParam().stampable) {
        EXPECT_EQ(first.kind, StampOutcome::Kind::NotStamped);
        EXPECT_EQ(test::ReadFile(path_), before);
        return;
    }
    ASSERT_EQ(first.kind, StampOutcome::Kind::Stamped);
    std::optional<ImageHeaderInfo> info = GetParam().expected;
    info->dpi = 200;
    EXPECT_EQ(ProbeImageHeader(path_), info);
    EXPECT_EQ(ProbePixelLayout(path_), GetParam().pixel);
    EXPECT_TRUE(Shell("exiftool -s3 -XResolution -YResolution -ResolutionUnit '" + path_ +
                      "' | tr '\\n' ' ' | grep -qx '200 200 inches '"));
    // Stamped again: the Exif written the first time is set where it lies.
    ASSERT_EQ(StampResolution(path_, 96).kind, StampOutcome::Kind::Stamped);
    info->dpi = 96;
    EXPECT_EQ(ProbeImageHeader(path_), info);

    test::TempDir scratch;
    const std::string original =
        scratch.File(std::string("original.") + std::string(GetParam().fileName).substr(2));
    test::WriteFile(original, before);
    const test::Bytes pixels = DecodedByTool(original, scratch.File("before"));
    if (pixels.empty()) {
        std::cout << "no decoder for " << GetParam().fileName << "; its pixels are not compared\n";
        return;
    }
    EXPECT_EQ(DecodedByTool(path_, scratch.File("after")), pixels);
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
        // The stamp adds the resolution tags to this one's Exif.
        MadeFile{"HeicExifWithoutDpi", "a.heic", "heif-enc -q 50 -o OUT IN/model.jpg", "heif-enc",
                 Info(64, 48), kRgb},
        MadeFile{"HeicAlpha", "a.heif", "heif-enc -q 50 -o OUT IN/alpha.png", "heif-enc",
                 Info(64, 48), kRgba},
        MadeFile{"Heic10Bit", "a.hif", "heif-enc -q 50 -b 10 -o OUT IN/deep.png", "heif-enc",
                 Info(64, 48), kRgb16},
        // Without a pixi property the depth comes from the HEVC configuration record.
        MadeFile{"HeicWithoutPixi", "a.heic",
                 "heif-enc -q 50 -o OUT IN/src.png && perl -0777 -pi -e 's/pixi/free/' OUT",
                 "heif-enc", Info(64, 48), kRgb},
        MadeFile{"Heic10BitWithoutPixi", "a.heic",
                 "heif-enc -q 50 -b 10 -o OUT IN/deep.png && perl -0777 -pi -e 's/pixi/free/' OUT",
                 "heif-enc", Info(64, 48), kRgb16},
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
        MadeFile{"AvifExifWithoutDpi", "a.avif", "avifenc -s 10 --exif IN/model.bin IN/src.png OUT",
                 "avifenc", Info(64, 48), kRgb},
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
        // Exif compressed (a brob box). The stamp puts a plain Exif box in its place.
        MadeFile{"ContainerExif", "a.jxl", "cjxl IN/exif.jpg OUT", "cjxl", Info(48, 64, 240), kRgb},
        // Its Exif would have to grow, and the JPEG rebuilt from it would break.
        MadeFile{"ContainerExifWithoutDpi", "a.jxl", "cjxl IN/model.jpg OUT", "cjxl", Info(64, 48),
                 kRgb, /*stampable=*/false},
        // exiftool wraps the codestream into a container with a plain Exif box.
        MadeFile{"ExiftoolExif", "a.jxl",
                 "cjxl IN/src.png OUT && exiftool -m -q -overwrite_original -Model=Phone OUT",
                 "cjxl", Info(64, 48, 72), kRgb}));

using test::Joined;

test::Bytes Box(const char* type, const test::Bytes& payload) {
    return test::IsoBox(type, payload);
}

TEST(JxlStamp, SetsOrAddsOnePlainExifBoxAndRefusesWhatItCannotKeepTrue) {
    const test::Bytes signature = {0, 0, 0, 12, 'J', 'X', 'L', ' ', 0x0D, 0x0A, 0x87, 0x0A};
    const test::Bytes ftyp = Box("ftyp", {'j', 'x', 'l', ' ', 0, 0, 0, 0, 'j', 'x', 'l', ' '});
    if (!Has("cjxl") || !Sources::Get().made()) {
        GTEST_SKIP() << "cjxl, ImageMagick and exiftool are needed";
    }
    test::TempDir dir;
    const std::string made = dir.File("a.jxl");
    ASSERT_TRUE(Shell("cjxl " + Sources::Get().dir() + "/src.png " + made));
    const test::Bytes codestream = test::ReadFile(made);
    ASSERT_EQ(codestream.at(1), 0x0A);
    const test::Bytes jxlc = Box("jxlc", codestream);
    const test::Bytes exif72 = Box("Exif", *IsoExifWithResolution(nullptr, 0, 72));
    const test::Bytes exif300 = Box("Exif", *IsoExifWithResolution(nullptr, 0, 300));
    const auto compressed = [](const test::Bytes& box) {
        // The payload after the box header, behind the inner type.
        const test::Bytes payload(box.begin() + 8, box.end());
        size_t size = BrotliEncoderMaxCompressedSize(payload.size());
        test::Bytes brob(4 + size);
        std::copy(box.begin() + 4, box.begin() + 8, brob.begin());
        EXPECT_TRUE(BrotliEncoderCompress(BROTLI_DEFAULT_QUALITY, BROTLI_DEFAULT_WINDOW,
                                          BROTLI_MODE_GENERIC, payload.size(), payload.data(),
                                          &size, brob.data() + 4));
        brob.resize(4 + size);
        return Box("brob", brob);
    };
    const test::Bytes brob72 = compressed(exif72);
    test::Bytes damagedBrob = brob72;
    damagedBrob.resize(damagedBrob.size() - 3);
    damagedBrob[3] = static_cast<uint8_t>(damagedBrob.size());
    const test::Bytes emptyBrob = Box("brob", {'E', 'x', 'i', 'f', 0x1B, 0x00});
    test::Bytes cutShort = Joined({signature, ftyp, jxlc});
    cutShort.pop_back();
    struct Case {
        const char* name;
        test::Bytes file;
        std::optional<test::Bytes> stamped;  // at 300 DPI; nullopt: refused
    } cases[] = {
        {"bare codestream", codestream, Joined({signature, ftyp, exif300, jxlc})},
        {"no Exif", Joined({signature, ftyp, jxlc}), Joined({signature, ftyp, exif300, jxlc})},
        {"Exif after the codestream", Joined({signature, ftyp, jxlc, exif72}),
         Joined({signature, ftyp, jxlc, exif300})},
        {"reconstruction, Exif of one size",
         Joined({signature, ftyp, exif72, jxlc, Box("jbrd", {1})}),
         Joined({signature, ftyp, exif300, jxlc, Box("jbrd", {1})})},
        {"reconstruction, Exif to add", Joined({signature, ftyp, jxlc, Box("jbrd", {1})}),
         std::nullopt},
        {"two Exif boxes", Joined({signature, ftyp, exif72, exif72, jxlc}), std::nullopt},
        {"compressed Exif", Joined({signature, ftyp, brob72, jxlc}),
         Joined({signature, ftyp, exif300, jxlc})},
        {"reconstruction, compressed Exif of one size",
         Joined({signature, ftyp, jxlc, brob72, Box("jbrd", {1})}),
         Joined({signature, ftyp, jxlc, exif300, Box("jbrd", {1})})},
        {"compressed and plain Exif", Joined({signature, ftyp, brob72, exif72, jxlc}),
         std::nullopt},
        {"compressed Exif cut short", Joined({signature, ftyp, damagedBrob, jxlc}), std::nullopt},
        {"compressed Exif of nothing", Joined({signature, ftyp, emptyBrob, jxlc}), std::nullopt},
        {"no codestream", Joined({signature, ftyp, exif72}), std::nullopt},
        {"cut short", cutShort, std::nullopt},
        {"no JPEG XL", Joined({ftyp, jxlc}), std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(JxlWithResolution(c.file, 300), c.stamped) << c.name;
    }
}

// A HEIF sequence's sample offsets are not ours to move; an Exif item that keeps its size needs
// no move at all.
TEST(HeifStamp, AddsNoItemToAFileWithAMovieOrCutShort) {
    if (!Has("heif-enc") || !Sources::Get().made()) {
        GTEST_SKIP() << "heif-enc, ImageMagick and exiftool are needed";
    }
    test::TempDir dir;
    const std::string plain = dir.File("plain.heic");
    const std::string exif = dir.File("exif.heic");
    ASSERT_TRUE(Shell("heif-enc -q 50 -o " + plain + " " + Sources::Get().dir() + "/src.png"));
    ASSERT_TRUE(Shell("heif-enc -q 50 -o " + exif + " " + Sources::Get().dir() + "/exif.jpg"));
    const test::Bytes moov = Box("moov", {});
    EXPECT_TRUE(HeifWithResolution(test::ReadFile(plain), 300));
    EXPECT_FALSE(HeifWithResolution(Joined({test::ReadFile(plain), moov}), 300));
    const test::Bytes withMovie = Joined({test::ReadFile(exif), moov});
    const std::optional<test::Bytes> stamped = HeifWithResolution(withMovie, 300);
    ASSERT_TRUE(stamped);
    EXPECT_EQ(stamped->size(), withMovie.size());
    test::Bytes cut = test::ReadFile(plain);
    cut.pop_back();
    EXPECT_FALSE(HeifWithResolution(cut, 300));
}

// The decoder's walk finds where each HEVC picture lies, inside the file, with its hvcC; AVIF
// pictures, a file cut inside its picture and the probe's walk find none.
TEST(HeifPictures, AreFoundInsideTheFileForHevcOnly) {
    if (!Has("heif-enc") || !Has("avifenc") || !Sources::Get().made()) {
        GTEST_SKIP() << "heif-enc, avifenc, ImageMagick and exiftool are needed";
    }
    test::TempDir dir;
    const std::string source = Sources::Get().dir() + "/src.png";
    ASSERT_TRUE(Shell("heif-enc -q 50 -o " + dir.File("a.heic") + " " + source));
    ASSERT_TRUE(Shell("avifenc -s 10 " + source + " " + dir.File("a.avif")));
    const test::Bytes heic = test::ReadFile(dir.File("a.heic"));
    test::Bytes cut = heic;
    cut.resize(cut.size() - 16);
    struct Case {
        const char* name;
        test::Bytes bytes;
        bool pictures;
    };
    const Case cases[] = {{"heic", heic, true},
                          {"avif", test::ReadFile(dir.File("a.avif")), false},
                          {"cut", cut, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MemorySource memory(c.bytes);
        HeifLayout layout;
        ASSERT_TRUE(WalkHeif(memory, layout));
        EXPECT_TRUE(layout.coded.empty());
        ASSERT_TRUE(WalkHeifPictures(memory, layout));
        ASSERT_EQ(layout.coded.size(), c.pictures ? 1u : 0u);
        if (c.pictures) {
            const HeifLayout::CodedPicture& picture = layout.coded[0];
            ASSERT_LE(picture.at + picture.length, c.bytes.size());
            ASSERT_GE(picture.configLength, 23u);
            EXPECT_EQ(c.bytes[picture.configAt], 1);  // configurationVersion
            // Length-prefixed NAL units that fill the extent exactly.
            uint64_t at = picture.at;
            while (at + 4 <= picture.at + picture.length) {
                at += 4 + (uint64_t{c.bytes[at]} << 24 | uint64_t{c.bytes[at + 1]} << 16 |
                           uint64_t{c.bytes[at + 2]} << 8 | c.bytes[at + 3]);
            }
            EXPECT_EQ(at, picture.at + picture.length);
        }
    }
}

}  // namespace
}  // namespace korvale
