// The format table: one complete entry per format, and every reader and editor picked by it.
#include <gtest/gtest.h>

#include <cctype>
#include <map>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <set>

#include "ImageFormats.h"
#include "ResolutionCopy.h"
#include "TestFiles.h"

namespace korvale {
namespace {

constexpr ImageFormat kAll[] = {ImageFormat::Bmp,  ImageFormat::Jpeg, ImageFormat::Png,
                                ImageFormat::Tiff, ImageFormat::Heif, ImageFormat::Avif,
                                ImageFormat::Webp, ImageFormat::Jxl};
// The formats OpenCV writes, whose files the table's readers and editors are tried on.
constexpr ImageFormat kWritten[] = {ImageFormat::Bmp, ImageFormat::Jpeg, ImageFormat::Png,
                                    ImageFormat::Tiff};

std::string Upper(std::string_view text) {
    std::string upper(text);
    for (char& c : upper) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return upper;
}

TEST(FormatTable, EveryFormatHasOneCompleteEntry) {
    std::map<ImageFormat, int> entries;
    std::set<std::string> extensions;
    for (const ImageFormatEntry& e : ImageFormats()) {
        ++entries[e.format];
        EXPECT_EQ(&EntryOf(e.format), &e);
        EXPECT_TRUE(e.probe && e.pixel && e.stamp && e.withResolution);
        EXPECT_TRUE(e.widestChannel == 1 || e.widestChannel == 2 || e.widestChannel == 8);
        EXPECT_EQ(e.maxFileBytes != 0, e.fileBytes != nullptr);
        // The extensions come first, the empty places after them.
        size_t count = 0;
        while (count < e.extensions.size() && !e.extensions[count].empty()) {
            EXPECT_TRUE(extensions.insert(Upper(e.extensions[count])).second)
                << e.extensions[count] << " names two formats";
            ++count;
        }
        for (size_t i = count; i < e.extensions.size(); ++i) {
            EXPECT_TRUE(e.extensions[i].empty()) << "a gap before " << e.extensions[i];
        }
        EXPECT_GE(count, 1u);
        EXPECT_TRUE(e.offered >= 1 && e.offered <= count);
    }
    for (ImageFormat format : kAll) {
        EXPECT_EQ(entries[format], 1) << static_cast<int>(format);
    }
    EXPECT_EQ(entries.size(), std::size(kAll));
}

TEST(FormatTable, EveryExtensionLeadsToItsFormatAndOutputsToTheirOwn) {
    for (const ImageFormatEntry& e : ImageFormats()) {
        const std::string output = "scan" + OutputExtension(e.format);
        EXPECT_EQ(OutputFormatOfName(output), e.writable ? std::optional(e.format) : std::nullopt)
            << output;
        EXPECT_EQ(FormatOfName(output), e.format) << output;
        for (std::string_view extension : e.extensions) {
            if (extension.empty()) {
                continue;
            }
            for (const std::string& name : {"/in.d/a." + std::string(extension),
                                            "a.b." + Upper(extension), "." + Upper(extension)}) {
                EXPECT_EQ(FormatOfExtension(name), e.format) << name;
                EXPECT_EQ(FormatOfName(name), e.format) << name;
            }
        }
    }
    // Names no format claims: read as JPEG, written as none.
    for (const char* name : {"a", "a.", ".", "a.jp", "a.jpgx", "a.png.", "a.tif/b", "a.b/c", ""}) {
        EXPECT_EQ(FormatOfExtension(name), std::nullopt) << name;
        EXPECT_EQ(OutputFormatOfName(name), std::nullopt) << name;
        EXPECT_EQ(FormatOfName(name), ImageFormat::Jpeg) << name;
    }
}

// A file of each format is read and edited under each of its own extensions, in any case, and
// refused under a name of another format: the name picks the reader, not the bytes.
TEST(FormatTable, TheNamePicksTheReaderAndTheEditor) {
    test::TempDir dir;
    const cv::Mat image(6, 4, CV_8UC3, cv::Scalar(10, 20, 30));
    std::map<ImageFormat, test::Bytes> files;
    for (ImageFormat format : kWritten) {
        std::vector<uchar> bytes;
        ASSERT_TRUE(cv::imencode(OutputExtension(format), image, bytes));
        files[format] = test::Bytes(bytes.begin(), bytes.end());
    }
    // Each content under each name, in lower case and in capitals.
    std::vector<std::pair<ImageFormat, bool>> cases;
    for (ImageFormat content : kWritten) {
        cases.push_back({content, false});
        cases.push_back({content, true});
    }
    int counter = 0;
    for (const ImageFormatEntry& named : ImageFormats()) {
        for (std::string_view extension : named.extensions) {
            if (extension.empty()) {
                continue;
            }
            for (const auto& [content, upper] : cases) {
                const bool own = content == named.format;
                const std::string path =
                    dir.File("f" + std::to_string(++counter) + "." +
                             (upper ? Upper(extension) : std::string(extension)));
                SCOPED_TRACE(path + " holding " + OutputExtension(content));
                const test::Bytes& bytes = files[content];
                test::WriteFile(path, bytes);
                const std::optional<ImageHeaderInfo> info = ProbeImageHeader(path);
                EXPECT_EQ(info.has_value(), own);
                if (info) {
                    EXPECT_EQ(info->width, 4u);
                    EXPECT_EQ(info->height, 6u);
                }
                EXPECT_EQ(ProbePixelLayout(path),
                          own ? std::optional(PixelLayout{3, 1}) : std::nullopt);
                EXPECT_EQ(WithResolution(path, bytes, 300).has_value(), own);
                const StampOutcome stamped = StampResolution(path, 300);
                EXPECT_EQ(stamped.kind == StampOutcome::Kind::Stamped, own);
                EXPECT_EQ(test::ReadFile(path) != bytes, own);
                if (own) {
                    EXPECT_EQ(ProbeImageHeader(path)->dpi, 300u);
                }
            }
        }
    }
}

}  // namespace
}  // namespace korvale
