// Fuzz target: the HEIF (HEIC, AVIF), WebP and JPEG XL header walks over bytes in memory, the
// probe and pixel read over the same bytes as files, and the metadata read from them.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "ByteSource.h"
#include "FuzzFiles.h"
#include "ImageHeader.h"
#include "ModernFormats.h"
#include "SourceMetadata.h"

using namespace korvale;

namespace {

struct Paths {
    std::string heic = fuzz::ScratchFile("probe.heic");
    std::string avif = fuzz::ScratchFile("probe.avif");
    std::string webp = fuzz::ScratchFile("probe.webp");
    std::string jxl = fuzz::ScratchFile("probe.jxl");
};

const Paths& ProbePaths() {
    // One inode under every name, so one write serves every reader.
    static const Paths paths = [] {
        Paths made;
        fuzz::WriteWhole(made.heic, nullptr, 0);
        for (const std::string* name : {&made.avif, &made.webp, &made.jxl}) {
            if (::link(made.heic.c_str(), name->c_str()) != 0) {
                std::abort();
            }
        }
        return made;
    }();
    return paths;
}

template <typename Layout>
void CheckAgrees(bool walked, const Layout& layout, const std::optional<ImageHeaderInfo>& info) {
    // The probe of the file says what the walk of the same bytes in memory says.
    if (walked != info.has_value()) {
        std::abort();
    }
    if (info && (info->width != layout.width || info->height != layout.height || info->width == 0 ||
                 info->height == 0)) {
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const Paths& paths = ProbePaths();
    fuzz::WriteWhole(paths.heic, data, size);
    const std::vector<uint8_t> bytes(data, data + size);
    MemorySource memory(bytes);

    HeifLayout heif;
    const bool heifWalked = WalkHeif(memory, heif);
    CheckAgrees(heifWalked, heif, ProbeImageHeader(paths.heic));
    CheckAgrees(heifWalked, heif, ProbeImageHeader(paths.avif));
    if (heifWalked && heif.exif.at != 0 && (heif.exif.at > heif.exif.end || heif.exif.end > size)) {
        std::abort();  // the Exif block lies inside the file
    }
    // The decoder's walk finds the same picture, and its coded pictures inside the file.
    HeifLayout pictures;
    if (WalkHeifPictures(memory, pictures) != heifWalked ||
        (heifWalked && (pictures.width != heif.width || pictures.height != heif.height))) {
        std::abort();
    }
    for (const HeifLayout::CodedPicture& picture : pictures.coded) {
        if (picture.length > size || picture.at > size - picture.length ||
            picture.configLength > size || picture.configAt > size - picture.configLength) {
            std::abort();
        }
    }
    WebpLayout webp;
    CheckAgrees(WalkWebp(memory, webp), webp, ProbeImageHeader(paths.webp));
    JxlLayout jxl;
    CheckAgrees(WalkJxl(memory, jxl), jxl, ProbeImageHeader(paths.jxl));

    for (const std::string* path : {&paths.heic, &paths.webp, &paths.jxl}) {
        if (const auto pixel = ProbePixelLayout(*path)) {
            if ((pixel->channels != 3 && pixel->channels != 4) ||
                (pixel->bytesPerChannel != 1 && pixel->bytesPerChannel != 2)) {
                std::abort();
            }
        }
    }
    for (const ImageFormat format : {ImageFormat::Heif, ImageFormat::Webp, ImageFormat::Jxl}) {
        const SourceMetadata metadata = ReadModernMetadata(memory, format);
        if (metadata.exif.size() > size || metadata.iccProfile.size() > size) {
            std::abort();
        }
    }
    return 0;
}
