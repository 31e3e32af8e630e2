// Fuzz target: the JPEG segment walk, the metadata taken from a JPEG, PNG or TIFF source, the
// Exif, XMP and IPTC edits, the pieces put into PNG outputs and the resolution-only copies, all
// over byte buffers. The first input byte picks the policy, the
// next two are the DPI (little-endian), the rest is the file.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <optional>

#include "ByteSource.h"
#include "ExifEdit.h"
#include "HeaderWalk.h"
#include "JpegMetadata.h"
#include "JpegSegments.h"
#include "PhotoshopEdit.h"
#include "PngMetadata.h"
#include "ResolutionCopy.h"
#include "XmpEdit.h"

using namespace korvale;

namespace {

// A JPEG as the encoder writes one, down to the markers the walk and the carrying look at.
const ByteBuffer& EncodedOutput() {
    static const ByteBuffer bytes = [] {
        ByteBuffer out = {0xFF, 0xD8};
        const uint8_t jfif[] = {'J', 'F', 'I', 'F', 0, 1, 1, 0, 0, 1, 0, 1, 0, 0};
        AppendSegment(out, 0xE0, jfif, sizeof jfif);
        const uint8_t quantTable[65] = {};
        AppendSegment(out, 0xDB, quantTable, sizeof quantTable);
        const uint8_t frame[] = {8, 0, 8, 0, 8, 3, 1, 0x22, 0, 2, 0x11, 1, 3, 0x11, 1};
        AppendSegment(out, 0xC0, frame, sizeof frame);
        const uint8_t scan[] = {3, 1, 0, 2, 0x11, 3, 0x11, 0, 0x3F, 0};
        AppendSegment(out, 0xDA, scan, sizeof scan);
        out.insert(out.end(), {0x12, 0x34, 0xFF, 0x00, 0x56, 0xFF, 0xD9});
        return out;
    }();
    return bytes;
}

// A walk stays inside the buffer, in order, and a complete one ends on the scan marker.
JpegHeaderWalk CheckedWalk(const ByteBuffer& bytes) {
    const JpegHeaderWalk walk = WalkJpegHeader(bytes.data(), bytes.size());
    size_t previousEnd = 2;
    for (const JpegSegment& s : walk.segments) {
        if (s.markerAt < previousEnd || s.payloadAt != s.markerAt + 4 || s.end() > bytes.size() ||
            bytes[s.markerAt] != 0xFF || bytes[s.markerAt + 1] != s.code) {
            std::abort();
        }
        previousEnd = s.end();
    }
    if (walk.complete && (walk.scanAt < previousEnd || walk.scanAt + 1 >= bytes.size() ||
                          bytes[walk.scanAt] != 0xFF || bytes[walk.scanAt + 1] != 0xDA)) {
        std::abort();
    }
    return walk;
}

bool SameFrom(const ByteBuffer& a, size_t aAt, const ByteBuffer& b, size_t bAt) {
    return a.size() - aAt == b.size() - bAt &&
           std::equal(a.begin() + aAt, a.end(), b.begin() + bAt);
}

// What carrying or a resolution change does to a JPEG: the walk still reaches the scan, and
// the scan and everything after it are the same bytes.
void CheckKeepsScan(const ByteBuffer& before, const ByteBuffer& after) {
    const JpegHeaderWalk walkBefore = CheckedWalk(before);
    const JpegHeaderWalk walkAfter = CheckedWalk(after);
    if (walkBefore.complete &&
        (!walkAfter.complete || !SameFrom(before, walkBefore.scanAt, after, walkAfter.scanAt))) {
        std::abort();
    }
}

void CheckExifEdits(const ByteBuffer& tiff, bool keepGps, uint32_t dpi) {
    const std::optional<ByteBuffer> made = ExifForOutput(tiff, keepGps, 640, 480, dpi);
    if (made) {
        if (made->size() > tiff.size()) {
            std::abort();
        }
        // A block made true is well formed and already true.
        const std::optional<ByteBuffer> again = ExifForOutput(*made, keepGps, 640, 480, dpi);
        if (!again || *again != *made) {
            std::abort();
        }
    }
    ByteBuffer edited = tiff;
    if (SetExifResolution(edited.data(), edited.size(), dpi)) {
        ByteBuffer twice = edited;
        if (!SetExifResolution(twice.data(), twice.size(), dpi) || twice != edited) {
            std::abort();
        }
    } else if (edited != tiff) {
        std::abort();
    }
}

// An edit made once is true: made again, it is the same.
template <typename Edit>
void CheckSettles(const ByteBuffer& bytes, Edit edit) {
    if (const std::optional<ByteBuffer> made = edit(bytes)) {
        if (edit(*made) != made) {
            std::abort();
        }
    }
}

// The pieces read from a PNG or TIFF source are plausible, and a PNG given pieces still walks
// and gives them back.
void CheckPngTiffPieces(const ByteBuffer& file, MetadataPolicy policy, uint32_t dpi) {
    MemorySource source(file);
    const SourceMetadata png = ReadPngMetadata(source);
    const SourceMetadata tiff = ReadTiffMetadata(source);
    for (const SourceMetadata* m : {&png, &tiff}) {
        if (!m->iccProfile.empty() && !PlausibleProfile(m->iccProfile)) {
            std::abort();
        }
    }
    const OutputPieces pieces = PiecesForOutput(png, policy, 640, 480, dpi);
    const ByteBuffer carried = PngWithPieces(file, pieces, 3);
    if (carried != file) {
        MemorySource again(carried);
        PngLayout layout;
        if (!WalkPng(again, layout)) {
            std::abort();
        }
        const SourceMetadata read = ReadPngMetadata(again);
        if (ProfileFitsChannels(pieces.iccProfile, 3) && read.iccProfile != pieces.iccProfile) {
            std::abort();
        }
        if (!pieces.xmp.empty() && read.xmp != pieces.xmp) {
            std::abort();
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3) {
        return 0;
    }
    const auto policy = static_cast<MetadataPolicy>(data[0] % 3);
    const uint32_t dpi = static_cast<uint32_t>(data[1]) | (static_cast<uint32_t>(data[2]) << 8);
    const ByteBuffer file(data + 3, data + size);

    CheckedWalk(file);
    const SourceMetadata metadata = ExtractJpegMetadata(file.data(), file.size());
    if (!metadata.exif.empty()) {
        CheckExifEdits(metadata.exif, policy == MetadataPolicy::All, dpi);
    }
    // The bytes as a bare TIFF structure reach the Exif edits far more often.
    CheckExifEdits(file, policy == MetadataPolicy::All, dpi);

    const bool keepPlace = policy == MetadataPolicy::All;
    const auto xmp = [&](const ByteBuffer& b) { return XmpForOutput(b, keepPlace, 640, 480, dpi); };
    const auto photoshop = [&](const ByteBuffer& b) {
        return PhotoshopForOutput(b, keepPlace, 640, 480, dpi);
    };
    CheckSettles(file, xmp);
    CheckSettles(metadata.xmp, xmp);
    CheckSettles(file, photoshop);
    CheckSettles(metadata.photoshop, photoshop);
    if (const std::optional<ByteBuffer> iptc = IptcWithoutPlace(file)) {
        if (IptcWithoutPlace(*iptc) != iptc) {
            std::abort();
        }
    }
    CheckPngTiffPieces(file, policy, dpi);

    CheckKeepsScan(EncodedOutput(),
                   CarryJpegMetadata(EncodedOutput(), metadata, policy, 640, 480, dpi));
    CheckKeepsScan(file, CarryJpegMetadata(file, metadata, policy, 640, 480, dpi));

    if (const std::optional<ByteBuffer> jpeg = JpegWithResolution(file, dpi)) {
        CheckKeepsScan(file, *jpeg);
        const std::optional<ByteBuffer> again = JpegWithResolution(*jpeg, dpi);
        if (!again || *again != *jpeg) {
            std::abort();
        }
    }
    if (const std::optional<ByteBuffer> bmp = BmpWithResolution(file, dpi)) {
        if (bmp->size() != file.size()) {
            std::abort();
        }
        for (size_t i = 0; i < file.size(); ++i) {
            if ((*bmp)[i] != file[i] && (i < 38 || i > 45)) {
                std::abort();
            }
        }
        if (BmpWithResolution(*bmp, dpi) != bmp) {
            std::abort();
        }
    }
    return 0;
}
