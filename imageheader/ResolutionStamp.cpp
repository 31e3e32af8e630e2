// Resolution stamping: BMP and JPEG fields, and PNG and TIFF ones where they exist, are patched
// in place, reading a few dozen header bytes and never the pixels. A PNG or TIFF without them is
// read whole and replaced by a copy with them inserted.
#include "ResolutionStamp.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>
#include <vector>

#include "AtomicFile.h"
#include "ByteFile.h"
#include "ByteSource.h"
#include "HeifEdit.h"
#include "JpegSegments.h"
#include "JxlEdit.h"
#include "ResolutionEdit.h"
#include "WebpEdit.h"

namespace korvale {
namespace {

constexpr int kMaxSkippedSegments = 128;

// Reads one byte; -1 at the end of the file.
int ReadByte(ByteFile& file) {
    unsigned char byte;
    return file.Read(&byte, 1) == 1 ? byte : -1;
}

using Kind = StampOutcome::Kind;

// Where an APP0 segment's data starts and the length its header gives.
struct Segment {
    uint64_t payloadAt = 0;
    int length = 0;
};

// Whether an APP0 segment's first five bytes name `kind` ("JFIF" or "JFXX") and its end.
bool IsApp0Kind(const unsigned char* identifier, const char* kind) {
    return std::memcmp(identifier, kind, 4) == 0 && identifier[4] == 0;
}

StampOutcome Outcome(Kind kind) {
    return {kind, 0};
}

// The system's reason for the last failed call; a call that failed without one (a write that
// made no progress) counts as an input/output error.
StampOutcome SystemFailure() {
    return {Kind::Failed, errno != 0 ? errno : EIO};
}

// Writes `count` bytes at `offset` unless they are there already. A range that does not lie
// wholly inside the file is not stamped: the file must not grow, nor be stamped by half.
StampOutcome PatchAt(ByteFile& file, uint64_t offset, const unsigned char* bytes, size_t count) {
    if (offset > file.Size() || count > file.Size() - offset) {
        return Outcome(Kind::NotStamped);
    }
    std::vector<unsigned char> present(count);
    file.Seek(offset);
    errno = 0;
    if (file.Read(present.data(), count) != count) {
        return errno != 0 ? SystemFailure() : Outcome(Kind::NotStamped);
    }
    if (std::equal(present.begin(), present.end(), bytes)) {
        return Outcome(Kind::AlreadySet);
    }
    file.Seek(offset);
    errno = 0;
    return file.Write(bytes, count) ? Outcome(Kind::Stamped) : SystemFailure();
}

using PlanEdit = ResolutionEdit (*)(ByteSource&, uint32_t);
using Rebuild = std::optional<std::vector<uint8_t>> (*)(const std::vector<uint8_t>&, uint32_t);

StampOutcome StampByEdit(const std::string& path, uint32_t dpi, PlanEdit plan, Rebuild rebuild) {
    std::vector<uint8_t> whole;
    {
        ByteFile file;
        if (!file.Open(path, ByteFile::Access::Update)) {
            return SystemFailure();
        }
        FileSource source(file);
        const ResolutionEdit edit = plan(source, dpi);
        if (edit.kind == ResolutionEdit::Kind::None) {
            return Outcome(Kind::NotStamped);
        }
        if (edit.kind == ResolutionEdit::Kind::InPlace) {
            // The walk read every patched byte, so no write reaches past the file's end.
            StampOutcome outcome = Outcome(Kind::AlreadySet);
            for (const BytePatch& patch : edit.patches) {
                const StampOutcome patched =
                    PatchAt(file, patch.offset, patch.bytes.data(), patch.bytes.size());
                if (patched.kind == Kind::Stamped) {
                    outcome = patched;
                } else if (patched.kind != Kind::AlreadySet) {
                    // Patches written before stay written: the file changed all the same.
                    return outcome.kind == Kind::Stamped ? outcome : patched;
                }
            }
            return outcome;
        }
        whole.resize(file.Size());
        file.Seek(0);
        errno = 0;
        if (file.Read(whole.data(), whole.size()) != whole.size()) {
            return errno != 0 ? SystemFailure() : Outcome(Kind::NotStamped);
        }
    }
    const std::optional<std::vector<uint8_t>> rebuilt =
        rebuild ? rebuild(whole, dpi) : std::nullopt;
    if (!rebuilt) {
        return Outcome(Kind::NotStamped);
    }
    // Replaced as outputs are written: the old file stays whole until the rename.
    AtomicFile out;
    if (!out.Open(path, {}, /*keepReadOnly=*/true) ||
        !out.Write(rebuilt->data(), rebuilt->size()) || !out.Commit()) {
        out.Discard();
        return {Kind::Failed, out.error().code != 0 ? out.error().code : EIO};
    }
    return Outcome(Kind::Stamped);
}

}  // namespace

StampOutcome StampPngResolution(const std::string& path, uint32_t dpi) {
    return StampByEdit(path, dpi, PlanPngResolution, PngWithResolution);
}

StampOutcome StampTiffResolution(const std::string& path, uint32_t dpi) {
    return StampByEdit(path, dpi, PlanTiffResolution, TiffWithResolution);
}

StampOutcome StampWebpResolution(const std::string& path, uint32_t dpi) {
    return StampByEdit(path, dpi, PlanWebpResolution, WebpWithResolution);
}

StampOutcome StampHeifResolution(const std::string& path, uint32_t dpi) {
    return StampByEdit(path, dpi, PlanHeifResolution, HeifWithResolution);
}

StampOutcome StampJxlResolution(const std::string& path, uint32_t dpi) {
    return StampByEdit(path, dpi, PlanJxlResolution, JxlWithResolution);
}

StampOutcome StampBmpResolution(const std::string& path, uint32_t dpi) {
    // Always in place: one write for both fields, so a file that ends inside the second one is
    // left unchanged, not stamped by half.
    return StampByEdit(path, dpi, PlanBmpResolution, nullptr);
}

StampOutcome StampJpegResolution(const std::string& path, uint32_t dpi) {
    ByteFile file;
    if (!file.Open(path, ByteFile::Access::Update)) {
        return SystemFailure();
    }
    if (ReadByte(file) != 0xFF || ReadByte(file) != 0xD8) {
        return Outcome(Kind::NotStamped);
    }
    // The density fields hold 16 bits; a larger value is written as the largest one, not
    // wrapped.
    const uint32_t density = std::min<uint32_t>(dpi, 0xFFFF);
    const auto high = static_cast<unsigned char>(density >> 8);
    const auto low = static_cast<unsigned char>(density);
    const unsigned char fields[5] = {0x01, high, low, high, low};
    // The densities of the APP0 segment the probe reads: the first JFIF one, else the first one
    // that is no JFXX extension (whose bytes there belong to a thumbnail). Reaching the image
    // data, the end of the file or the segment limit without either means there is no JFIF
    // header to patch.
    std::optional<Segment> other;
    const auto patchOther = [&]() {
        if (!other) {
            return Outcome(Kind::NoJfif);
        }
        // A segment too short to hold the fields would have the next one overwritten.
        return other->length < 14 ? Outcome(Kind::NoJfif)
                                  : PatchAt(file, other->payloadAt + 7, fields, sizeof fields);
    };
    FileSource source(file);
    std::optional<StampOutcome> outcome;
    int skipped = 0;
    WalkJpegMarkers(
        source, 2, JpegGaps::SkipToMarker, [&](const JpegMarker& m) -> std::optional<uint64_t> {
            unsigned char lengthField[2];
            if (!source.ReadAt(m.lengthAt, lengthField, sizeof lengthField)) {
                return std::nullopt;
            }
            const int length = (lengthField[0] << 8) | lengthField[1];
            const uint64_t payloadAt = m.lengthAt + 2;
            if (m.code == 0xE0) {
                unsigned char identifier[5] = {};
                const bool got = source.ReadAt(payloadAt, identifier, sizeof identifier);
                if (got && IsApp0Kind(identifier, "JFIF")) {
                    // Past the identifier and the version.
                    outcome = length < 14 ? Outcome(Kind::NoJfif)
                                          : PatchAt(file, payloadAt + 7, fields, sizeof fields);
                    return std::nullopt;
                }
                if (!other && !(got && IsApp0Kind(identifier, "JFXX"))) {
                    other = Segment{payloadAt, length};
                }
            }
            if (++skipped > kMaxSkippedSegments || m.code == 0xDA) {
                return std::nullopt;
            }
            return payloadAt + static_cast<uint64_t>(length) - 2;
        });
    return outcome ? *outcome : patchOther();
}

}  // namespace korvale
