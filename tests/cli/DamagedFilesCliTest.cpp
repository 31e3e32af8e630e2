// korvale-cli run over damaged images: standard error carries the program's own words only,
// never what the image libraries would print about the file.
#include <gtest/gtest.h>

#include <filesystem>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include "CliRunner.h"
#include "PngTiffFiles.h"
#include "TestFiles.h"

namespace korvale {
namespace {

namespace fs = std::filesystem;

test::Bytes Encoded(const std::string& extension, const cv::Mat& image) {
    std::vector<uchar> bytes;
    EXPECT_TRUE(cv::imencode(extension, image, bytes));
    return test::Bytes(bytes.begin(), bytes.end());
}

test::Bytes Cut(test::Bytes bytes, double share) {
    bytes.resize(static_cast<size_t>(static_cast<double>(bytes.size()) * share));
    return bytes;
}

// Where the data of the first chunk of `type` begins in a PNG.
size_t ChunkData(const test::Bytes& png, const std::string& type) {
    for (size_t at = 8; at + 8 <= png.size();) {
        const size_t length =
            static_cast<size_t>(png[at]) << 24 | png[at + 1] << 16 | png[at + 2] << 8 | png[at + 3];
        if (std::string(png.begin() + static_cast<long>(at) + 4,
                        png.begin() + static_cast<long>(at) + 8) == type) {
            return at + 8;
        }
        at += 12 + length;
    }
    ADD_FAILURE() << "no " << type;
    return 0;
}

test::Bytes Flipped(test::Bytes bytes, size_t at) {
    bytes[at] ^= 0xFF;
    return bytes;
}

// A tEXt chunk with a wrong CRC before the image data: libpng warns and drops it.
test::Bytes WithDamagedComment(const test::Bytes& png) {
    const size_t idat = ChunkData(png, "IDAT") - 8;
    const test::Bytes chunk = {0, 0, 0, 3, 't', 'E', 'X', 't', 'a', 0, 'b', 1, 2, 3, 4};
    test::Bytes out(png.begin(), png.begin() + static_cast<long>(idat));
    out.insert(out.end(), chunk.begin(), chunk.end());
    out.insert(out.end(), png.begin() + static_cast<long>(idat), png.end());
    return out;
}

// A grey 16 x 16 TIFF whose header and IFD are whole but whose strip is `stored` bytes of the
// 256 it claims.
test::Bytes TiffWithShortStrip(uint16_t compression, size_t stored) {
    using test::kTiffLong;
    using test::kTiffShort;
    return test::MakeTiff(false,
                          {{256, kTiffShort, {16}},
                           {257, kTiffShort, {16}},
                           {258, kTiffShort, {8}},
                           {259, kTiffShort, {compression}},
                           {262, kTiffShort, {1}},
                           {273, kTiffLong, {8}},
                           {277, kTiffShort, {1}},
                           {278, kTiffShort, {16}},
                           {279, kTiffLong, {256}}},
                          stored);
}

class CliDamagedFiles : public ::testing::Test {
protected:
    CliDamagedFiles() {
        options_.env = {{"HOME", home_.path()},
                        {"XDG_DATA_HOME", home_.File("data")},
                        {"XDG_CONFIG_HOME", home_.File("config")}};
        fs::create_directories(out_);
        picture_.create(30, 40, CV_8UC3);
        cv::randu(picture_, 0, 255);
    }

    test::TempDir home_;
    const std::string out_ = home_.File("out");
    test::CliOptions options_;
    cv::Mat picture_;
};

TEST_F(CliDamagedFiles, StandardErrorHoldsOnlyTheProgramsMessages) {
    const test::Bytes png = Encoded(".png", picture_), bmp = Encoded(".bmp", picture_),
                      jpeg = Encoded(".jpg", picture_);
    enum class Said { NotRead, Done, DoneDamaged };
    const struct {
        std::string name;
        test::Bytes bytes;
        Said said;
    } cases[] = {
        {"cut.png", Cut(png, 0.6), Said::NotRead},
        {"corrupt-data.png", Flipped(png, ChunkData(png, "IDAT") + 40), Said::NotRead},
        {"bad-crc.png", Flipped(png, ChunkData(png, "IDAT") - 12), Said::NotRead},
        {"damaged-comment.png", WithDamagedComment(png), Said::Done},
        {"cut.bmp", Cut(bmp, 0.5), Said::NotRead},
        {"short-strip.tif", TiffWithShortStrip(1, 100), Said::NotRead},
        {"garbage-lzw.tif", TiffWithShortStrip(5, 256), Said::Done},
        {"cut.jpg", Cut(jpeg, 0.5), Said::DoneDamaged},
    };
    for (const auto& c : cases) {
        const std::string path = home_.File(c.name);
        test::WriteFile(path, c.bytes);
        const auto result = test::RunCli(
            {"run", "--overwrite", "all", "--format", "bmp", "--output", out_, path}, options_);
        switch (c.said) {
            case Said::NotRead:
                EXPECT_EQ(result.exitCode, 1) << c.name;
                EXPECT_EQ(result.err, "画像ファイルの読み出しに失敗しました。\n  " + path +
                                          "\n  画像として読み取れませんでした。\n")
                    << c.name;
                break;
            case Said::Done:
                EXPECT_EQ(result.exitCode, 0) << c.name;
                EXPECT_EQ(result.err, "完了\n") << c.name;
                break;
            case Said::DoneDamaged:
                EXPECT_EQ(result.exitCode, 0) << c.name;
                EXPECT_EQ(result.err,
                          "完了\n警告: 画像ファイルのデータが壊れていたため、読み出せなかった部分を"
                          "補って変換しました: " +
                              path + "\n")
                    << c.name;
                break;
        }
    }
}

}  // namespace
}  // namespace korvale
