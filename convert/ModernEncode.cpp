// The WebP and AVIF encoders. Settings: WebP method 4 (libwebp's default balance of speed and
// size), lossless at quality 100 with exact colours under transparent pixels; AVIF speed 6 of
// aom's 0 (slowest) to 9 with 4:2:0 chroma, 8 bits.
#include "ModernEncode.h"

#include <libheif/heif.h>
#include <webp/encode.h>
#include <webp/mux.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <opencv2/imgproc.hpp>

namespace korvale {
namespace {

constexpr int kWebpMethod = 4;
constexpr int kAvifSpeed = 6;

// The image as 3 or 4 channels.
cv::Mat Colour(const cv::Mat& image) {
    if (image.channels() == 2) {
        cv::Mat planes[2];
        cv::split(image, planes);
        cv::Mat colour;
        const cv::Mat bgra[4] = {planes[0], planes[0], planes[0], planes[1]};
        cv::merge(bgra, 4, colour);
        return colour;
    }
    if (image.channels() == 1) {
        cv::Mat colour;
        cv::cvtColor(image, colour, cv::COLOR_GRAY2BGR);
        return colour;
    }
    return image;
}

int WriteToVector(const uint8_t* data, size_t size, const WebPPicture* picture) {
    auto* out = static_cast<std::vector<unsigned char>*>(picture->custom_ptr);
    out->insert(out->end(), data, data + size);
    return 1;
}

bool SetChunk(WebPMux* mux, const char* fourcc, const ByteBuffer& payload) {
    if (payload.empty()) {
        return true;
    }
    const WebPData data{payload.data(), payload.size()};
    return WebPMuxSetChunk(mux, fourcc, &data, 1) == WEBP_MUX_OK;
}

}  // namespace

bool EncodeWebp(const cv::Mat& source, int quality, const ModernPieces& pieces,
                std::vector<unsigned char>& bytes) {
    const cv::Mat image = Colour(source);
    if (image.depth() != CV_8U || image.cols > WEBP_MAX_DIMENSION ||
        image.rows > WEBP_MAX_DIMENSION) {
        return false;
    }
    WebPConfig config;
    if (!WebPConfigInit(&config)) {
        return false;
    }
    config.quality = static_cast<float>(std::clamp(quality, 0, 100));
    config.method = kWebpMethod;
    if (quality >= 100) {
        config.lossless = 1;
        config.exact = 1;
    }
    WebPPicture picture;
    if (!WebPPictureInit(&picture)) {
        return false;
    }
    picture.use_argb = config.lossless;
    picture.width = image.cols;
    picture.height = image.rows;
    const auto stride = static_cast<int>(image.step[0]);
    const bool imported = image.channels() == 4
                              ? WebPPictureImportBGRA(&picture, image.data, stride)
                              : WebPPictureImportBGR(&picture, image.data, stride);
    std::vector<unsigned char> bitstream;
    picture.writer = WriteToVector;
    picture.custom_ptr = &bitstream;
    const bool encoded = imported && WebPEncode(&config, &picture);
    WebPPictureFree(&picture);
    if (!encoded) {
        return false;
    }
    if (pieces.iccProfile.empty() && pieces.exif.empty() && pieces.xmp.empty()) {
        bytes = std::move(bitstream);
        return true;
    }
    std::unique_ptr<WebPMux, void (*)(WebPMux*)> mux(WebPMuxNew(), WebPMuxDelete);
    const WebPData image_data{bitstream.data(), bitstream.size()};
    WebPData assembled{nullptr, 0};
    const bool muxed = mux && WebPMuxSetImage(mux.get(), &image_data, 1) == WEBP_MUX_OK &&
                       SetChunk(mux.get(), "ICCP", pieces.iccProfile) &&
                       SetChunk(mux.get(), "EXIF", pieces.exif) &&
                       SetChunk(mux.get(), "XMP ", pieces.xmp) &&
                       WebPMuxAssemble(mux.get(), &assembled) == WEBP_MUX_OK;
    if (muxed) {
        bytes.assign(assembled.bytes, assembled.bytes + assembled.size);
    }
    WebPDataClear(&assembled);
    return muxed;
}

namespace {

struct HeifDeleter {
    void operator()(heif_context* c) const { heif_context_free(c); }
    void operator()(heif_encoder* e) const { heif_encoder_release(e); }
    void operator()(heif_image* i) const { heif_image_release(i); }
    void operator()(heif_image_handle* h) const { heif_image_handle_release(h); }
    void operator()(heif_encoding_options* o) const { heif_encoding_options_free(o); }
};
template <typename T>
using HeifPtr = std::unique_ptr<T, HeifDeleter>;

heif_error WriteHeif(heif_context*, const void* data, size_t size, void* userdata) {
    auto* out = static_cast<std::vector<unsigned char>*>(userdata);
    const auto* begin = static_cast<const unsigned char*>(data);
    out->insert(out->end(), begin, begin + size);
    return heif_error{heif_error_Ok, heif_suberror_Unspecified, "ok"};
}

bool Ok(const heif_error& error) {
    return error.code == heif_error_Ok;
}

}  // namespace

bool EncodeAvif(const cv::Mat& source, int quality, const ModernPieces& pieces,
                std::vector<unsigned char>& bytes) {
    const cv::Mat colour = Colour(source);
    if (colour.depth() != CV_8U) {
        return false;
    }
    const bool alpha = colour.channels() == 4;
    cv::Mat rgb;
    cv::cvtColor(colour, rgb, alpha ? cv::COLOR_BGRA2RGBA : cv::COLOR_BGR2RGB);

    HeifPtr<heif_context> context(heif_context_alloc());
    heif_encoder* rawEncoder = nullptr;
    if (!context || !Ok(heif_context_get_encoder_for_format(context.get(), heif_compression_AV1,
                                                            &rawEncoder))) {
        return false;
    }
    HeifPtr<heif_encoder> encoder(rawEncoder);
    heif_encoder_set_lossy_quality(encoder.get(), std::clamp(quality, 0, 100));
    heif_encoder_set_lossless(encoder.get(), 0);
    // Not every AV1 encoder libheif may pick knows these; the defaults are fine then.
    heif_encoder_set_parameter_integer(encoder.get(), "speed", kAvifSpeed);
    heif_encoder_set_parameter_string(encoder.get(), "chroma", "420");

    heif_image* rawImage = nullptr;
    if (!Ok(heif_image_create(rgb.cols, rgb.rows, heif_colorspace_RGB,
                              alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB,
                              &rawImage))) {
        return false;
    }
    HeifPtr<heif_image> image(rawImage);
    if (!Ok(heif_image_add_plane(image.get(), heif_channel_interleaved, rgb.cols, rgb.rows, 8))) {
        return false;
    }
    int stride = 0;
    uint8_t* plane = heif_image_get_plane(image.get(), heif_channel_interleaved, &stride);
    if (plane == nullptr) {
        return false;
    }
    const size_t rowBytes = static_cast<size_t>(rgb.cols) * rgb.elemSize();
    for (int y = 0; y < rgb.rows; ++y) {
        std::memcpy(plane + static_cast<size_t>(y) * static_cast<size_t>(stride), rgb.ptr(y),
                    rowBytes);
    }
    if (!pieces.iccProfile.empty() &&
        !Ok(heif_image_set_raw_color_profile(image.get(), "prof", pieces.iccProfile.data(),
                                             pieces.iccProfile.size()))) {
        return false;
    }
    HeifPtr<heif_encoding_options> options(heif_encoding_options_alloc());
    heif_image_handle* rawHandle = nullptr;
    if (!Ok(heif_context_encode_image(context.get(), image.get(), encoder.get(), options.get(),
                                      &rawHandle))) {
        return false;
    }
    HeifPtr<heif_image_handle> handle(rawHandle);
    if (!pieces.exif.empty() &&
        !Ok(heif_context_add_exif_metadata(context.get(), handle.get(), pieces.exif.data(),
                                           static_cast<int>(pieces.exif.size())))) {
        return false;
    }
    if (!pieces.xmp.empty() &&
        !Ok(heif_context_add_XMP_metadata(context.get(), handle.get(), pieces.xmp.data(),
                                          static_cast<int>(pieces.xmp.size())))) {
        return false;
    }
    bytes.clear();
    heif_writer writer{};
    writer.writer_api_version = 1;
    writer.write = WriteHeif;
    return Ok(heif_context_write(context.get(), &writer, &bytes));
}

}  // namespace korvale
