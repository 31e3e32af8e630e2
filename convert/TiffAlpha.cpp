// ExtraSamples of IFD0, read and added, on the header walk the probe uses.
#include "TiffAlpha.h"

#include <algorithm>

#include "ByteSource.h"
#include "HeaderWalk.h"
#include "TiffTags.h"

namespace korvale {
namespace {

using tiff::kExtraSamples;
constexpr uint16_t kShort = tiff::kTypeShort;

// The 12-byte entries of IFD0 as they stand; empty when one cannot be read.
std::vector<std::vector<uint8_t>> EntriesOf(ByteSource& source, const TiffLayout& layout) {
    std::vector<std::vector<uint8_t>> entries(layout.entryCount, std::vector<uint8_t>(12));
    uint64_t at = static_cast<uint64_t>(layout.ifd0) + 2;
    for (auto& entry : entries) {
        if (!source.ReadAt(at, entry.data(), entry.size())) {
            return {};
        }
        at += 12;
    }
    return entries;
}

}  // namespace

TiffAlpha TiffAlphaOfFile(const std::string& path) {
    WalkedTiff walked;
    if (!walked.Open(path)) {
        return TiffAlpha::Unknown;
    }
    const TiffLayout& layout = walked.layout();
    ByteSource& source = walked.source();
    for (const auto& entry : EntriesOf(source, layout)) {
        if (layout.Get16(entry.data()) != kExtraSamples) {
            continue;
        }
        // A count of one keeps its SHORT in the value field; more samples keep their first there
        // too when they fit (two), else at an offset that is not worth following here.
        const uint32_t count = layout.Get32(entry.data() + 4);
        if (layout.Get16(entry.data() + 2) != kShort || count == 0 || count > 2) {
            return TiffAlpha::Unknown;
        }
        switch (layout.Get16(entry.data() + 8)) {
            case 1:
                return TiffAlpha::Associated;
            case 2:
                return TiffAlpha::Unassociated;
            default:
                return TiffAlpha::Unknown;
        }
    }
    return TiffAlpha::Unknown;
}

std::optional<std::vector<uint8_t>> TiffWithUnassociatedAlpha(const std::vector<uint8_t>& tiff) {
    MemorySource source(tiff);
    TiffLayout layout;
    if (!WalkTiff(source, layout) || layout.entryCount == 0xFFFF) {
        return std::nullopt;
    }
    std::vector<std::vector<uint8_t>> entries = EntriesOf(source, layout);
    uint8_t next[4];
    if (entries.empty() ||
        !source.ReadAt(static_cast<uint64_t>(layout.ifd0) + 2 + 12 * entries.size(), next, 4)) {
        return std::nullopt;
    }
    std::vector<uint8_t> added(12, 0);
    layout.Put16(added.data(), kExtraSamples);
    layout.Put16(added.data() + 2, kShort);
    layout.Put32(added.data() + 4, 1);
    layout.Put16(added.data() + 8, 2);
    // Entries stay in ascending tag order.
    const auto place = std::find_if(entries.begin(), entries.end(), [&](const auto& entry) {
        return layout.Get16(entry.data()) >= kExtraSamples;
    });
    if (place != entries.end() && layout.Get16(place->data()) == kExtraSamples) {
        return std::nullopt;
    }
    entries.insert(place, added);
    std::vector<uint8_t> out = tiff;
    // An IFD starts on a word boundary.
    if (out.size() % 2 != 0) {
        out.push_back(0);
    }
    if (out.size() > 0xFFFFFFFFu - 2 - 12 * entries.size() - 4) {
        return std::nullopt;
    }
    const auto ifd = static_cast<uint32_t>(out.size());
    uint8_t field[4];
    layout.Put16(field, static_cast<uint16_t>(entries.size()));
    out.insert(out.end(), field, field + 2);
    for (const auto& entry : entries) {
        out.insert(out.end(), entry.begin(), entry.end());
    }
    out.insert(out.end(), next, next + 4);
    layout.Put32(out.data() + 4, ifd);
    return out;
}

}  // namespace korvale
