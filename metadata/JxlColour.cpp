#include "JxlColour.h"

#include <jxl/color_encoding.h>
#include <jxl/decode_cxx.h>
#include <jxl/encode.h>

#include <cmath>

namespace korvale {
namespace {

constexpr uint64_t kFirstRead = 64 * 1024;

bool LooksLikeSrgb(const JxlColorEncoding& e) {
    const bool srgbCurve =
        e.transfer_function == JXL_TRANSFER_FUNCTION_SRGB ||
        (e.transfer_function == JXL_TRANSFER_FUNCTION_GAMMA && std::fabs(e.gamma - 1 / 2.2) < 5e-4);
    const bool srgbPrimaries =
        e.color_space == JXL_COLOR_SPACE_GRAY || e.primaries == JXL_PRIMARIES_SRGB;
    return (e.color_space == JXL_COLOR_SPACE_RGB || e.color_space == JXL_COLOR_SPACE_GRAY) &&
           e.white_point == JXL_WHITE_POINT_D65 && srgbPrimaries && srgbCurve;
}

}  // namespace

ByteBuffer SettleJxlColour(JxlDecoder* decoder) {
    JxlBasicInfo info{};
    JxlColorEncoding original{};
    if (JxlDecoderGetBasicInfo(decoder, &info) != JXL_DEC_SUCCESS) {
        return {};
    }
    if (!info.uses_original_profile &&
        JxlDecoderGetColorAsEncodedProfile(decoder, nullptr, JXL_COLOR_PROFILE_TARGET_ORIGINAL,
                                           &original) != JXL_DEC_SUCCESS) {
        JxlColorEncoding srgb{};
        JxlColorEncodingSetToSRGB(&srgb, info.num_color_channels == 1 ? JXL_TRUE : JXL_FALSE);
        JxlDecoderSetPreferredColorProfile(decoder, &srgb);
    }
    JxlColorEncoding data{};
    if (JxlDecoderGetColorAsEncodedProfile(decoder, nullptr, JXL_COLOR_PROFILE_TARGET_DATA,
                                           &data) == JXL_DEC_SUCCESS &&
        LooksLikeSrgb(data)) {
        return {};
    }
    size_t size = 0;
    if (JxlDecoderGetICCProfileSize(decoder, nullptr, JXL_COLOR_PROFILE_TARGET_DATA, &size) !=
            JXL_DEC_SUCCESS ||
        size == 0) {
        return {};
    }
    ByteBuffer profile(size);
    if (JxlDecoderGetColorAsICCProfile(decoder, nullptr, JXL_COLOR_PROFILE_TARGET_DATA,
                                       profile.data(), size) != JXL_DEC_SUCCESS) {
        return {};
    }
    return profile;
}

ByteBuffer ReadJxlProfile(ByteFile& file) {
    ByteBuffer bytes;
    file.Seek(0);
    // The profile lies in the codestream's header, near its start; the file is read further
    // only when boxes before the codestream take more.
    for (uint64_t want = kFirstRead;; want *= 4) {
        const size_t had = bytes.size();
        bytes.resize(static_cast<size_t>(want));
        bytes.resize(had + file.Read(bytes.data() + had, bytes.size() - had));
        const bool whole = bytes.size() < want;
        JxlDecoderPtr decoder = JxlDecoderMake(nullptr);
        if (!decoder ||
            JxlDecoderSubscribeEvents(decoder.get(), JXL_DEC_BASIC_INFO | JXL_DEC_COLOR_ENCODING) !=
                JXL_DEC_SUCCESS ||
            JxlDecoderSetInput(decoder.get(), bytes.data(), bytes.size()) != JXL_DEC_SUCCESS) {
            return {};
        }
        if (whole) {
            JxlDecoderCloseInput(decoder.get());
        }
        for (;;) {
            const JxlDecoderStatus status = JxlDecoderProcessInput(decoder.get());
            if (status == JXL_DEC_COLOR_ENCODING) {
                return SettleJxlColour(decoder.get());
            }
            if (status == JXL_DEC_NEED_MORE_INPUT && !whole) {
                break;
            }
            if (status != JXL_DEC_BASIC_INFO) {
                return {};
            }
        }
    }
}

}  // namespace korvale
