// HEIF, AVIF, WebP and JPEG XL sources made at test time by Debian's tools, decoded by the
// engine and compared with the source pixels (lossless files) or with the tools' own decoders.
#include <gtest/gtest.h>

#include <cstdlib>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <string>

#include "ByteFile.h"
#include "ByteSource.h"
#include "Conversion.h"
#include "ModernFormats.h"
#include "TestFiles.h"

namespace korvale {
namespace {

bool Has(const std::string& tool) {
    return std::system(("command -v " + tool + " >/dev/null 2>&1").c_str()) == 0;
}

bool Shell(const std::string& command) {
    return std::system(("{ " + command + "; } >/dev/null 2>&1").c_str()) == 0;
}

// A picture whose quarters differ, so that a turn, a mirror or a misplaced tile shows.
cv::Mat Quarters(int width, int height) {
    cv::Mat image(height, width, CV_8UC3, cv::Scalar(255, 255, 255));
    image(cv::Rect(0, 0, width / 2, height / 2)).setTo(cv::Scalar(0, 0, 255));
    image(cv::Rect(width / 2, 0, width / 2, height / 2)).setTo(cv::Scalar(0, 200, 0));
    image(cv::Rect(0, height / 2, width / 2, height / 2)).setTo(cv::Scalar(200, 0, 0));
    return image;
}

double Difference(const cv::Mat& a, const cv::Mat& b) {
    if (a.size() != b.size() || a.type() != b.type()) {
        return 1e9;
    }
    return cv::norm(a, b, cv::NORM_INF);
}

struct Turned {
    const char* name;
    std::string options;  // avifenc's
    int rotate;           // cv::RotateFlags, or -1
    int flip;             // cv::flip code, or 2 for none
};

class LosslessAvif : public ::testing::TestWithParam<Turned> {};

// Lossless AVIF keeps the source's pixels, so the decoded picture is the source turned and
// mirrored as the properties say, grid or not.
TEST_P(LosslessAvif, IsUprightOnceAsItsPropertiesSay) {
    if (!Has("avifenc")) {
        GTEST_SKIP() << "avifenc (libavif-bin) is not installed";
    }
    test::TempDir dir;
    const cv::Mat source = Quarters(256, 192);
    ASSERT_TRUE(cv::imwrite(dir.File("src.png"), source));
    const std::string path = dir.File("a.avif");
    ASSERT_TRUE(
        Shell("avifenc -s 10 -l " + GetParam().options + " " + dir.File("src.png") + " " + path));
    cv::Mat expected = source.clone();
    if (GetParam().rotate >= 0) {
        cv::rotate(expected, expected, GetParam().rotate);
    }
    if (GetParam().flip != 2) {
        cv::flip(expected, expected, GetParam().flip);
    }
    cv::Mat decoded;
    ASSERT_TRUE(DecodeImage(path, decoded));
    EXPECT_EQ(Difference(decoded, expected), 0.0);
}

INSTANTIATE_TEST_SUITE_P(
    Avif, LosslessAvif,
    ::testing::Values(
        Turned{"Plain", "", -1, 2}, Turned{"Irot1", "--irot 1", cv::ROTATE_90_COUNTERCLOCKWISE, 2},
        Turned{"Irot2", "--irot 2", cv::ROTATE_180, 2},
        Turned{"Irot3", "--irot 3", cv::ROTATE_90_CLOCKWISE, 2}, Turned{"Imir0", "--imir 0", -1, 0},
        Turned{"Imir1", "--imir 1", -1, 1}, Turned{"Grid", "--grid 2x2", -1, 2},
        Turned{"GridIrot1", "--grid 2x2 --irot 1", cv::ROTATE_90_COUNTERCLOCKWISE, 2},
        Turned{"GridIrot2", "--grid 2x2 --irot 2", cv::ROTATE_180, 2},
        Turned{"GridIrot3", "--grid 2x2 --irot 3", cv::ROTATE_90_CLOCKWISE, 2},
        Turned{"GridIrot1Imir1", "--grid 2x2 --irot 1 --imir 1", cv::ROTATE_90_COUNTERCLOCKWISE, 1},
        Turned{"GridIrot3Imir0", "--grid 2x2 --irot 3 --imir 0", cv::ROTATE_90_CLOCKWISE, 0}),
    [](const auto& info) { return std::string(info.param.name); });

// A 10-bit grid turned by a quarter is composed from its tiles too: the same picture as the
// unturned grid, turned, at 16 bits.
TEST(TurnedGrid, DeepTilesAreComposedAtTheirDepth) {
    if (!Has("avifenc")) {
        GTEST_SKIP() << "avifenc (libavif-bin) is not installed";
    }
    test::TempDir dir;
    cv::Mat source;
    Quarters(256, 192).convertTo(source, CV_16U, 257);
    ASSERT_TRUE(cv::imwrite(dir.File("src.png"), source));
    const std::string plain = dir.File("plain.avif");
    const std::string turned = dir.File("turned.avif");
    const std::string make = "avifenc -s 10 -l -d 10 --grid 2x2 ";
    ASSERT_TRUE(Shell(make + dir.File("src.png") + " " + plain));
    ASSERT_TRUE(Shell(make + "--irot 1 " + dir.File("src.png") + " " + turned));
    cv::Mat expected;
    ASSERT_TRUE(DecodeImage(plain, expected));
    ASSERT_EQ(expected.depth(), CV_16U);
    cv::rotate(expected, expected, cv::ROTATE_90_COUNTERCLOCKWISE);
    cv::Mat decoded;
    ASSERT_TRUE(DecodeImage(turned, decoded));
    EXPECT_EQ(Difference(decoded, expected), 0.0);
    cv::Mat eight;
    decoded.convertTo(eight, CV_8U, 1.0 / 257);
    cv::Mat upright;
    cv::rotate(Quarters(256, 192), upright, cv::ROTATE_90_COUNTERCLOCKWISE);
    EXPECT_LE(Difference(eight, upright), 1.0);
}

using test::Joined;

struct HevcTile {
    test::Bytes config;  // hvcC body
    test::Bytes data;
};

// The coded picture of a single-picture HEIC, as our walker finds it.
HevcTile TileOf(const std::string& path) {
    ByteFile file;
    HeifLayout layout;
    HevcTile tile;
    if (!file.Open(path, ByteFile::Access::Read)) {
        return tile;
    }
    FileSource source(file);
    if (!WalkHeifPictures(source, layout) || layout.coded.size() != 1) {
        return tile;
    }
    tile.config.resize(layout.coded[0].configLength);
    tile.data.resize(layout.coded[0].length);
    if (!source.ReadAt(layout.coded[0].configAt, tile.config.data(), tile.config.size()) ||
        !source.ReadAt(layout.coded[0].at, tile.data.data(), tile.data.size())) {
        return {};
    }
    return tile;
}

struct GridSpec {
    int columns = 2, rows = 2;
    uint16_t width = 0, height = 0;  // the grid's, at most the tiles'
    uint16_t tileSide = 0;
    int irot = 0;
    int matrix = -1;  // an nclx property on the grid item when from 0
    bool fullRange = true;
};

// A HEIC whose primary item is a grid of the given HEVC tiles (hidden items 2...), row by row,
// as a phone writes one.
test::Bytes HevcGrid(const std::vector<HevcTile>& tiles, const GridSpec& spec) {
    const auto be16 = [](uint32_t v) {
        test::Bytes b;
        test::PutBe16(b, v);
        return b;
    };
    const auto be32 = [](uint32_t v) {
        test::Bytes b;
        test::PutBe32(b, v);
        return b;
    };
    const bool single = spec.columns == 0;
    const uint16_t count = static_cast<uint16_t>(single ? 0 : tiles.size());
    test::Bytes items = be16(count + 1u);
    items = Joined({items, test::IsoBox("infe",
                                        Joined({be16(1), be16(0),
                                                single ? test::Bytes{'h', 'v', 'c', '1', 0}
                                                       : test::Bytes{'g', 'r', 'i', 'd', 0}}),
                                        2)});
    test::Bytes references = Joined({be16(1), be16(count)});
    for (uint16_t i = 0; i < count; ++i) {
        items = Joined(
            {items, test::IsoBox("infe", Joined({be16(i + 2u), be16(0), {'h', 'v', 'c', '1', 0}}),
                                 2, /*hidden=*/1)});
        references = Joined({references, be16(i + 2u)});
    }
    // Properties: ispe of the grid, ispe of a tile, irot, nclx, then each tile's hvcC.
    test::Bytes properties =
        Joined({test::IsoBox("ispe", Joined({be32(spec.width), be32(spec.height)}), 0),
                test::IsoBox("ispe", Joined({be32(spec.tileSide), be32(spec.tileSide)}), 0),
                test::IsoBox("irot", {static_cast<uint8_t>(spec.irot)}),
                test::IsoBox("colr", Joined({{'n', 'c', 'l', 'x'},
                                             be16(1),
                                             be16(13),
                                             be16(uint32_t(std::max(spec.matrix, 0))),
                                             {uint8_t(spec.fullRange ? 0x80 : 0)}}))});
    for (const HevcTile& tile : tiles) {
        properties = Joined({properties, test::IsoBox("hvcC", tile.config)});
    }
    test::Bytes gridAssociations = {1, single ? uint8_t(0x82) : uint8_t(0x81)};
    if (single) {
        gridAssociations.push_back(0x85);
    }
    if (spec.irot != 0) {
        gridAssociations.push_back(0x83);
    }
    if (spec.matrix >= 0) {
        gridAssociations.push_back(0x84);
    }
    gridAssociations[0] = static_cast<uint8_t>(gridAssociations.size() - 1);
    test::Bytes associations = Joined({be32(count + 1u), be16(1), gridAssociations});
    for (uint16_t i = 0; i < count; ++i) {
        associations = Joined({associations, be16(i + 2u), {2, uint8_t(0x85 + i), 0x82}});
    }
    const test::Bytes descriptor =
        Joined({{0, 0, uint8_t(spec.rows - 1), uint8_t(spec.columns - 1)},
                be16(spec.width),
                be16(spec.height)});
    const test::Bytes ftyp = test::IsoBox(
        "ftyp", {'h', 'e', 'i', 'c', 0, 0, 0, 0, 'm', 'i', 'f', '1', 'h', 'e', 'i', 'c'});
    // iloc (offset and length of 4 bytes), filled in once the meta box's size is known.
    const auto meta = [&](uint32_t dataAt) {
        test::Bytes locations = Joined({{0x44, 0x00}, be16(count + 1u)});
        const test::Bytes& first = single ? tiles[0].data : descriptor;
        locations = Joined(
            {locations, be16(1), be16(0), be16(1), be32(dataAt), be32(uint32_t(first.size()))});
        uint32_t at = dataAt + uint32_t(first.size());
        for (uint16_t i = 0; i < count; ++i) {
            locations = Joined({locations, be16(i + 2u), be16(0), be16(1), be32(at),
                                be32(uint32_t(tiles[i].data.size()))});
            at += uint32_t(tiles[i].data.size());
        }
        test::Bytes handler(20, 0);
        std::copy_n("pict", 4, handler.begin() + 4);
        return test::IsoBox(
            "meta",
            Joined(
                {test::IsoBox("hdlr", handler, 0), test::IsoBox("pitm", be16(1), 0),
                 test::IsoBox("iinf", items, 0),
                 single ? test::Bytes{} : test::IsoBox("iref", test::IsoBox("dimg", references), 0),
                 test::IsoBox("iprp", Joined({test::IsoBox("ipco", properties),
                                              test::IsoBox("ipma", associations, 0)})),
                 test::IsoBox("iloc", locations, 0)}),
            0);
    };
    const size_t metaSize = meta(0).size();
    test::Bytes mdat = single ? tiles[0].data : descriptor;
    for (uint16_t i = 0; i < count; ++i) {
        mdat = Joined({mdat, tiles[i].data});
    }
    return Joined({ftyp, meta(uint32_t(ftyp.size() + metaSize + 8)), test::IsoBox("mdat", mdat)});
}

// A grid of HEVC tiles, as phones store their pictures, is decoded as libheif decodes it: tiles
// in their places, cut at the grid's edge, the nclx matrix and range applied; turned by a
// quarter, it is the unturned picture turned.
TEST(HevcGrid, IsComposedAsLibheifComposesIt) {
    if (!Has("heif-enc") || !Has("heif-convert") || !Has("convert")) {
        GTEST_SKIP() << "heif-enc, heif-convert (libheif-examples) or ImageMagick is missing";
    }
    test::TempDir dir;
    ASSERT_TRUE(Shell("convert -size 128x128 gradient:red-blue -depth 8 " + dir.File("src.png")));
    std::vector<HevcTile> tiles;
    for (int i = 0; i < 4; ++i) {
        const std::string png = dir.File("tile" + std::to_string(i) + ".png");
        const std::string heic = dir.File("tile" + std::to_string(i) + ".heic");
        ASSERT_TRUE(Shell("convert " + dir.File("src.png") + " -crop 64x64+" +
                          std::to_string(i % 2 * 64) + "+" + std::to_string(i / 2 * 64) +
                          " +repage " + (i == 3 ? "-negate " : "") + png));
        ASSERT_TRUE(Shell("heif-enc -q 70 -o " + heic + " " + png));
        tiles.push_back(TileOf(heic));
        ASSERT_FALSE(tiles.back().data.empty()) << heic;
    }
    struct Case {
        const char* name;
        GridSpec spec;
        bool refused = false;
    };
    const Case cases[] = {
        {"2x2 cut at the edge", {2, 2, 120, 100, 64, 0, -1, true}},
        {"BT.709, limited range", {2, 2, 128, 128, 64, 0, 1, false}},
        {"BT.2020, full range", {2, 2, 100, 128, 64, 0, 9, true}},
        {"BT.601", {2, 2, 128, 128, 64, 0, 6, true}},
        {"one row", {4, 1, 256, 64, 64, 0, -1, true}},
        // libheif would place them by their ispe over memory it never wrote.
        {"tiles whose ispe is not their coded size", {2, 2, 120, 100, 60, 0, -1, true}, true},
        {"single, BT.709, limited range", {0, 0, 64, 64, 64, 0, 1, false}},
        {"single, BT.2020", {0, 0, 64, 64, 64, 0, 9, true}},
        {"single, BT.601, limited range", {0, 0, 64, 64, 64, 0, 6, false}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir.File("grid.heic");
        test::WriteFile(path, HevcGrid(tiles, c.spec));
        cv::Mat decoded;
        if (c.refused) {
            EXPECT_FALSE(DecodeImage(path, decoded));
            EXPECT_TRUE(decoded.empty());
            continue;
        }
        ASSERT_TRUE(Shell("heif-convert " + path + " " + dir.File("ref.png")));
        ASSERT_TRUE(DecodeImage(path, decoded));
        EXPECT_EQ(Difference(decoded, cv::imread(dir.File("ref.png"), cv::IMREAD_UNCHANGED)), 0.0);
    }
    GridSpec plain{2, 2, 120, 100, 64, 0, -1, true};
    const std::string path = dir.File("grid.heic");
    test::WriteFile(path, HevcGrid(tiles, plain));
    cv::Mat upright;
    ASSERT_TRUE(DecodeImage(path, upright));
    static constexpr cv::RotateFlags kTurns[] = {cv::ROTATE_90_COUNTERCLOCKWISE, cv::ROTATE_180,
                                                 cv::ROTATE_90_CLOCKWISE};
    for (int irot = 1; irot <= 3; ++irot) {
        SCOPED_TRACE(irot);
        GridSpec turned = plain;
        turned.irot = irot;
        test::WriteFile(path, HevcGrid(tiles, turned));
        cv::Mat expected, decoded;
        cv::rotate(upright, expected, kTurns[irot - 1]);
        ASSERT_TRUE(DecodeImage(path, decoded));
        EXPECT_EQ(Difference(decoded, expected), 0.0);
    }
}

// A transparent grid turned by a quarter keeps its alpha, which is a grid of its own: the
// lossless file decodes to the source turned, as the unturned one decodes to the source.
TEST(TurnedGrid, TransparentTilesKeepTheirAlpha) {
    if (!Has("avifenc")) {
        GTEST_SKIP() << "avifenc (libavif-bin) is not installed";
    }
    test::TempDir dir;
    cv::Mat source;
    cv::cvtColor(Quarters(256, 192), source, cv::COLOR_BGR2BGRA);
    for (int row = 0; row < source.rows; ++row) {
        for (int column = 0; column < source.cols; ++column) {
            source.at<cv::Vec4b>(row, column)[3] = static_cast<uchar>((row + column) % 256);
        }
    }
    ASSERT_TRUE(cv::imwrite(dir.File("src.png"), source));
    for (const auto& [irot, turn] : {std::pair<int, int>{0, -1},
                                     {1, cv::ROTATE_90_COUNTERCLOCKWISE},
                                     {3, cv::ROTATE_90_CLOCKWISE}}) {
        SCOPED_TRACE(irot);
        const std::string path = dir.File("a.avif");
        ASSERT_TRUE(Shell("avifenc -s 10 -l --grid 2x2 --irot " + std::to_string(irot) + " " +
                          dir.File("src.png") + " " + path));
        cv::Mat expected = source.clone();
        if (turn >= 0) {
            cv::rotate(source, expected, turn);
        }
        cv::Mat decoded;
        ASSERT_TRUE(DecodeImage(path, decoded));
        EXPECT_EQ(Difference(decoded, expected), 0.0);
    }
}

struct AgainstTool {
    const char* name;
    const char* file;
    // "SRC" the 8-bit source, "DEEP" a 16-bit one, "OUT" the file, "REF" the tool's decode.
    std::string make;
    std::string reference;
    std::string tool;
    int depth;  // of the decoded picture
    int channels;
    double tolerance;
};

class DecodedAsTheToolDecodes : public ::testing::TestWithParam<AgainstTool> {};

TEST_P(DecodedAsTheToolDecodes, SamePixelsAndDepth) {
    const AgainstTool& c = GetParam();
    if (!Has(c.tool) || !Has("convert")) {
        GTEST_SKIP() << c.tool << " or ImageMagick is not installed";
    }
    test::TempDir dir;
    const std::string path = dir.File(c.file);
    const std::string ref = dir.File("ref.png");
    ASSERT_TRUE(Shell("convert -size 66x50 gradient:red-blue -depth 8 " + dir.File("src.png")));
    ASSERT_TRUE(
        Shell("convert -size 66x50 gradient:red-blue -depth 16 PNG48:" + dir.File("deep.png")));
    ASSERT_TRUE(
        Shell("convert -size 66x50 gradient:red-blue -depth 8 -alpha set -channel A "
              "-evaluate set 40% +channel PNG32:" +
              dir.File("alpha.png")));
    auto fill = [&](std::string command) {
        for (const auto& [key, value] :
             {std::pair<std::string, std::string>{"SRC", dir.File("src.png")},
              {"DEEP", dir.File("deep.png")},
              {"ALPHA", dir.File("alpha.png")},
              {"OUT", path},
              {"REF", ref}}) {
            for (size_t at; (at = command.find(key)) != std::string::npos;) {
                command.replace(at, key.size(), value);
            }
        }
        return command;
    };
    ASSERT_TRUE(Shell(fill(c.make))) << fill(c.make);
    ASSERT_TRUE(Shell(fill(c.reference))) << fill(c.reference);
    const cv::Mat expected = cv::imread(ref, cv::IMREAD_UNCHANGED);
    cv::Mat decoded;
    ASSERT_TRUE(DecodeImage(path, decoded));
    EXPECT_EQ(decoded.depth(), c.depth);
    EXPECT_EQ(decoded.channels(), c.channels);
    EXPECT_LE(Difference(decoded, expected), c.tolerance);
}

INSTANTIATE_TEST_SUITE_P(
    Tools, DecodedAsTheToolDecodes,
    ::testing::Values(
        AgainstTool{"Heic", "a.heic", "heif-enc -q 60 -o OUT SRC", "heif-convert OUT REF",
                    "heif-enc", CV_8U, 3, 0},
        // An odd size: the coded picture is cut by its clap.
        AgainstTool{"HeicAlpha", "a.HEIC", "heif-enc -q 60 -o OUT ALPHA", "heif-convert OUT REF",
                    "heif-enc", CV_8U, 4, 0},
        AgainstTool{"Heic10Bit", "a.heif", "heif-enc -q 60 -b 10 -o OUT DEEP",
                    "heif-convert OUT REF", "heif-enc", CV_16U, 3, 64},
        AgainstTool{"Avif12Bit", "a.avif", "avifenc -s 10 -d 12 DEEP OUT", "heif-convert OUT REF",
                    "avifenc", CV_16U, 3, 16},
        AgainstTool{"WebpLossy", "a.webp", "cwebp -quiet SRC -o OUT", "dwebp -quiet OUT -o REF",
                    "cwebp", CV_8U, 3, 0},
        AgainstTool{"WebpLosslessAlpha", "a.webp", "cwebp -quiet -lossless ALPHA -o OUT",
                    "dwebp -quiet OUT -o REF", "cwebp", CV_8U, 4, 0},
        AgainstTool{"Jxl", "a.jxl", "cjxl SRC OUT", "djxl OUT REF", "cjxl", CV_8U, 3, 1},
        AgainstTool{"JxlAlpha", "a.jxl", "cjxl -d 0 ALPHA OUT", "djxl OUT REF", "cjxl", CV_8U, 4,
                    0},
        AgainstTool{"Jxl16Bit", "a.jxl", "cjxl -d 0 DEEP OUT", "djxl OUT REF", "cjxl", CV_16U, 3,
                    0}),
    [](const auto& info) { return std::string(info.param.name); });

// An animation has no one picture to convert: neither its first frame nor its last is taken.
TEST(ModernDecode, AnimationsAreReadFailures) {
    if (!Has("gif2webp") || !Has("cjxl") || !Has("convert")) {
        GTEST_SKIP() << "gif2webp, cjxl or ImageMagick is not installed";
    }
    test::TempDir dir;
    const std::string gif = dir.File("a.gif");
    ASSERT_TRUE(Shell("convert -size 64x48 xc:red xc:blue -delay 20 -loop 0 " + gif));
    ASSERT_TRUE(Shell("gif2webp -quiet " + gif + " -o " + dir.File("a.webp")));
    ASSERT_TRUE(Shell("cjxl " + gif + " " + dir.File("a.jxl")));
    for (const char* name : {"a.webp", "a.jxl"}) {
        cv::Mat image;
        EXPECT_FALSE(DecodeImage(dir.File(name), image)) << name;
        EXPECT_TRUE(image.empty()) << name;
    }
}

// A damaged file is a read failure, and a header claiming 100000 x 100000 is refused before
// any decoder allocates for it.
TEST(ModernDecode, DamagedAndHugeFilesAreReadFailures) {
    test::TempDir dir;
    // RIFF WEBP, a VP8X chunk claiming a 100000 x 100000 canvas, nothing else.
    test::Bytes huge = {'R', 'I', 'F', 'F', 22, 0, 0, 0, 'W', 'E', 'B', 'P',
                        'V', 'P', '8', 'X', 10, 0, 0, 0, 0,   0,   0,   0};
    for (int side = 0; side < 2; ++side) {
        const uint32_t v = 100000 - 1;
        huge.insert(huge.end(), {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8),
                                 static_cast<uint8_t>(v >> 16)});
    }
    test::WriteFile(dir.File("huge.webp"), huge);
    cv::Mat image;
    DecodeNotes notes;
    EXPECT_FALSE(DecodeImage(dir.File("huge.webp"), image, &notes));
    EXPECT_TRUE(notes.lackedMemory);
    for (const char* name : {"cut.heic", "cut.avif", "cut.webp", "cut.jxl"}) {
        test::WriteFile(dir.File(name), huge);
        EXPECT_FALSE(DecodeImage(dir.File(name), image)) << name;
        EXPECT_TRUE(image.empty()) << name;
    }
}

}  // namespace
}  // namespace korvale
