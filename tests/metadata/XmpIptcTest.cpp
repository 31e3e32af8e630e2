// XMP and IPTC made true for an output and kept without the place, and the PNG and TIFF pieces
// read from damaged headers; over byte buffers built by the tests.
#include <gtest/gtest.h>

#include <string>

#include "PhotoshopEdit.h"
#include "PngMetadata.h"
#include "PngTiffFiles.h"
#include "SourceMetadata.h"
#include "TestFiles.h"
#include "TiffBuilder.h"
#include "XmpEdit.h"

namespace korvale {
namespace {

using test::Bytes;

Bytes B(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

std::string S(const Bytes& bytes) {
    return std::string(bytes.begin(), bytes.end());
}

const std::string kOpen =
    "<?xpacket begin='' id='W5M0MpCehiHzreSzNTczkc9d'?><x:xmpmeta xmlns:x='adobe:ns:meta/'>"
    "<rdf:RDF xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'>";
const std::string kClose = "</rdf:RDF></x:xmpmeta><?xpacket end='w'?>";

std::string Packet(const std::string& body) {
    return kOpen + body + kClose;
}

TEST(XmpForOutput, RemovesThePlaceAndSaysWhatTheOutputIs) {
    const struct {
        const char* what;
        std::string body;
        std::string noPlace;  // expected without the place
        std::string all;      // expected with it
    } cases[] = {
        {"attributes, under any prefix",
         "<rdf:Description xmlns:e='http://ns.adobe.com/exif/1.0/' "
         "xmlns:t='http://ns.adobe.com/tiff/1.0/' e:GPSLatitude='35,6N' t:ImageWidth='640' "
         "t:XResolution='72/1' e:PixelYDimension=\"480\" e:Flash='x'/>",
         "<rdf:Description xmlns:e='http://ns.adobe.com/exif/1.0/' "
         "xmlns:t='http://ns.adobe.com/tiff/1.0/' t:ImageWidth='40' t:XResolution='300/1' "
         "e:PixelYDimension=\"30\" e:Flash='x'/>",
         "<rdf:Description xmlns:e='http://ns.adobe.com/exif/1.0/' "
         "xmlns:t='http://ns.adobe.com/tiff/1.0/' e:GPSLatitude='35,6N' t:ImageWidth='40' "
         "t:XResolution='300/1' e:PixelYDimension=\"30\" e:Flash='x'/>"},
        {"elements and structures",
         "<rdf:Description xmlns:photoshop='http://ns.adobe.com/photoshop/1.0/' "
         "xmlns:ext='http://iptc.org/std/Iptc4xmpExt/2008-02-29/' "
         "xmlns:tiff='http://ns.adobe.com/tiff/1.0/'>"
         "<photoshop:City>Kyoto</photoshop:City><photoshop:Headline>H</photoshop:Headline>"
         "<ext:LocationCreated><rdf:Bag><rdf:li rdf:parseType='Resource'><ext:City>K</ext:City>"
         "</rdf:li></rdf:Bag></ext:LocationCreated>"
         "<tiff:Orientation>6</tiff:Orientation><tiff:ResolutionUnit/></rdf:Description>",
         "<rdf:Description xmlns:photoshop='http://ns.adobe.com/photoshop/1.0/' "
         "xmlns:ext='http://iptc.org/std/Iptc4xmpExt/2008-02-29/' "
         "xmlns:tiff='http://ns.adobe.com/tiff/1.0/'>"
         "<photoshop:Headline>H</photoshop:Headline>"
         "<tiff:Orientation>1</tiff:Orientation><tiff:ResolutionUnit/></rdf:Description>",
         "<rdf:Description xmlns:photoshop='http://ns.adobe.com/photoshop/1.0/' "
         "xmlns:ext='http://iptc.org/std/Iptc4xmpExt/2008-02-29/' "
         "xmlns:tiff='http://ns.adobe.com/tiff/1.0/'>"
         "<photoshop:City>Kyoto</photoshop:City><photoshop:Headline>H</photoshop:Headline>"
         "<ext:LocationCreated><rdf:Bag><rdf:li rdf:parseType='Resource'><ext:City>K</ext:City>"
         "</rdf:li></rdf:Bag></ext:LocationCreated>"
         "<tiff:Orientation>1</tiff:Orientation><tiff:ResolutionUnit/></rdf:Description>"},
        {"thumbnails and the extended XMP link go in every mode; comments stay",
         "<!-- a > b --><rdf:Description xmlns:xmp='http://ns.adobe.com/xap/1.0/' "
         "xmlns:n='http://ns.adobe.com/xmp/note/' n:HasExtendedXMP='ABC'>"
         "<xmp:Thumbnails><rdf:Alt><rdf:li>x</rdf:li></rdf:Alt></xmp:Thumbnails>"
         "<xmp:Rating>3</xmp:Rating></rdf:Description>",
         "<!-- a > b --><rdf:Description xmlns:xmp='http://ns.adobe.com/xap/1.0/' "
         "xmlns:n='http://ns.adobe.com/xmp/note/'><xmp:Rating>3</xmp:Rating></rdf:Description>",
         "<!-- a > b --><rdf:Description xmlns:xmp='http://ns.adobe.com/xap/1.0/' "
         "xmlns:n='http://ns.adobe.com/xmp/note/'><xmp:Rating>3</xmp:Rating></rdf:Description>"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        for (const bool keepPlace : {false, true}) {
            const std::optional<Bytes> made =
                XmpForOutput(B(Packet(c.body)), keepPlace, 40, 30, 300);
            ASSERT_TRUE(made);
            EXPECT_EQ(S(*made), Packet(keepPlace ? c.all : c.noPlace));
            // Made true once, it is true.
            EXPECT_EQ(XmpForOutput(*made, keepPlace, 40, 30, 300), made);
        }
    }
}

TEST(XmpForOutput, RefusesWhatIsNotXmpAsWritten) {
    const std::string description = "<rdf:Description xmlns:tiff='http://ns.adobe.com/tiff/1.0/'>";
    for (const std::string& body : {
             std::string("<!DOCTYPE x [<!ENTITY e 'GPS'>]>"),
             std::string("<rdf:Description u:GPSLatitude='1'/>"),  // unbound prefix
             std::string("<rdf:Description>"),                     // not closed
             std::string("<rdf:Description></rdf:Other>"),         // mismatched
             std::string("<rdf:Description a='1/>"),               // open quote
             description + "<tiff:ImageWidth><rdf:Seq/></tiff:ImageWidth></rdf:Description>",
             std::string(300, '<').substr(0, 1) + std::string(1000, 'a'),  // no tag end
             [] {
                 std::string deep;
                 for (int i = 0; i < 300; ++i) {
                     deep += "<a>";
                 }
                 return deep;
             }(),
         }) {
        EXPECT_FALSE(XmpForOutput(B(Packet(body)), true, 1, 1, 1)) << body;
    }
    Bytes utf16 = B(Packet(""));
    utf16.insert(utf16.begin() + 1, 0);
    EXPECT_FALSE(XmpForOutput(utf16, true, 1, 1, 1));
}

// One IPTC dataset: 0x1C, record, dataset, length, data.
Bytes Dataset(uint8_t record, uint8_t dataset, const std::string& data) {
    Bytes out = {0x1C, record, dataset};
    test::PutBe16(out, static_cast<uint32_t>(data.size()));
    out.insert(out.end(), data.begin(), data.end());
    return out;
}

TEST(IptcWithoutPlace, RemovesOnlyThePlaceDatasets) {
    const Bytes kept = test::Joined({Dataset(1, 90, "\x1b%G"), Dataset(2, 0, "\x00\x04"),
                                     Dataset(2, 5, "Temple"), Dataset(2, 25, "shrine")});
    const Bytes places =
        test::Joined({Dataset(2, 26, "JP-26"), Dataset(2, 27, "Gion"), Dataset(2, 90, "Kyoto"),
                      Dataset(2, 92, "Gion"), Dataset(2, 95, "Kyoto"), Dataset(2, 100, "JPN"),
                      Dataset(2, 101, "Japan")});
    // An extended length: 0x8004, then four bytes of length.
    Bytes extended = {0x1C, 2, 120, 0x80, 0x04, 0, 0, 0, 3, 'a', 'b', 'c'};
    EXPECT_EQ(IptcWithoutPlace(test::Joined({kept, places, extended, Bytes(3, 0)})),
              test::Joined({kept, extended}));
    for (const Bytes& bad : {test::Joined({kept, Bytes{0x1C, 2, 5, 0, 9, 'x'}}),  // runs past
                             test::Joined({kept, Bytes{7}}),                      // not a dataset
                             Bytes{0x1C, 2, 5, 0x80, 0x00}, Bytes{0x1C, 2}}) {
        EXPECT_FALSE(IptcWithoutPlace(bad));
    }
}

// One image resource: "8BIM", id, an empty name, size, data padded to even.
Bytes Resource(uint16_t id, const Bytes& data) {
    Bytes out = B("8BIM");
    test::PutBe16(out, id);
    out.insert(out.end(), {0, 0});
    test::PutBe32(out, static_cast<uint32_t>(data.size()));
    out.insert(out.end(), data.begin(), data.end());
    if (data.size() & 1) {
        out.push_back(0);
    }
    return out;
}

TEST(PhotoshopForOutput, KeepsTheResourcesAndMakesThemTrue) {
    const Bytes iptc = test::Joined({Dataset(2, 5, "Temple"), Dataset(2, 90, "Kyoto")});
    const Bytes resolution = {0, 72, 0, 0, 0, 1, 0, 1, 0, 72, 0, 0, 0, 1, 0, 1};
    const Bytes other = Resource(0x0421, Bytes(5, 7));
    const Bytes source =
        test::Joined({Resource(0x03ED, resolution), Resource(0x0404, iptc),
                      Resource(0x040C, Bytes(9, 1)), Resource(0x0425, Bytes(16, 2)), other});
    const Bytes atDpi = {0x01, 0x2C, 0, 0, 0, 1, 0, 1, 0x01, 0x2C, 0, 0, 0, 1, 0, 1};
    // All: the IPTC and its digest stay; the thumbnail goes; the resolution says 300.
    EXPECT_EQ(PhotoshopForOutput(source, true, 40, 30, 300),
              test::Joined({Resource(0x03ED, atDpi), Resource(0x0404, iptc),
                            Resource(0x0425, Bytes(16, 2)), other}));
    // Without the place, the digest of the changed IPTC goes too.
    EXPECT_EQ(
        PhotoshopForOutput(source, false, 40, 30, 300),
        test::Joined({Resource(0x03ED, atDpi), Resource(0x0404, Dataset(2, 5, "Temple")), other}));
    // An IPTC resource of nothing but the place leaves nothing to carry.
    EXPECT_EQ(PhotoshopForOutput(Resource(0x0404, Dataset(2, 101, "Japan")), false, 1, 1, 1),
              Bytes{});
    Bytes badSignature = source;
    badSignature[0] = 'X';
    EXPECT_FALSE(PhotoshopForOutput(badSignature, true, 1, 1, 1));
    Bytes cut = source;
    cut.resize(20);  // inside the first resource's data
    EXPECT_FALSE(PhotoshopForOutput(cut, true, 1, 1, 1));
}

TEST(SourcePieces, PngPiecesGoInAndComeBackAndDamagedClaimsGiveNothing) {
    const Bytes profile = test::MakeProfile(300);
    const OutputPieces pieces{profile, B(Packet("")), {}};
    const Bytes png = test::SimplePng(4, 3);
    const Bytes carried = PngWithPieces(png, pieces, 3);
    MemorySource source(carried);
    SourceMetadata read = ReadPngMetadata(source);
    EXPECT_EQ(read.iccProfile, profile);
    EXPECT_EQ(read.xmp, pieces.xmp);
    // An RGB profile stays off a grey image; the packet goes in all the same.
    const Bytes grey = PngWithPieces(png, pieces, 1);
    MemorySource greySource(grey);
    read = ReadPngMetadata(greySource);
    EXPECT_TRUE(read.iccProfile.empty());
    EXPECT_EQ(read.xmp, pieces.xmp);
    // iCCP's length claiming 2 GiB, and its deflated profile damaged: nothing, and no
    // allocation of what the claim says.
    for (const size_t at : {size_t{33}, size_t{33 + 8 + 16}}) {
        Bytes damaged = carried;
        damaged[at] ^= 0x7F;
        MemorySource d(damaged);
        EXPECT_TRUE(ReadPngMetadata(d).iccProfile.empty()) << at;
    }
}

TEST(SourcePieces, TiffProfileIsReadOnlyWhenTheFileHoldsIt) {
    const Bytes profile = test::MakeProfile(200);
    const Bytes base = test::SimpleTiff(false, 4, 3);
    const struct {
        uint32_t count;
        uint16_t type;
        bool read;
    } cases[] = {
        {200, 7, true}, {200, 1, true}, {200, 3, false}, {0x7FFFFFFF, 7, false}, {4, 7, false}};
    for (const auto& c : cases) {
        // One entry at offset 10, its type, count and value patched: the profile follows.
        Bytes tiff = test::MakeTiff(false, {{34675, test::kTiffLong, {0}}}, 0);
        const uint32_t at = static_cast<uint32_t>(tiff.size());
        tiff.insert(tiff.end(), profile.begin(), profile.end());
        tiff[12] = static_cast<uint8_t>(c.type);
        for (int i = 0; i < 4; ++i) {
            tiff[14 + i] = static_cast<uint8_t>(c.count >> (8 * i));
            tiff[18 + i] = static_cast<uint8_t>(at >> (8 * i));
        }
        MemorySource source(tiff);
        EXPECT_EQ(ReadTiffMetadata(source).iccProfile, c.read ? profile : Bytes{}) << c.count;
    }
    MemorySource plain(base);
    EXPECT_TRUE(ReadTiffMetadata(plain).iccProfile.empty());
}

}  // namespace
}  // namespace korvale
