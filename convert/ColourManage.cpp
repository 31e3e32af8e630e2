// Colour conversions with Little CMS. Transforms are made once per profile and pixel format and
// kept for the next images: a batch of CMYK files usually shares one profile, and making a
// transform through a CMYK table costs more than converting a small image with it.
#include "ColourManage.h"

#include <lcms2.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <limits>
#include <list>
#include <memory>
#include <mutex>
#include <opencv2/core.hpp>
#include <vector>

namespace korvale {
namespace {

struct ProfileCloser {
    void operator()(void* profile) const { cmsCloseProfile(profile); }
};
using Profile = std::unique_ptr<void, ProfileCloser>;
using Transform = std::shared_ptr<void>;

Profile Opened(const ByteBuffer& bytes) {
    if (bytes.empty() || bytes.size() > UINT32_MAX) {
        return nullptr;
    }
    return Profile(cmsOpenProfileFromMem(bytes.data(), static_cast<cmsUInt32Number>(bytes.size())));
}

// The profile's bytes, as version 2 so that older viewers read it too; the profile is closed.
ByteBuffer Saved(cmsHPROFILE made) {
    const Profile profile(made);
    ByteBuffer bytes;
    cmsUInt32Number size = 0;
    if (!profile) {
        return bytes;
    }
    cmsSetProfileVersion(profile.get(), 2.1);
    if (cmsSaveProfileToMem(profile.get(), nullptr, &size) && size > 0) {
        bytes.resize(size);
        if (!cmsSaveProfileToMem(profile.get(), bytes.data(), &size)) {
            bytes.clear();
        }
    }
    return bytes;
}

cmsHPROFILE MakeSrgbGrey() {
    // sRGB's curve: linear below 0.04045, a 2.4 power above.
    const cmsFloat64Number curve[] = {2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045};
    cmsToneCurve* tone = cmsBuildParametricToneCurve(nullptr, 4, curve);
    if (!tone) {
        return nullptr;
    }
    cmsHPROFILE profile = cmsCreateGrayProfile(cmsD50_xyY(), tone);
    cmsFreeToneCurve(tone);
    if (profile) {
        cmsMLU* text = cmsMLUalloc(nullptr, 1);
        if (text && cmsMLUsetASCII(text, "en", "US", "sRGB grey")) {
            cmsWriteTag(profile, cmsSigProfileDescriptionTag, text);
        }
        cmsMLUfree(text);
    }
    return profile;
}

// The colour space in a profile's header, without parsing the rest.
bool HasSpace(const ByteBuffer& profile, const char* space) {
    return profile.size() >= 128 && std::memcmp(profile.data() + 16, space, 4) == 0;
}

// A pixel format of Little CMS for an OpenCV image of `depth` with `colours` colour channels
// (1, 3 or 4) in OpenCV's order, and an alpha channel after them when `alpha`.
cmsUInt32Number Format(int depth, int colours, bool alpha, bool inverted = false) {
    cmsUInt32Number format = CHANNELS_SH(colours) | EXTRA_SH(alpha ? 1 : 0);
    switch (depth) {
        case CV_8U:
            format |= BYTES_SH(1);
            break;
        case CV_16U:
            format |= BYTES_SH(2);
            break;
        case CV_32F:
            format |= BYTES_SH(4) | FLOAT_SH(1);
            break;
        default:
            format |= BYTES_SH(0) | FLOAT_SH(1);  // 0 bytes: double
            break;
    }
    switch (colours) {
        case 1:
            return format | COLORSPACE_SH(PT_GRAY);
        case 3:
            // Blue, green, red, then the alpha.
            return format | COLORSPACE_SH(PT_RGB) | DOSWAP_SH(1) | SWAPFIRST_SH(alpha ? 1 : 0);
        default:
            return format | COLORSPACE_SH(PT_CMYK) | FLAVOR_SH(inverted ? 1 : 0);
    }
}

struct CachedTransform {
    ByteBuffer profile;
    cmsUInt32Number in;
    cmsUInt32Number out;
    Transform transform;
};

std::mutex cacheMutex;
std::list<CachedTransform> cache;  // the last used first
constexpr size_t kCachedTransforms = 8;

Transform Made(cmsHPROFILE from, cmsUInt32Number in, cmsHPROFILE to, cmsUInt32Number out,
               cmsUInt32Number flags) {
    // Perceptual, without black point compensation: what ImageMagick's -profile does.
    cmsHTRANSFORM made = cmsCreateTransform(from, in, to, out, INTENT_PERCEPTUAL, flags);
    return made ? Transform(made, [](void* t) { cmsDeleteTransform(t); }) : nullptr;
}

// Bytes of one sample of `format`; Little CMS says 0 for double.
size_t SampleBytes(cmsUInt32Number format) {
    return T_BYTES(format) == 0 ? 8 : T_BYTES(format);
}

size_t SamplesPerPixel(cmsUInt32Number format) {
    return T_CHANNELS(format) + T_EXTRA(format);
}

void PutSample(uint8_t* at, cmsUInt32Number format, double value) {
    switch (SampleBytes(format)) {
        case 1:
            *at = static_cast<uint8_t>(std::lround(value * 255));
            break;
        case 2: {
            const auto v = static_cast<uint16_t>(std::lround(value * 65535));
            std::memcpy(at, &v, 2);
            break;
        }
        case 4: {
            const auto v = static_cast<float>(value);
            std::memcpy(at, &v, 4);
            break;
        }
        default:
            std::memcpy(at, &value, 8);
            break;
    }
}

double GetSample(const uint8_t* at, cmsUInt32Number format) {
    switch (SampleBytes(format)) {
        case 1:
            return *at / 255.0;
        case 2: {
            uint16_t v;
            std::memcpy(&v, at, 2);
            return v / 65535.0;
        }
        case 4: {
            float v;
            std::memcpy(&v, at, 4);
            return v;
        }
        default: {
            double v;
            std::memcpy(&v, at, 8);
            return v;
        }
    }
}

// The root mean square difference between what two transforms make of a grid over every colour
// channel (alpha opaque), as a fraction of the full scale. The largest difference would not do:
// at ink totals no print reaches, tables of good CMYK profiles are off by many levels too.
double Deviation(const Transform& a, const Transform& b, cmsUInt32Number in, cmsUInt32Number out) {
    const int colours = static_cast<int>(T_CHANNELS(in));
    const int steps = colours >= 4 ? 9 : colours == 3 ? 17 : 256;
    size_t count = 1;
    for (int c = 0; c < colours; ++c) {
        count *= static_cast<size_t>(steps);
    }
    const size_t inPixel = SamplesPerPixel(in) * SampleBytes(in);
    const size_t outPixel = SamplesPerPixel(out) * SampleBytes(out);
    std::vector<uint8_t> samples(count * inPixel);
    for (size_t i = 0; i < count; ++i) {
        size_t rest = i;
        for (size_t c = 0; c < SamplesPerPixel(in); ++c) {
            double value = 1.0;
            if (c < static_cast<size_t>(colours)) {
                value = static_cast<double>(rest % steps) / (steps - 1);
                rest /= steps;
            }
            PutSample(samples.data() + i * inPixel + c * SampleBytes(in), in, value);
        }
    }
    std::vector<uint8_t> first(count * outPixel), second(count * outPixel);
    const auto pixels = static_cast<cmsUInt32Number>(count);
    cmsDoTransform(a.get(), samples.data(), first.data(), pixels);
    cmsDoTransform(b.get(), samples.data(), second.data(), pixels);
    double squares = 0;
    size_t n = 0;
    for (size_t at = 0; at < first.size(); at += SampleBytes(out), ++n) {
        const double d = GetSample(first.data() + at, out) - GetSample(second.data() + at, out);
        squares += d * d;
    }
    return std::sqrt(squares / static_cast<double>(std::max<size_t>(n, 1)));
}

// What precalculated tables may be off by: one level at 8 bits. Debian's SWOP profile is off by
// 0.4 levels, its PostScript CMYK profile by 5.8.
constexpr double kTableError = 1.0 / 255;

// A transform from pixels of format `in` that `source` describes into sRGB (or sRGB grey) in
// format `out`; nullptr when Little CMS reads no such profile or cannot join the two.
Transform ToSrgb(const ByteBuffer& source, cmsUInt32Number in, cmsUInt32Number out) {
    {
        const std::lock_guard<std::mutex> lock(cacheMutex);
        for (auto it = cache.begin(); it != cache.end(); ++it) {
            if (it->in == in && it->out == out && it->profile == source) {
                cache.splice(cache.begin(), cache, it);
                return it->transform;
            }
        }
    }
    const Profile from = Opened(source);
    const Profile to = Opened(SrgbProfileFor(T_COLORSPACE(out) == PT_GRAY ? 1 : 3));
    if (!from || !to) {
        return nullptr;
    }
    // Without the one-pixel cache a transform may be used by several threads at once.
    const cmsUInt32Number flags = cmsFLAGS_NOCACHE | (T_EXTRA(in) != 0 ? cmsFLAGS_COPY_ALPHA : 0);
    Transform transform = Made(from.get(), in, to.get(), out, flags | cmsFLAGS_HIGHRESPRECALC);
    // Tables precalculated from a profile with sharp bends (black that takes over at a
    // threshold, say) are off by several levels: such profiles are evaluated as they are, at
    // about three times the time.
    const Transform exact =
        transform ? Made(from.get(), in, to.get(), out, flags | cmsFLAGS_NOOPTIMIZE) : nullptr;
    if (!transform || !exact) {
        return nullptr;
    }
    if (Deviation(transform, exact, in, out) > kTableError) {
        transform = exact;
    }
    const std::lock_guard<std::mutex> lock(cacheMutex);
    cache.push_front({source, in, out, transform});
    if (cache.size() > kCachedTransforms) {
        cache.pop_back();
    }
    return transform;
}

// `from` through `transform` into `to`, which has the size of `from`; bands of rows at once.
void Apply(const Transform& transform, const cv::Mat& from, cv::Mat& to) {
    cv::parallel_for_(cv::Range(0, from.rows), [&](const cv::Range& rows) {
        cmsDoTransformLineStride(transform.get(), from.ptr(rows.start), to.ptr(rows.start),
                                 static_cast<cmsUInt32Number>(from.cols),
                                 static_cast<cmsUInt32Number>(rows.size()),
                                 static_cast<cmsUInt32Number>(from.step[0]),
                                 static_cast<cmsUInt32Number>(to.step[0]), 0, 0);
    });
}

// Inks as plain fractions of each colour, for when no CMYK profile can be had.
template <typename Sample>
void UnmanagedCmyk(const cv::Mat& cmyk, InkValues inks, cv::Mat& bgr) {
    constexpr uint32_t kTop = std::numeric_limits<Sample>::max();
    const int from = cmyk.channels();
    const int to = bgr.channels();
    for (int y = 0; y < cmyk.rows; ++y) {
        const Sample* in = cmyk.ptr<Sample>(y);
        Sample* out = bgr.ptr<Sample>(y);
        for (int x = 0; x < cmyk.cols; ++x, in += from, out += to) {
            // What each ink leaves of the light, from 0 to kTop.
            uint32_t left[4];
            for (int c = 0; c < 4; ++c) {
                left[c] = inks == InkValues::Inverted ? in[c] : kTop - in[c];
            }
            for (int c = 0; c < 3; ++c) {
                const uint64_t product = uint64_t{left[2 - c]} * left[3];
                out[c] = static_cast<Sample>((product + kTop / 2) / kTop);
            }
            if (to == 4) {
                out[3] = in[4];
            }
        }
    }
}

}  // namespace

const ByteBuffer& SrgbProfile() {
    static const ByteBuffer profile = Saved(cmsCreate_sRGBProfile());
    return profile;
}

const ByteBuffer& SrgbGreyProfile() {
    static const ByteBuffer profile = Saved(MakeSrgbGrey());
    return profile;
}

const ByteBuffer& SrgbProfileFor(int channels) {
    return channels <= 2 ? SrgbGreyProfile() : SrgbProfile();
}

const ByteBuffer& StandardCmykProfile() {
    static const ByteBuffer profile = [] {
        for (const char* path : kStandardCmykProfiles) {
            std::ifstream file(path, std::ios::binary);
            ByteBuffer bytes((std::istreambuf_iterator<char>(file)),
                             std::istreambuf_iterator<char>());
            const Profile opened = Opened(bytes);
            if (opened && cmsGetColorSpace(opened.get()) == cmsSigCmykData) {
                return bytes;
            }
        }
        return ByteBuffer{};
    }();
    return profile;
}

void CmykToSrgb(const cv::Mat& cmyk, InkValues inks, const ByteBuffer& profile, cv::Mat& bgr) {
    const int depth = cmyk.depth();
    const bool alpha = cmyk.channels() == 5;
    const cmsUInt32Number in = Format(depth, 4, alpha, inks == InkValues::Inverted);
    const cmsUInt32Number out = Format(depth, 3, alpha);
    Transform transform = HasSpace(profile, "CMYK") ? ToSrgb(profile, in, out) : nullptr;
    if (!transform && !StandardCmykProfile().empty()) {
        transform = ToSrgb(StandardCmykProfile(), in, out);
    }
    cv::Mat made(cmyk.rows, cmyk.cols, CV_MAKETYPE(depth, alpha ? 4 : 3));
    if (transform) {
        Apply(transform, cmyk, made);
    } else if (depth == CV_16U) {
        UnmanagedCmyk<uint16_t>(cmyk, inks, made);
    } else {
        UnmanagedCmyk<uint8_t>(cmyk, inks, made);
    }
    bgr = made;
}

bool LeavesSrgb(const ByteBuffer& profile) {
    const bool grey = HasSpace(profile, "GRAY");
    if (!grey && !HasSpace(profile, "RGB ")) {
        return false;
    }
    const int colours = grey ? 1 : 3;
    const Transform transform =
        ToSrgb(profile, Format(CV_16U, colours, false), Format(CV_16U, colours, false));
    if (!transform) {
        return false;
    }
    // Every level of grey in steps of 17, or the colours of a 6 x 6 x 6 cube.
    std::vector<uint16_t> samples;
    if (grey) {
        for (int level = 0; level <= 255; level += 17) {
            samples.push_back(static_cast<uint16_t>(level * 257));
        }
    } else {
        for (int r = 0; r <= 255; r += 51) {
            for (int g = 0; g <= 255; g += 51) {
                for (int b = 0; b <= 255; b += 51) {
                    samples.insert(samples.end(),
                                   {static_cast<uint16_t>(b * 257), static_cast<uint16_t>(g * 257),
                                    static_cast<uint16_t>(r * 257)});
                }
            }
        }
    }
    std::vector<uint16_t> moved(samples.size());
    cmsDoTransform(transform.get(), samples.data(), moved.data(),
                   static_cast<cmsUInt32Number>(samples.size() / colours));
    // Profiles of sRGB from different makers differ in their last bits; a level and a half
    // tells them from another colour space.
    constexpr int kSame = 257 * 3 / 2;
    for (size_t i = 0; i < samples.size(); ++i) {
        if (std::abs(int{samples[i]} - int{moved[i]}) > kSame) {
            return true;
        }
    }
    return false;
}

bool ConvertToSrgb(cv::Mat& image, const ByteBuffer& profile) {
    const int channels = image.channels();
    const bool grey = channels <= 2;
    const int depth = image.depth();
    if (channels > 4 || (depth != CV_8U && depth != CV_16U && depth != CV_32F && depth != CV_64F) ||
        !HasSpace(profile, grey ? "GRAY" : "RGB ") || !LeavesSrgb(profile)) {
        return false;
    }
    const bool alpha = channels == 2 || channels == 4;
    const cmsUInt32Number format = Format(depth, grey ? 1 : 3, alpha);
    const Transform transform = ToSrgb(profile, format, format);
    if (!transform) {
        return false;
    }
    cv::Mat converted(image.rows, image.cols, image.type());
    Apply(transform, image, converted);
    image = converted;
    return true;
}

}  // namespace korvale
