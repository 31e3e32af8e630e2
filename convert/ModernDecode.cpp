// The decoders of the phone and web formats, with the system's libheif, libwebp and libjxl.
#include "ModernDecode.h"

#include <jxl/decode.h>
#include <jxl/decode_cxx.h>
#include <libheif/heif.h>
#include <webp/decode.h>

#include <algorithm>
#include <memory>
#include <new>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#include <optional>
#include <vector>

#include "ByteFile.h"
#include "ByteSource.h"
#include "HevcDecode.h"
#include "JxlColour.h"
#include "ModernFormats.h"

namespace korvale {
namespace {

std::optional<std::vector<uint8_t>> WholeFile(const std::string& path) {
    ByteFile file;
    if (!file.Open(path, ByteFile::Access::Read)) {
        return std::nullopt;
    }
    std::vector<uint8_t> bytes;
    uint8_t chunk[1 << 16];
    for (size_t got; (got = file.Read(chunk, sizeof chunk)) > 0;) {
        bytes.insert(bytes.end(), chunk, chunk + got);
    }
    return bytes;
}

// Samples of `bits` bits stretched over 16, as a 16-bit PNG of the same picture holds them.
void StretchTo16(cv::Mat& image, int bits) {
    if (bits > 8 && bits < 16) {
        image.convertTo(image, CV_16U, 65535.0 / ((1 << bits) - 1));
    }
}

// Into a buffer of its own: converting in place copies the source first, and a decoded phone
// picture is some 36 MB.
void ToBgr(const cv::Mat& rgb, cv::Mat& bgr) {
    bgr.release();
    cv::cvtColor(rgb, bgr, rgb.channels() == 4 ? cv::COLOR_RGBA2BGRA : cv::COLOR_RGB2BGR);
}

struct HeifFree {
    void operator()(heif_context* c) const { heif_context_free(c); }
    void operator()(heif_image_handle* h) const { heif_image_handle_release(h); }
    void operator()(heif_image* i) const { heif_image_release(i); }
    void operator()(heif_decoding_options* o) const { heif_decoding_options_free(o); }
};

// Turns the composed grid as its properties say: clap, irot, imir, in the order the format
// requires.
void ApplyOwnTransforms(cv::Mat& image, const HeifLayout& layout) {
    if (layout.clapWidth != 0 && layout.clapLeft + layout.clapWidth <= uint32_t(image.cols) &&
        layout.clapTop + layout.clapHeight <= uint32_t(image.rows)) {
        image = image(cv::Rect(int(layout.clapLeft), int(layout.clapTop), int(layout.clapWidth),
                               int(layout.clapHeight)))
                    .clone();
    }
    static constexpr cv::RotateFlags kTurns[] = {cv::ROTATE_90_COUNTERCLOCKWISE, cv::ROTATE_180,
                                                 cv::ROTATE_90_CLOCKWISE};
    if (layout.rotation != 0) {
        cv::rotate(image, image, kTurns[layout.rotation - 1]);
    }
    if (layout.mirrored) {
        cv::flip(image, image, layout.mirrorAxis == 0 ? 0 : 1);
    }
}

// The grid's alpha item, which the copy of the file shows as a picture of its own, composed by
// the library (it is not turned), at the depth of `image`, which takes it as a fourth channel.
bool AddGridAlpha(heif_context* context, const HeifLayout& layout,
                  const heif_decoding_options* options, cv::Mat& image, bool& lackedMemory) {
    heif_image_handle* rawHandle = nullptr;
    if (heif_context_get_image_handle(context, layout.alphaItem, &rawHandle).code !=
        heif_error_Ok) {
        return false;
    }
    std::unique_ptr<heif_image_handle, HeifFree> handle(rawHandle);
    heif_image* rawImage = nullptr;
    // libheif composes a grid in RGB, grey here, and converts no further to monochrome.
    const heif_error error =
        heif_decode_image(handle.get(), &rawImage, heif_colorspace_RGB, heif_chroma_444, options);
    if (error.code != heif_error_Ok) {
        lackedMemory = error.code == heif_error_Memory_allocation_error;
        return false;
    }
    std::unique_ptr<heif_image, HeifFree> decoded(rawImage);
    int stride = 0;
    const uint8_t* plane = heif_image_get_plane_readonly(decoded.get(), heif_channel_G, &stride);
    const int bits = heif_image_get_bits_per_pixel_range(decoded.get(), heif_channel_G);
    if (plane == nullptr || heif_image_get_width(decoded.get(), heif_channel_G) != image.cols ||
        heif_image_get_height(decoded.get(), heif_channel_G) != image.rows || bits < 1 ||
        bits > 16) {
        return false;
    }
    cv::Mat alpha = cv::Mat(image.rows, image.cols, bits > 8 ? CV_16U : CV_8U,
                            const_cast<uint8_t*>(plane), static_cast<size_t>(stride))
                        .clone();
    StretchTo16(alpha, bits);
    if (alpha.depth() != image.depth()) {
        alpha.convertTo(alpha, image.depth(), image.depth() == CV_16U ? 257.0 : 1.0 / 257);
    }
    cv::Mat bgra;
    cv::merge(std::vector<cv::Mat>{image, alpha}, bgra);
    image = bgra;
    return true;
}

// Each tile decoded on its own and put in its place, row by row, cut to the grid's size. The
// library hands out no hidden item, so the tiles are read from a copy of the file in which
// they are not hidden, and in which an alpha item is no longer the primary item's alpha. Deep
// tiles (`deep`) are composed at 16 bits and stretched after.
bool ComposeGrid(const std::string& path, const HeifLayout& layout, bool deep,
                 const heif_decoding_options* options, cv::Mat& image, bool& lackedMemory) {
    image = cv::Mat();
    std::optional<std::vector<uint8_t>> bytes = WholeFile(path);
    if (!bytes) {
        return false;
    }
    std::vector<uint64_t> hiddenAt = layout.tileFlagsAt;
    if (layout.alphaItem != 0) {
        if (layout.alphaLinkAt == 0 || bytes->size() < 4 ||
            layout.alphaLinkAt > bytes->size() - 4) {
            return false;
        }
        std::copy_n("xref", 4, bytes->begin() + static_cast<ptrdiff_t>(layout.alphaLinkAt));
        hiddenAt.push_back(layout.alphaFlagsAt);
    }
    for (const uint64_t at : hiddenAt) {
        if (at == 0 || at >= bytes->size()) {
            return false;
        }
        (*bytes)[at] = static_cast<uint8_t>((*bytes)[at] & ~1u);
    }
    std::unique_ptr<heif_context, HeifFree> shown(heif_context_alloc());
    if (!shown || heif_context_read_from_memory_without_copy(shown.get(), bytes->data(),
                                                             bytes->size(), nullptr)
                          .code != heif_error_Ok) {
        return false;
    }
    heif_context* context = shown.get();
    int tileWidth = 0;
    int tileHeight = 0;
    int bits = 8;
    for (size_t i = 0; i < layout.tiles.size(); ++i) {
        heif_image_handle* rawTile = nullptr;
        heif_error error = heif_context_get_image_handle(context, layout.tiles[i], &rawTile);
        if (error.code != heif_error_Ok) {
            return false;
        }
        std::unique_ptr<heif_image_handle, HeifFree> tile(rawTile);
        heif_image* rawImage = nullptr;
        error = heif_decode_image(
            tile.get(), &rawImage, heif_colorspace_RGB,
            deep ? heif_chroma_interleaved_RRGGBB_LE : heif_chroma_interleaved_RGB, options);
        if (error.code != heif_error_Ok) {
            lackedMemory = error.code == heif_error_Memory_allocation_error;
            return false;
        }
        std::unique_ptr<heif_image, HeifFree> decoded(rawImage);
        int stride = 0;
        const uint8_t* plane =
            heif_image_get_plane_readonly(decoded.get(), heif_channel_interleaved, &stride);
        const int width = heif_image_get_width(decoded.get(), heif_channel_interleaved);
        const int height = heif_image_get_height(decoded.get(), heif_channel_interleaved);
        if (plane == nullptr || width <= 0 || height <= 0) {
            return false;
        }
        if (i == 0) {
            tileWidth = width;
            tileHeight = height;
            const uint64_t fullWidth = uint64_t{layout.gridColumns} * uint64_t(tileWidth);
            const uint64_t fullHeight = uint64_t{layout.gridRows} * uint64_t(tileHeight);
            if (fullWidth < layout.gridWidth || fullHeight < layout.gridHeight ||
                layout.gridWidth == 0 || layout.gridHeight == 0) {
                return false;
            }
            image.create(int(fullHeight), int(fullWidth), deep ? CV_16UC3 : CV_8UC3);
            bits = heif_image_get_bits_per_pixel_range(decoded.get(), heif_channel_interleaved);
        }
        if (width != tileWidth || height != tileHeight) {
            return false;  // tiles of one grid share one size
        }
        const int row = static_cast<int>(i / layout.gridColumns);
        const int column = static_cast<int>(i % layout.gridColumns);
        const cv::Mat view(height, width, image.type(), const_cast<uint8_t*>(plane),
                           static_cast<size_t>(stride));
        view.copyTo(image(cv::Rect(column * tileWidth, row * tileHeight, width, height)));
    }
    const cv::Mat composed = image;
    ToBgr(composed(cv::Rect(0, 0, int(layout.gridWidth), int(layout.gridHeight))), image);
    if (deep) {
        StretchTo16(image, bits);
    }
    return layout.alphaItem == 0 || AddGridAlpha(context, layout, options, image, lackedMemory);
}

ModernDecodeResult DecodeHeif(const std::string& path, cv::Mat& image, bool& lackedMemory) {
    HeifLayout layout;
    {
        ByteFile file;
        if (!file.Open(path, ByteFile::Access::Read)) {
            return ModernDecodeResult::Failed;
        }
        FileSource source(file);
        if (!WalkHeifPictures(source, layout)) {
            return ModernDecodeResult::Failed;
        }
        switch (DecodeHevcPictures(file, layout, image)) {
            case HevcResult::Decoded:
                ApplyOwnTransforms(image, layout);
                return ModernDecodeResult::Decoded;
            case HevcResult::Refused:
                return ModernDecodeResult::Failed;
            case HevcResult::LeftToLibheif:
                break;
        }
    }
    std::unique_ptr<heif_context, HeifFree> context(heif_context_alloc());
    if (!context) {
        lackedMemory = true;
        return ModernDecodeResult::Failed;
    }
    const auto failed = [&](const heif_error& error) {
        lackedMemory = lackedMemory || error.code == heif_error_Memory_allocation_error;
        return error.code != heif_error_Ok;
    };
    if (failed(heif_context_read_from_file(context.get(), path.c_str(), nullptr))) {
        return ModernDecodeResult::Failed;
    }
    heif_image_handle* rawHandle = nullptr;
    if (failed(heif_context_get_primary_image_handle(context.get(), &rawHandle))) {
        return ModernDecodeResult::Failed;
    }
    std::unique_ptr<heif_image_handle, HeifFree> handle(rawHandle);
    const bool alpha = heif_image_handle_has_alpha_channel(handle.get()) != 0;
    const int bits = heif_image_handle_get_luma_bits_per_pixel(handle.get());
    const bool deep = bits > 8;
    const heif_chroma chroma =
        deep ? (alpha ? heif_chroma_interleaved_RRGGBBAA_LE : heif_chroma_interleaved_RRGGBB_LE)
             : (alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB);
    std::unique_ptr<heif_decoding_options, HeifFree> options(heif_decoding_options_alloc());
    // libheif 1.15 places the tiles of a grid turned by a quarter as if they were turned
    // themselves (in every program that uses it): such a grid is composed here.
    if (layout.grid && layout.rotation % 2 == 1) {
        // Alpha is composed only where the walk found its item.
        if (layout.gridRows == 0 || (alpha && layout.alphaItem == 0)) {
            return ModernDecodeResult::Failed;
        }
        options->ignore_transformations = 1;
        if (!ComposeGrid(path, layout, deep, options.get(), image, lackedMemory)) {
            return ModernDecodeResult::Failed;
        }
        ApplyOwnTransforms(image, layout);
        return ModernDecodeResult::Decoded;
    }
    heif_image* rawImage = nullptr;
    if (failed(heif_decode_image(handle.get(), &rawImage, heif_colorspace_RGB, chroma,
                                 options.get()))) {
        return ModernDecodeResult::Failed;
    }
    std::unique_ptr<heif_image, HeifFree> decoded(rawImage);
    int stride = 0;
    const uint8_t* plane =
        heif_image_get_plane_readonly(decoded.get(), heif_channel_interleaved, &stride);
    const int width = heif_image_get_width(decoded.get(), heif_channel_interleaved);
    const int height = heif_image_get_height(decoded.get(), heif_channel_interleaved);
    if (plane == nullptr || width <= 0 || height <= 0) {
        return ModernDecodeResult::Failed;
    }
    const int channels = alpha ? 4 : 3;
    const cv::Mat view(height, width, CV_MAKETYPE(deep ? CV_16U : CV_8U, channels),
                       const_cast<uint8_t*>(plane), static_cast<size_t>(stride));
    ToBgr(view, image);
    if (deep) {
        StretchTo16(image,
                    heif_image_get_bits_per_pixel_range(decoded.get(), heif_channel_interleaved));
    }
    return ModernDecodeResult::Decoded;
}

ModernDecodeResult DecodeWebp(const std::string& path, cv::Mat& image) {
    const std::optional<std::vector<uint8_t>> bytes = WholeFile(path);
    WebPDecoderConfig config;
    if (!bytes || !WebPInitDecoderConfig(&config) ||
        WebPGetFeatures(bytes->data(), bytes->size(), &config.input) != VP8_STATUS_OK ||
        config.input.has_animation) {
        return ModernDecodeResult::Failed;
    }
    const bool alpha = config.input.has_alpha != 0;
    image.create(config.input.height, config.input.width, alpha ? CV_8UC4 : CV_8UC3);
    config.output.colorspace = alpha ? MODE_BGRA : MODE_BGR;
    config.output.is_external_memory = 1;
    config.output.u.RGBA.rgba = image.data;
    config.output.u.RGBA.stride = static_cast<int>(image.step);
    config.output.u.RGBA.size = image.step * static_cast<size_t>(image.rows);
    const VP8StatusCode status = WebPDecode(bytes->data(), bytes->size(), &config);
    WebPFreeDecBuffer(&config.output);
    if (status != VP8_STATUS_OK) {
        image.release();
        return ModernDecodeResult::Failed;
    }
    return ModernDecodeResult::Decoded;
}

ModernDecodeResult DecodeJxl(const std::string& path, cv::Mat& image, bool& lackedMemory) {
    const std::optional<std::vector<uint8_t>> bytes = WholeFile(path);
    if (!bytes) {
        return ModernDecodeResult::Failed;
    }
    JxlDecoderPtr decoder = JxlDecoderMake(nullptr);
    if (!decoder ||
        JxlDecoderSubscribeEvents(decoder.get(), JXL_DEC_BASIC_INFO | JXL_DEC_COLOR_ENCODING |
                                                     JXL_DEC_FULL_IMAGE) != JXL_DEC_SUCCESS ||
        JxlDecoderSetInput(decoder.get(), bytes->data(), bytes->size()) != JXL_DEC_SUCCESS) {
        lackedMemory = !decoder;
        return ModernDecodeResult::Failed;
    }
    JxlDecoderCloseInput(decoder.get());
    JxlBasicInfo info{};
    cv::Mat rgb;
    JxlPixelFormat format{3, JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 0};
    int bits = 8;
    for (;;) {
        const JxlDecoderStatus status = JxlDecoderProcessInput(decoder.get());
        if (status == JXL_DEC_BASIC_INFO) {
            // An animation has no one picture to convert, as for WebP.
            if (JxlDecoderGetBasicInfo(decoder.get(), &info) != JXL_DEC_SUCCESS ||
                info.have_animation) {
                return ModernDecodeResult::Failed;
            }
            format.num_channels = info.alpha_bits > 0 ? 4 : 3;
            const bool deep = info.bits_per_sample > 8;
            format.data_type = deep ? JXL_TYPE_UINT16 : JXL_TYPE_UINT8;
            bits = deep ? 16 : 8;
        } else if (status == JXL_DEC_COLOR_ENCODING) {
            SettleJxlColour(decoder.get());
        } else if (status == JXL_DEC_NEED_IMAGE_OUT_BUFFER) {
            size_t needed = 0;
            if (JxlDecoderImageOutBufferSize(decoder.get(), &format, &needed) != JXL_DEC_SUCCESS) {
                return ModernDecodeResult::Failed;
            }
            rgb.create(
                static_cast<int>(info.ysize), static_cast<int>(info.xsize),
                CV_MAKETYPE(bits == 16 ? CV_16U : CV_8U, static_cast<int>(format.num_channels)));
            if (needed != rgb.total() * rgb.elemSize() ||
                JxlDecoderSetImageOutBuffer(decoder.get(), &format, rgb.data, needed) !=
                    JXL_DEC_SUCCESS) {
                return ModernDecodeResult::Failed;
            }
        } else if (status == JXL_DEC_FULL_IMAGE) {
            continue;
        } else if (status == JXL_DEC_SUCCESS) {
            break;
        } else {
            return ModernDecodeResult::Failed;
        }
    }
    if (rgb.empty()) {
        return ModernDecodeResult::Failed;
    }
    decoder.reset();  // its working memory goes before the copy is made
    ToBgr(rgb, image);
    return ModernDecodeResult::Decoded;
}

}  // namespace

ModernDecodeResult DecodeModern(const std::string& path, ImageFormat format, cv::Mat& image,
                                bool& lackedMemory) {
    try {
        switch (format) {
            case ImageFormat::Heif:
            case ImageFormat::Avif:
                return DecodeHeif(path, image, lackedMemory);
            case ImageFormat::Webp:
                return DecodeWebp(path, image);
            case ImageFormat::Jxl:
                return DecodeJxl(path, image, lackedMemory);
            default:
                return ModernDecodeResult::NotHandled;
        }
    } catch (const cv::Exception&) {
        image.release();
        lackedMemory = true;  // the copies and conversions only fail for want of memory
    } catch (const std::bad_alloc&) {
        image.release();
        lackedMemory = true;
    }
    return ModernDecodeResult::Failed;
}

}  // namespace korvale
