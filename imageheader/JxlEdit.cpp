// The box walk for a JPEG XL resolution edit; every box must lie inside the file.
#include "JxlEdit.h"

#include <iterator>
#include <vector>

#include "ExifEdit.h"
#include "IsoBoxes.h"
#include "ModernFormats.h"

namespace korvale {
namespace {

constexpr int kMaxBoxes = 4096;

// The boxes of a whole container; empty when one is damaged or they are too many.
std::vector<IsoBox> BoxesOf(const ByteBuffer& b) {
    MemorySource source(b);
    std::vector<IsoBox> boxes;
    const bool whole = ForEachIsoBox(source, 0, b.size(), kMaxBoxes, [&](const IsoBox& box) {
        boxes.push_back(box);
        return true;
    });
    if (!whole || boxes.empty() || boxes.back().end != b.size()) {
        return {};
    }
    return boxes;
}

}  // namespace

ResolutionEdit PlanJxlResolution(ByteSource& source, uint32_t) {
    JxlLayout layout;
    return WholeRewriteIf(WalkJxl(source, layout));
}

std::optional<ByteBuffer> JxlWithResolution(const ByteBuffer& b, uint32_t dpi) {
    // Only a file the probe reads is edited, so that a stamped file reads back with its size.
    MemorySource whole(b);
    JxlLayout layout;
    if (!WalkJxl(whole, layout)) {
        return std::nullopt;
    }
    ByteBuffer out(std::begin(kJxlSignature), std::end(kJxlSignature));
    if (!layout.container) {
        static constexpr uint8_t kFtyp[] = {'j', 'x', 'l', ' ', 0, 0, 0, 0, 'j', 'x', 'l', ' '};
        AppendIsoBox(out, FourCc("ftyp"), kFtyp, sizeof kFtyp);
        const ByteBuffer exif = *IsoExifWithResolution(nullptr, 0, dpi);
        AppendIsoBox(out, FourCc("Exif"), exif.data(), exif.size());
        AppendIsoBox(out, FourCc("jxlc"), b.data(), b.size());
        return out;
    }
    const std::vector<IsoBox> boxes = BoxesOf(b);
    if (boxes.size() < 3 || boxes[1].type != FourCc("ftyp")) {
        return std::nullopt;
    }
    const IsoBox* oldExif = nullptr;
    const IsoBox* codestream = nullptr;
    bool reconstruction = false;
    for (const IsoBox& box : boxes) {
        const size_t body = box.end - box.body;
        if (box.type == FourCc("Exif") || (box.type == FourCc("brob") && body >= 4 &&
                                           IsoBe32(b.data() + box.body) == FourCc("Exif"))) {
            if (oldExif != nullptr) {
                return std::nullopt;  // which one a reader takes is not ours to guess
            }
            oldExif = &box;
        } else if ((box.type == FourCc("jxlc") || box.type == FourCc("jxlp")) &&
                   codestream == nullptr) {
            codestream = &box;
        } else if (box.type == FourCc("jbrd")) {
            reconstruction = true;
        }
    }
    if (codestream == nullptr) {
        return std::nullopt;
    }
    // A compressed Exif box is replaced by a plain one: its payload as the walk inflated it.
    const bool compressed = oldExif != nullptr && oldExif->type == FourCc("brob");
    if (compressed && (!layout.exifCompressed || layout.exifBoxAt != oldExif->start)) {
        return std::nullopt;  // damaged, or too large to inflate
    }
    const uint8_t* oldPayload = compressed           ? layout.inflatedExif.data()
                                : oldExif != nullptr ? b.data() + oldExif->body
                                                     : nullptr;
    const size_t oldSize = compressed           ? layout.inflatedExif.size()
                           : oldExif != nullptr ? oldExif->end - oldExif->body
                                                : 0;
    const std::optional<ByteBuffer> exif = IsoExifWithResolution(oldPayload, oldSize, dpi);
    // The JPEG rebuilt from its reconstruction data takes its Exif segment from the box, at the
    // length it was recorded with.
    if (!exif || (reconstruction && (oldExif == nullptr || exif->size() != oldSize))) {
        return std::nullopt;
    }
    out.clear();
    out.reserve(b.size() + exif->size() + 16);
    for (const IsoBox& box : boxes) {
        if (&box == oldExif || (oldExif == nullptr && &box == codestream)) {
            AppendIsoBox(out, FourCc("Exif"), exif->data(), exif->size());
            if (&box == oldExif) {
                continue;
            }
        }
        out.insert(out.end(), b.begin() + static_cast<std::ptrdiff_t>(box.start),
                   b.begin() + static_cast<std::ptrdiff_t>(box.end));
    }
    return out;
}

}  // namespace korvale
