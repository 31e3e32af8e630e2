// Colour profiles, XMP and IPTC carried through whole runs, over sources that ImageMagick made and
// exiftool tagged at test time, and read back from the outputs with exiftool.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

#include "BatchRun.h"
#include "ImageHeader.h"
#include "RecordingInteraction.h"
#include "TestFiles.h"

namespace korvale {
namespace {

using test::Bytes;

// Debian's tools, not whatever else PATH may put first.
const std::string kConvert = "/usr/bin/convert";
const std::string kExiftool = "/usr/bin/exiftool";

bool Shell(const std::string& command) {
    return std::system(command.c_str()) == 0;
}

bool HaveTools() {
    return Shell("test -x " + kConvert + " && test -x " + kExiftool);
}

std::string Quoted(const std::string& text) {
    return "'" + text + "'";
}

// What a command prints; empty when it fails.
std::string Output(const std::string& command) {
    std::string out;
    if (std::FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[4096];
        size_t n = 0;
        while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
            out.append(buffer, n);
        }
        if (::pclose(pipe) != 0) {
            out.clear();
        }
    }
    return out;
}

// An ICC profile exiftool takes: a header with its class, colour space and connection space,
// an empty tag table, and filler that is easy to recognise.
Bytes Profile(const char* space) {
    Bytes profile(560);
    for (size_t i = 0; i < profile.size(); ++i) {
        profile[i] = static_cast<uint8_t>(i * 7 + 3);
    }
    const Bytes size = {0, 0, 0x02, 0x30};
    std::copy(size.begin(), size.end(), profile.begin());
    std::memcpy(&profile[4], "none", 4);
    const uint8_t version[4] = {2, 0x40, 0, 0};
    std::memcpy(&profile[8], version, 4);
    std::memcpy(&profile[12], "mntr", 4);
    std::memcpy(&profile[16], space, 4);
    std::memcpy(&profile[20], "XYZ ", 4);
    std::memcpy(&profile[36], "acsp", 4);
    std::memset(&profile[128], 0, 4);
    return profile;
}

// Tags as exiftool prints them with -G1 -s: "[XMP-photoshop] City : Kyoto" becomes
// "XMP-photoshop:City" -> "Kyoto".
std::map<std::string, std::string> Tags(const std::string& path) {
    std::map<std::string, std::string> tags;
    const std::string text =
        Output(kExiftool + " -G1 -s -a -XMP:all -IPTC:all " + Quoted(path) + " 2>/dev/null");
    size_t at = 0;
    while (at < text.size()) {
        const size_t end = std::min(text.find('\n', at), text.size());
        const std::string line = text.substr(at, end - at);
        at = end + 1;
        const size_t close = line.find(']');
        const size_t colon = line.find(" : ");
        if (line.empty() || line[0] != '[' || close == std::string::npos ||
            colon == std::string::npos) {
            continue;
        }
        std::string tag = line.substr(close + 1, colon - close - 1);
        tag.erase(0, tag.find_first_not_of(' '));
        tag.erase(tag.find_last_not_of(' ') + 1);
        tags[line.substr(1, close - 1) + ":" + tag] = line.substr(colon + 3);
    }
    return tags;
}

class QuietHost : public BatchHost {
public:
    void UpdateControlStates(bool) override {}
    void SetStatusText(const std::string&) override {}
    void SetProgressRange(int) override {}
    void SetProgressPosition(int) override {}
};

class ThirdPartyMetadataTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!HaveTools()) {
            GTEST_SKIP() << "ImageMagick's convert or exiftool is not installed; skipped";
        }
        request_.outputFolder = out_.path();
        request_.targetWidth = 40;
        request_.targetHeight = 30;
        request_.targetDpi = 300;
    }

    // `name` made by ImageMagick (a colour or grey gradient), then tagged by exiftool with
    // `tags` (arguments as exiftool takes them).
    std::string Make(const std::string& name, bool grey, const std::string& tags) {
        const std::string path = in_.File(name);
        const std::string gradient =
            grey ? "gradient:black-white -colorspace Gray -type Grayscale" : "gradient:red-blue";
        EXPECT_TRUE(Shell(kConvert + " -size 61x43 " + gradient + " " + Quoted(path)));
        if (!tags.empty()) {
            EXPECT_TRUE(Shell(kExiftool + " -q -q -overwrite_original " + tags + " " +
                              Quoted(path) + " >/dev/null 2>&1"));
        }
        return path;
    }
    std::string MakeWithProfile(const std::string& name, bool grey, const Bytes& profile) {
        const std::string icc = in_.File("profile.icc");
        test::WriteFile(icc, profile);
        return Make(name, grey, "'-ICC_Profile<=" + icc + "'");
    }

    // One run over `path` alone into `format`; the output's path.
    std::string Run(const std::string& path, SaveFormat format, MetadataPolicy policy) {
        const auto info = ProbeImageHeader(path);
        EXPECT_TRUE(info) << path;
        FileList list;
        if (info) {
            list.MergeBatch({{path, info->width, info->height, info->dpi}});
        }
        request_.saveFormat = format;
        request_.metadata = policy;
        const std::string output = OutputOf(path, format);
        std::remove(output.c_str());
        bool running = false;
        test::RecordingInteraction ui;
        QuietHost host;
        EXPECT_EQ(RunBatch(list, request_, running, host, ui), BatchEnd::Completed);
        return output;
    }
    std::string OutputOf(const std::string& path, SaveFormat format) const {
        const std::string name = path.substr(path.rfind('/') + 1);
        const std::string base = name.substr(0, name.rfind('.'));
        const char* extension = format == SaveFormat::Png    ? ".png"
                                : format == SaveFormat::Tiff ? ".tif"
                                : format == SaveFormat::Jpeg ? ".jpg"
                                : format == SaveFormat::Webp ? ".webp"
                                : format == SaveFormat::Avif ? ".avif"
                                                             : ".bmp";
        return out_.File(format == SaveFormat::SameAsSource ? name : base + extension);
    }

    static Bytes CarriedProfile(const std::string& path) {
        const std::string text =
            Output(kExiftool + " -b -ICC_Profile " + Quoted(path) + " 2>/dev/null");
        return Bytes(text.begin(), text.end());
    }

    test::TempDir in_;
    test::TempDir out_;
    BatchRequest request_;
};

TEST_F(ThirdPartyMetadataTest, ProfilesGoFromEveryFormatIntoEveryFormatThatHoldsThem) {
    const Bytes rgb = Profile("RGB ");
    const Bytes grey = Profile("GRAY");
    const struct {
        const char* source;
        bool greySource;
        const Bytes& profile;
        SaveFormat output;
        bool carried;
    } cases[] = {
        {"a.png", false, rgb, SaveFormat::Tiff, true},
        {"b.tif", false, rgb, SaveFormat::Png, true},
        {"c.png", false, rgb, SaveFormat::Jpeg, true},
        {"d.jpg", false, rgb, SaveFormat::Png, true},
        {"e.jpg", false, rgb, SaveFormat::Tiff, true},
        {"f.tif", false, rgb, SaveFormat::Jpeg, true},
        {"g.png", true, grey, SaveFormat::Tiff, true},
        {"h.tif", true, grey, SaveFormat::Jpeg, true},
        {"n.jpg", false, rgb, SaveFormat::Webp, true},
        {"o.png", false, rgb, SaveFormat::Avif, true},
        // A profile that does not match the output's channels is left out.
        {"i.png", false, grey, SaveFormat::Png, false},
        {"j.tif", false, grey, SaveFormat::Tiff, false},
        {"k.jpg", false, grey, SaveFormat::Jpeg, false},
        {"l.png", true, rgb, SaveFormat::Tiff, false},
        {"m.png", false, rgb, SaveFormat::Bmp, false},
        {"p.jpg", false, grey, SaveFormat::Webp, false},
        {"q.tif", false, grey, SaveFormat::Avif, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.source + std::to_string(static_cast<int>(c.output)));
        const std::string source = MakeWithProfile(c.source, c.greySource, c.profile);
        ASSERT_EQ(CarriedProfile(source), c.profile) << "exiftool did not embed the profile";
        const std::string output = Run(source, c.output, MetadataPolicy::None);
        EXPECT_EQ(CarriedProfile(output), c.carried ? c.profile : Bytes{});
        EXPECT_EQ(ProbeImageHeader(output), (ImageHeaderInfo{40, 30, 300}));
    }
}

TEST_F(ThirdPartyMetadataTest, TiffCropAndPasteCarriesTheProfileToo) {
    const Bytes rgb = Profile("RGB ");
    const std::string source = MakeWithProfile("a.tif", false, rgb);
    request_.method = BatchMethod::CropPaste;
    EXPECT_EQ(CarriedProfile(Run(source, SaveFormat::SameAsSource, MetadataPolicy::NoGps)), rgb);
}

// Location in XMP (GPS, photoshop, IPTC Core and Extension) and in IPTC, beside what is not.
const std::string kPlaceTags =
    "-XMP-exif:GPSLatitude=35.1 -XMP-photoshop:City=Kyoto -XMP-photoshop:State=Kyoto "
    "-XMP-photoshop:Country=Japan -XMP-iptcCore:Location=Gion -XMP-iptcCore:CountryCode=JP "
    "-XMP-iptcExt:LocationShownCity=Kyoto -XMP-dc:Title=Temple -XMP-tiff:ImageWidth=61 "
    "-XMP-tiff:ImageHeight=43 -XMP-tiff:XResolution=72 -XMP-tiff:ResolutionUnit=cm "
    "-XMP-exif:ExifImageWidth=61 -IPTC:City=Kyoto -IPTC:Sub-location=Gion "
    "-IPTC:Province-State=Kyoto -IPTC:Country-PrimaryLocationCode=JPN "
    "-IPTC:Country-PrimaryLocationName=Japan -IPTC:ObjectName=Temple -IPTC:Keywords=shrine";
const char* const kPlaces[] = {
    "XMP-exif:GPSLatitude",
    "XMP-photoshop:City",
    "XMP-photoshop:State",
    "XMP-photoshop:Country",
    "XMP-iptcCore:Location",
    "XMP-iptcCore:CountryCode",
    "XMP-iptcExt:LocationShownCity",
    "IPTC:City",
    "IPTC:Sub-location",
    "IPTC:Province-State",
    "IPTC:Country-PrimaryLocationCode",
    "IPTC:Country-PrimaryLocationName",
};

TEST_F(ThirdPartyMetadataTest, XmpAndIptcFollowThePolicy) {
    const std::string source = Make("a.jpg", false, kPlaceTags);
    const std::map<std::string, std::string> before = Tags(source);
    for (const char* place : kPlaces) {
        ASSERT_EQ(before.count(place), 1u) << "exiftool did not write " << place;
    }
    const struct {
        SaveFormat output;
        MetadataPolicy policy;
        bool xmp, iptc, place;
    } cases[] = {
        {SaveFormat::Jpeg, MetadataPolicy::All, true, true, true},
        {SaveFormat::Jpeg, MetadataPolicy::NoGps, true, true, false},
        {SaveFormat::Jpeg, MetadataPolicy::None, false, false, false},
        // XMP goes into PNG (iTXt) and TIFF (XMLPacket); IPTC only into JPEG.
        {SaveFormat::Png, MetadataPolicy::All, true, false, true},
        {SaveFormat::Png, MetadataPolicy::NoGps, true, false, false},
        {SaveFormat::Tiff, MetadataPolicy::NoGps, true, false, false},
        {SaveFormat::Tiff, MetadataPolicy::None, false, false, false},
        // WebP and AVIF hold XMP (a chunk, an item) but no IPTC.
        {SaveFormat::Webp, MetadataPolicy::All, true, false, true},
        {SaveFormat::Webp, MetadataPolicy::NoGps, true, false, false},
        {SaveFormat::Avif, MetadataPolicy::NoGps, true, false, false},
        {SaveFormat::Avif, MetadataPolicy::None, false, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(static_cast<int>(c.output)) + "/" +
                     std::to_string(static_cast<int>(c.policy)));
        const std::map<std::string, std::string> tags = Tags(Run(source, c.output, c.policy));
        EXPECT_EQ(tags.count("XMP-dc:Title"), c.xmp ? 1u : 0u);
        EXPECT_EQ(tags.count("IPTC:ObjectName"), c.iptc ? 1u : 0u);
        EXPECT_EQ(tags.count("IPTC:Keywords"), c.iptc ? 1u : 0u);
        for (const char* place : kPlaces) {
            const bool inIptc = std::strncmp(place, "IPTC:", 5) == 0;
            EXPECT_EQ(tags.count(place), c.place && (inIptc ? c.iptc : c.xmp) ? 1u : 0u) << place;
        }
        if (c.xmp) {
            // The XMP says what the output is, as its Exif and header do.
            EXPECT_EQ(tags.at("XMP-tiff:ImageWidth"), "40");
            EXPECT_EQ(tags.at("XMP-tiff:ImageHeight"), "30");
            EXPECT_EQ(tags.at("XMP-tiff:XResolution"), "300");
            EXPECT_EQ(tags.at("XMP-tiff:ResolutionUnit"), "inches");
            EXPECT_EQ(tags.at("XMP-exif:ExifImageWidth"), "40");
        }
    }
}

// The new outputs keep their Exif in a chunk or an item of its own: the camera stays, the place
// only with every tag kept.
TEST_F(ThirdPartyMetadataTest, ExifFollowsThePolicyIntoWebpAndAvif) {
    const std::string source =
        Make("a.jpg", false, "-Model=KorvaleCam -GPSLatitude=35.5 -GPSLatitudeRef=N");
    const struct {
        SaveFormat output;
        MetadataPolicy policy;
        const char* tags;  // Model, GPSLatitude, XResolution as exiftool prints them
    } cases[] = {
        {SaveFormat::Webp, MetadataPolicy::All, "KorvaleCam\n35.5\n300\n"},
        {SaveFormat::Webp, MetadataPolicy::NoGps, "KorvaleCam\n300\n"},
        {SaveFormat::Webp, MetadataPolicy::None, "300\n"},
        {SaveFormat::Avif, MetadataPolicy::All, "KorvaleCam\n35.5\n300\n"},
        {SaveFormat::Avif, MetadataPolicy::NoGps, "KorvaleCam\n300\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(static_cast<int>(c.output)) + "/" +
                     std::to_string(static_cast<int>(c.policy)));
        const std::string output = Run(source, c.output, c.policy);
        EXPECT_EQ(Output(kExiftool + " -s3 -n -Model -GPSLatitude -XResolution " + Quoted(output)),
                  c.tags);
    }
}

// cjxl keeps a JPEG's Exif in a Brotli-compressed box; it is inflated and carried as a plain
// JPEG XL Exif box is.
TEST_F(ThirdPartyMetadataTest, ExifOfAJpegXlComesCompressedOrNot) {
    if (!Shell("command -v cjxl >/dev/null")) {
        GTEST_SKIP() << "cjxl (libjxl-tools) is not installed";
    }
    const std::string jpeg =
        Make("a.jpg", false, "-Model=KorvaleCam -GPSLatitude=35.5 -GPSLatitudeRef=N");
    const std::string compressed = in_.File("compressed.jxl");
    ASSERT_TRUE(Shell("cjxl " + Quoted(jpeg) + " " + Quoted(compressed) + " >/dev/null 2>&1"));
    const std::string plain = in_.File("plain.jxl");
    ASSERT_TRUE(Shell("cjxl " + Quoted(Make("b.png", false, "")) + " " + Quoted(plain) +
                      " >/dev/null 2>&1 && " + kExiftool +
                      " -m -q -q -overwrite_original -Model=KorvaleCam -GPSLatitude=35.5 "
                      "-GPSLatitudeRef=N " +
                      Quoted(plain)));
    const struct {
        const std::string& source;
        SaveFormat output;
        MetadataPolicy policy;
        const char* tags;  // Model, GPSLatitude, XResolution as exiftool prints them
    } cases[] = {
        {compressed, SaveFormat::Jpeg, MetadataPolicy::All, "KorvaleCam\n35.5\n300\n"},
        {compressed, SaveFormat::Webp, MetadataPolicy::NoGps, "KorvaleCam\n300\n"},
        {plain, SaveFormat::Jpeg, MetadataPolicy::All, "KorvaleCam\n35.5\n300\n"},
        {plain, SaveFormat::Avif, MetadataPolicy::NoGps, "KorvaleCam\n300\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.source + " " + std::to_string(static_cast<int>(c.output)));
        const std::string output = Run(c.source, c.output, c.policy);
        EXPECT_EQ(Output(kExiftool + " -s3 -n -Model -GPSLatitude -XResolution " + Quoted(output)),
                  c.tags);
    }
}

}  // namespace
}  // namespace korvale
