#include "TiffEncode.h"

#include <tiffio.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include "ByteSource.h"
#include "ResolutionEdit.h"
#include "TiffOpen.h"

namespace korvale {
namespace {

// libtiff's file, kept in a growing vector. Writes append without zero-filling first, and the
// header rewrite at the end overwrites in place.
struct Sink {
    std::vector<uint8_t>* bytes;
    uint64_t position = 0;
};

tmsize_t ReadProc(thandle_t handle, void* data, tmsize_t size) {
    Sink& sink = *static_cast<Sink*>(handle);
    const uint64_t total = sink.bytes->size();
    const uint64_t count = sink.position >= total ? 0
                                                  : std::min<uint64_t>(static_cast<uint64_t>(size),
                                                                       total - sink.position);
    if (count > 0) {
        std::memcpy(data, sink.bytes->data() + sink.position, count);
    }
    sink.position += count;
    return static_cast<tmsize_t>(count);
}

tmsize_t WriteProc(thandle_t handle, void* data, tmsize_t size) {
    Sink& sink = *static_cast<Sink*>(handle);
    std::vector<uint8_t>& bytes = *sink.bytes;
    const auto* from = static_cast<const uint8_t*>(data);
    uint64_t count = static_cast<uint64_t>(size);
    try {
        if (sink.position > bytes.size()) {
            bytes.resize(sink.position);
        }
        const uint64_t over = std::min<uint64_t>(count, bytes.size() - sink.position);
        if (over > 0) {  // an empty vector's data() may be null
            std::memcpy(bytes.data() + sink.position, from, over);
        }
        bytes.insert(bytes.end(), from + over, from + count);
    } catch (const std::bad_alloc&) {
        return -1;
    }
    sink.position += count;
    return size;
}

toff_t SeekProc(thandle_t handle, toff_t offset, int whence) {
    Sink& sink = *static_cast<Sink*>(handle);
    const uint64_t base = whence == SEEK_CUR   ? sink.position
                          : whence == SEEK_END ? sink.bytes->size()
                                               : 0;
    sink.position = base + offset;
    return sink.position;
}

int CloseProc(thandle_t) {
    return 0;
}

toff_t SizeProc(thandle_t handle) {
    return static_cast<Sink*>(handle)->bytes->size();
}

int MapProc(thandle_t, void**, toff_t*) {
    return 0;
}

void UnmapProc(thandle_t, void*, toff_t) {}

// Strips of about this many bytes: few enough offsets, small enough to stay in the cache.
constexpr size_t kStripBytes = 256 * 1024;

}  // namespace

bool TiffEncodable(int type) {
    const int depth = CV_MAT_DEPTH(type);
    const int channels = CV_MAT_CN(type);
    return (depth == CV_8U || depth == CV_16U) && (channels == 1 || channels == 3 || channels == 4);
}

bool EncodeTiffRows(const TiffShape& shape, std::optional<uint32_t> dpi, int compression,
                    std::vector<uint8_t>& bytes, const TiffRowFiller& fill,
                    const OutputPieces& pieces) {
    const int channels = shape.channels;
    if (shape.width <= 0 || shape.height <= 0 ||
        (channels != 1 && channels != 3 && channels != 4) ||
        (shape.bytesPerSample != 1 && shape.bytesPerSample != 2)) {
        return false;
    }
    const size_t rowBytes = static_cast<size_t>(shape.width) * channels * shape.bytesPerSample;
    bytes.clear();
    Sink sink{&bytes};
    // Little-endian whatever the host; libtiff swaps 16-bit samples where it must.
    TiffHandle tiff(TIFFClientOpen("output", "wl", &sink, ReadProc, WriteProc, SeekProc, CloseProc,
                                   SizeProc, MapProc, UnmapProc));
    if (!tiff) {
        return false;
    }
    TIFF* t = tiff.get();
    const uint32_t rowsPerStrip = static_cast<uint32_t>(
        std::clamp<size_t>(kStripBytes / rowBytes, 1, static_cast<size_t>(shape.height)));
    bool ok = TIFFSetField(t, TIFFTAG_IMAGEWIDTH, static_cast<uint32_t>(shape.width)) &&
              TIFFSetField(t, TIFFTAG_IMAGELENGTH, static_cast<uint32_t>(shape.height)) &&
              TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, shape.bytesPerSample * 8) &&
              TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, channels) &&
              TIFFSetField(t, TIFFTAG_SAMPLEFORMAT, SAMPLEFORMAT_UINT) &&
              TIFFSetField(t, TIFFTAG_PHOTOMETRIC,
                           channels == 1 ? PHOTOMETRIC_MINISBLACK : PHOTOMETRIC_RGB) &&
              TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG) &&
              TIFFSetField(t, TIFFTAG_COMPRESSION, compression) &&
              TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, rowsPerStrip);
    if (ok && dpi) {
        // Placeholders, set below exactly as a stamp sets them.
        ok = TIFFSetField(t, TIFFTAG_XRESOLUTION, 1.0) &&
             TIFFSetField(t, TIFFTAG_YRESOLUTION, 1.0) &&
             TIFFSetField(t, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
    }
    if (ok && channels == 4) {
        const uint16_t extra = EXTRASAMPLE_UNASSALPHA;
        ok = TIFFSetField(t, TIFFTAG_EXTRASAMPLES, 1, &extra);
    }
    if (ok && ProfileFitsChannels(pieces.iccProfile, channels)) {
        ok = TIFFSetField(t, TIFFTAG_ICCPROFILE, static_cast<uint32_t>(pieces.iccProfile.size()),
                          pieces.iccProfile.data());
    }
    if (ok && !pieces.xmp.empty()) {
        ok = TIFFSetField(t, TIFFTAG_XMLPACKET, static_cast<uint32_t>(pieces.xmp.size()),
                          pieces.xmp.data());
    }
    if (!ok) {
        return false;
    }
    std::vector<uint8_t> strip(rowBytes * rowsPerStrip);
    for (int y = 0, index = 0; y < shape.height; y += static_cast<int>(rowsPerStrip), ++index) {
        const int rows = std::min(static_cast<int>(rowsPerStrip), shape.height - y);
        if (!fill(y, rows, strip.data()) ||
            TIFFWriteEncodedStrip(t, static_cast<uint32_t>(index), strip.data(),
                                  static_cast<tmsize_t>(rowBytes * rows)) < 0) {
            return false;
        }
    }
    if (!TIFFWriteDirectory(t)) {
        return false;
    }
    tiff.reset();
    if (!dpi) {
        return true;
    }
    MemorySource source(bytes);
    const ResolutionEdit edit = PlanTiffResolution(source, *dpi);
    if (edit.kind != ResolutionEdit::Kind::InPlace) {
        return false;
    }
    for (const BytePatch& patch : edit.patches) {
        std::copy(patch.bytes.begin(), patch.bytes.end(),
                  bytes.begin() + static_cast<std::ptrdiff_t>(patch.offset));
    }
    return true;
}

bool EncodeTiff(const cv::Mat& image, std::optional<uint32_t> dpi, int compression,
                std::vector<uint8_t>& bytes, const OutputPieces& pieces) {
    if (!TiffEncodable(image.type()) || image.empty() || image.dims != 2) {
        return false;
    }
    const int channels = image.channels();
    const TiffShape shape{image.cols, image.rows, channels, static_cast<int>(image.elemSize1())};
    // Rows turned from OpenCV's BGR(A) to RGB(A), a strip at a time.
    return EncodeTiffRows(
        shape, dpi, compression, bytes,
        [&](int y, int rows, uint8_t* data) {
            const cv::Mat part = image.rowRange(y, y + rows);
            cv::Mat into(rows, image.cols, image.type(), data);
            if (channels >= 3) {
                cv::cvtColor(part, into, channels == 3 ? cv::COLOR_BGR2RGB : cv::COLOR_BGRA2RGBA);
            } else {
                part.copyTo(into);
            }
            return true;
        },
        pieces);
}

}  // namespace korvale
