#include "HevcDecode.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/log.h>
}

#include <array>
#include <memory>
#include <mutex>
#include <opencv2/core.hpp>
#include <vector>

#include "ByteFile.h"
#include "ByteSource.h"

namespace korvale {
namespace {

struct AvFree {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
    void operator()(AVPacket* p) const { av_packet_free(&p); }
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};

// libheif's conversion to RGB, repeated so that a picture comes out the same whichever library
// decoded it: in single precision, limited range stretched by 256/219 and 256/224 as libheif
// stretches it. Tables of the 256 values of each plane.
struct Ycbcr {
    std::array<float, 256> y{}, rCr{}, gCb{}, gCr{}, bCb{};
};

bool MakeConversion(uint16_t matrix, bool fullRange, Ycbcr& c) {
    float kr = 0.299f, kb = 0.114f;  // BT.601, libheif's choice for an unspecified matrix
    if (matrix == 1) {
        kr = 0.2126f, kb = 0.0722f;
    } else if (matrix == 9) {
        kr = 0.2627f, kb = 0.0593f;
    } else if (matrix != 2 && matrix != 5 && matrix != 6) {
        return false;  // identity, constant luminance and the rest are left to libheif
    }
    const float kg = 1 - kr - kb;
    const float rCr = 2 * (1 - kr);
    const float gCb = -2 * kb * (1 - kb) / kg;
    const float gCr = -2 * kr * (1 - kr) / kg;
    const float bCb = 2 * (1 - kb);
    for (int v = 0; v < 256; ++v) {
        const float luma = fullRange ? float(v) : (float(v) - 16) * 1.1689f;
        const float chroma = fullRange ? float(v - 128) : float(v - 128) * 1.1429f;
        c.y[v] = luma;
        c.rCr[v] = rCr * chroma;
        c.gCb[v] = gCb * chroma;
        c.gCr[v] = gCr * chroma;
        c.bCb[v] = bCb * chroma;
    }
    return true;
}

uint8_t Rounded(float value) {
    const auto whole = static_cast<int32_t>(value + 0.5f);
    return static_cast<uint8_t>(whole < 0 ? 0 : whole > 255 ? 255 : whole);
}

// Each chroma sample is used for the pixels it covers (nearest neighbour), as libheif does.
void ToBgr(const AVFrame& frame, int shiftX, int shiftY, const Ycbcr& c, cv::Mat out) {
    for (int row = 0; row < out.rows; ++row) {
        const uint8_t* y = frame.data[0] + ptrdiff_t{row} * frame.linesize[0];
        const uint8_t* cb = frame.data[1] + ptrdiff_t{row >> shiftY} * frame.linesize[1];
        const uint8_t* cr = frame.data[2] + ptrdiff_t{row >> shiftY} * frame.linesize[2];
        uint8_t* bgr = out.ptr<uint8_t>(row);
        for (int x = 0; x < out.cols; ++x, bgr += 3) {
            const float luma = c.y[y[x]];
            const uint8_t b = cb[x >> shiftX];
            const uint8_t r = cr[x >> shiftX];
            bgr[0] = Rounded(luma + c.bCb[b]);
            bgr[1] = Rounded(luma + c.gCb[b] + c.gCr[r]);
            bgr[2] = Rounded(luma + c.rCr[r]);
        }
    }
}

// One coded picture, decoded strictly: any error in its data fails it.
std::unique_ptr<AVFrame, AvFree> DecodePicture(ByteFile& file,
                                               const HeifLayout::CodedPicture& picture,
                                               int64_t maxPixels) {
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_HEVC);
    std::unique_ptr<AVCodecContext, AvFree> context(codec ? avcodec_alloc_context3(codec)
                                                          : nullptr);
    if (!context) {
        return nullptr;
    }
    FileSource source(file);
    context->extradata = static_cast<uint8_t*>(
        av_mallocz(size_t{picture.configLength} + AV_INPUT_BUFFER_PADDING_SIZE));
    if (context->extradata == nullptr ||
        !source.ReadAt(picture.configAt, context->extradata, picture.configLength)) {
        return nullptr;
    }
    context->extradata_size = static_cast<int>(picture.configLength);
    context->thread_count = 1;  // a run decodes as many pictures at once as there are cores
    context->err_recognition = AV_EF_EXPLODE | AV_EF_CRCCHECK | AV_EF_BITSTREAM;
    context->max_pixels = maxPixels;
    // The conformance window cut exactly, not to an aligned column as by default.
    context->flags |= AV_CODEC_FLAG_UNALIGNED;
    std::unique_ptr<AVPacket, AvFree> packet(av_packet_alloc());
    std::unique_ptr<AVFrame, AvFree> frame(av_frame_alloc());
    if (!packet || !frame || avcodec_open2(context.get(), codec, nullptr) < 0 ||
        av_new_packet(packet.get(), static_cast<int>(picture.length)) < 0 ||
        !source.ReadAt(picture.at, packet->data, static_cast<size_t>(picture.length)) ||
        avcodec_send_packet(context.get(), packet.get()) < 0 ||
        avcodec_send_packet(context.get(), nullptr) < 0 ||
        avcodec_receive_frame(context.get(), frame.get()) < 0 ||
        (frame->flags & AV_FRAME_FLAG_CORRUPT) != 0 || frame->decode_error_flags != 0) {
        return nullptr;
    }
    return frame;
}

bool Subsampling(int format, int& shiftX, int& shiftY) {
    switch (format) {
        case AV_PIX_FMT_YUV420P:
        case AV_PIX_FMT_YUVJ420P:
            shiftX = shiftY = 1;
            return true;
        case AV_PIX_FMT_YUV422P:
        case AV_PIX_FMT_YUVJ422P:
            shiftX = 1, shiftY = 0;
            return true;
        case AV_PIX_FMT_YUV444P:
        case AV_PIX_FMT_YUVJ444P:
            shiftX = shiftY = 0;
            return true;
        default:
            return false;  // deeper or monochrome
    }
}

}  // namespace

HevcResult DecodeHevcPictures(ByteFile& file, const HeifLayout& layout, cv::Mat& image) {
    constexpr HevcResult kLeft = HevcResult::LeftToLibheif;
    image.release();
    Ycbcr conversion;
    if (layout.coded.empty() || layout.av1 || layout.alpha || layout.bitDepth != 8 ||
        !MakeConversion(layout.matrix, layout.fullRange, conversion)) {
        return kLeft;
    }
    // The walk found each extent inside the file.
    for (const HeifLayout::CodedPicture& picture : layout.coded) {
        if (picture.length > INT32_MAX - AV_INPUT_BUFFER_PADDING_SIZE) {
            return kLeft;
        }
    }
    static std::once_flag quiet;
    std::call_once(quiet, [] { av_log_set_level(AV_LOG_QUIET); });  // failures go to libheif

    // The size the probe listed, which the memory check before decoding went by; a crop is
    // left to libheif, whose rounding of it is the one to follow.
    const uint32_t width = layout.storedWidth;
    const uint32_t height = layout.storedHeight;
    const uint32_t columns = layout.grid ? layout.gridColumns : 1;
    if (width == 0 || height == 0 || columns == 0 || layout.clapped ||
        (layout.grid && (layout.gridWidth != width || layout.gridHeight != height))) {
        return kLeft;
    }
    // No picture may be larger than the whole, with room for coding blocks past its edge.
    const int64_t maxPixels = (int64_t{width} + 64) * (int64_t{height} + 64);
    int tileWidth = 0;
    int tileHeight = 0;
    int tileFormat = AV_PIX_FMT_NONE;
    for (size_t i = 0; i < layout.coded.size(); ++i) {
        std::unique_ptr<AVFrame, AvFree> frame = DecodePicture(file, layout.coded[i], maxPixels);
        int shiftX = 0, shiftY = 0;
        if (!frame || !Subsampling(frame->format, shiftX, shiftY) || frame->width <= 0 ||
            frame->height <= 0) {
            image.release();
            return kLeft;
        }
        if (i == 0) {
            tileWidth = frame->width;
            tileHeight = frame->height;
            const uint64_t rows = layout.coded.size() / columns;
            if (uint64_t{columns} * uint64_t(tileWidth) < width ||
                rows * uint64_t(tileHeight) < height ||
                (!layout.grid &&
                 (uint32_t(tileWidth) != width || uint32_t(tileHeight) != height))) {
                return kLeft;
            }
            image.create(int(height), int(width), CV_8UC3);
            tileFormat = frame->format;
        }
        if (frame->width != tileWidth || frame->height != tileHeight ||
            frame->format != tileFormat) {
            image.release();
            return kLeft;  // tiles of one grid share one size and sampling
        }
        // libheif places tiles by their ispe and leaves the rest of its buffer as it found it.
        const HeifLayout::CodedPicture& picture = layout.coded[i];
        if (layout.grid &&
            (picture.width != uint32_t(tileWidth) || picture.height != uint32_t(tileHeight))) {
            image.release();
            return HevcResult::Refused;
        }
        // The tile's place, cut where it passes the grid's edge.
        const int left = static_cast<int>(i % columns) * tileWidth;
        const int top = static_cast<int>(i / columns) * tileHeight;
        const int shownWidth = std::min(tileWidth, int(width) - left);
        const int shownHeight = std::min(tileHeight, int(height) - top);
        if (shownWidth > 0 && shownHeight > 0) {
            ToBgr(*frame, shiftX, shiftY, conversion,
                  image(cv::Rect(left, top, shownWidth, shownHeight)));
        }
    }
    return image.empty() ? kLeft : HevcResult::Decoded;
}

}  // namespace korvale
