// Resolution stamping: BMP and JPEG fields, and PNG and TIFF ones where they exist, are patched
// in place, reading a few dozen header bytes and never the pixels. A PNG or TIFF without them is
// read whole and replaced by a copy with them inserted.
#include "ResolutionStamp.h"

#include <algorithm>

#include "AtomicFile.h"
#include "ByteFile.h"
#include "ResolutionEdit.h"
#include "Text.h"

namespace korvale {
namespace {

constexpr int kMaxSkippedSegments = 128;

// Reads one byte; -1 at the end of the file.
int ReadByte(ByteFile& file) {
    unsigned char byte;
    return file.Read(&byte, 1) == 1 ? byte : -1;
}

using PlanEdit = ResolutionEdit (*)(ByteSource&, uint32_t);
using Rebuild = std::optional<std::vector<uint8_t>> (*)(const std::vector<uint8_t>&, uint32_t);

void StampByEdit(const std::string& path, uint32_t dpi, PlanEdit plan, Rebuild rebuild) {
    std::vector<uint8_t> whole;
    {
        ByteFile file;
        if (!file.Open(path, ByteFile::Access::Update)) {
            return;
        }
        FileSource source(file);
        const ResolutionEdit edit = plan(source, dpi);
        if (edit.kind == ResolutionEdit::Kind::None) {
            return;
        }
        if (edit.kind == ResolutionEdit::Kind::InPlace) {
            // The walk read every patched byte, so no write reaches past the file's end.
            for (const BytePatch& patch : edit.patches) {
                file.Seek(patch.offset);
                if (!file.Write(patch.bytes.data(), patch.bytes.size())) {
                    return;
                }
            }
            return;
        }
        whole.resize(file.Size());
        file.Seek(0);
        if (file.Read(whole.data(), whole.size()) != whole.size()) {
            return;
        }
    }
    const std::optional<std::vector<uint8_t>> rebuilt = rebuild(whole, dpi);
    if (!rebuilt) {
        return;
    }
    // Replaced as outputs are written: the old file stays whole until the rename.
    AtomicFile out;
    if (!out.Open(path, {}, /*keepReadOnly=*/true) ||
        !out.Write(rebuilt->data(), rebuilt->size()) || !out.Commit()) {
        out.Discard();
    }
}

}  // namespace

void StampPngResolution(const std::string& path, uint32_t dpi) {
    StampByEdit(path, dpi, PlanPngResolution, PngWithResolution);
}

void StampTiffResolution(const std::string& path, uint32_t dpi) {
    StampByEdit(path, dpi, PlanTiffResolution, TiffWithResolution);
}

int32_t BmpPixelsPerMetre(uint32_t dpi) {
    // 64 bits: DPI values from source headers can exceed what the 32-bit product holds.
    const uint64_t value = (static_cast<uint64_t>(dpi) * 10000 + 127) / 254;
    return static_cast<int32_t>(std::min<uint64_t>(value, INT32_MAX));
}

void StampBmpResolution(const std::string& path, uint32_t dpi) {
    ByteFile file;
    if (!file.Open(path, ByteFile::Access::Update)) {
        return;
    }
    unsigned char fileHeader[14];
    if (file.Read(fileHeader, sizeof fileHeader) != sizeof fileHeader || fileHeader[0] != 'B' ||
        fileHeader[1] != 'M') {
        return;
    }
    unsigned char sizeField[4];
    if (file.Read(sizeField, sizeof sizeField) != sizeof sizeField) {
        return;
    }
    const uint32_t infoSize = static_cast<uint32_t>(sizeField[0]) | (sizeField[1] << 8) |
                              (sizeField[2] << 16) | (static_cast<uint32_t>(sizeField[3]) << 24);
    if (infoSize < 40) {
        return;
    }
    file.Skip(20);  // past width, height, planes, bit count, compression and image size
    const auto value = static_cast<uint32_t>(BmpPixelsPerMetre(dpi));
    unsigned char fields[8];
    for (int i = 0; i < 4; ++i) {
        fields[i] = fields[i + 4] = static_cast<unsigned char>(value >> (8 * i));
    }
    // One write for both fields: a file that ends inside the second one is left unchanged, not
    // stamped by half.
    file.Write(fields, sizeof fields);
}

void StampJpegResolution(const std::string& path, uint32_t dpi) {
    ByteFile file;
    if (!file.Open(path, ByteFile::Access::Update)) {
        return;
    }
    if (ReadByte(file) != 0xFF || ReadByte(file) != 0xD8) {
        return;
    }
    // The density fields hold 16 bits; a larger value is written as the largest one, not
    // wrapped.
    const uint32_t density = std::min<uint32_t>(dpi, 0xFFFF);
    const auto high = static_cast<unsigned char>(density >> 8);
    const auto low = static_cast<unsigned char>(density);
    for (int skipped = 0;;) {
        int byte;
        do {
            byte = ReadByte(file);
        } while (byte != -1 && byte != 0xFF);
        if (byte == -1) {
            return;
        }
        int marker;
        do {
            marker = ReadByte(file);
        } while (marker == 0xFF);
        if (marker == -1) {
            return;
        }
        unsigned char lengthField[2];
        if (file.Read(lengthField, sizeof lengthField) != sizeof lengthField) {
            return;
        }
        const int length = (lengthField[0] << 8) | lengthField[1];
        if (marker == 0xE0) {
            // A segment too short to hold the fields would have the next one overwritten.
            if (length < 14) {
                return;
            }
            unsigned char identifier[7];
            if (file.Read(identifier, sizeof identifier) != sizeof identifier) {
                return;
            }
            const unsigned char fields[5] = {0x01, high, low, high, low};
            file.Write(fields, sizeof fields);
            return;
        }
        file.Skip(length - 2);
        if (++skipped > kMaxSkippedSegments || marker == 0xDA) {
            return;
        }
    }
}

void StampResolution(const std::string& path, uint32_t dpi) {
    if (HasExtension(path, "bmp")) {
        StampBmpResolution(path, dpi);
    } else if (HasExtension(path, "png")) {
        StampPngResolution(path, dpi);
    } else if (HasExtension(path, "tif") || HasExtension(path, "tiff")) {
        StampTiffResolution(path, dpi);
    } else {
        StampJpegResolution(path, dpi);
    }
}

}  // namespace korvale
