// Colour conversions with Little CMS: CMYK sources into sRGB through their profile, and, when
// asked, sources with another RGB or grey profile into sRGB. Plain functions over OpenCV images,
// safe to call from several threads at once.
#pragma once

#include <opencv2/core/mat.hpp>

#include "JpegSegments.h"

namespace korvale {

// What outputs of converted pixels carry: sRGB as Little CMS makes it, and for grey images a
// grey profile with sRGB's tone curve. Made once, then the same bytes every time.
const ByteBuffer& SrgbProfile();
const ByteBuffer& SrgbGreyProfile();
// The one that fits an image of `channels` channels, alpha included.
const ByteBuffer& SrgbProfileFor(int channels);

// Where the CMYK profile for sources that carry none is looked for, in order: the SWOP profile
// of Debian's libgs-common, then its PostScript one.
inline constexpr const char* kStandardCmykProfiles[] = {
    "/usr/share/color/icc/ghostscript/default_cmyk.icc",
    "/usr/share/color/icc/ghostscript/ps_cmyk.icc",
};
// The bytes of the first of those that is a CMYK profile; empty when none is installed.
const ByteBuffer& StandardCmykProfile();

// How a CMYK source stores its inks: 0 for no ink, or 0 for full ink as Adobe writes JPEG.
enum class InkValues { Plain, Inverted };

// `cmyk` (8 or 16 bits, four channels C, M, Y, K, or five with alpha last) as sRGB in `bgr`
// (BGR or BGRA of the same depth) through `profile`, or the standard CMYK profile when that is
// empty or no CMYK profile Little CMS can read. Without any profile the inks are taken as plain
// fractions of the colours (R = (1 - C)(1 - K)), as programs without colour management do.
// Throws what OpenCV throws when memory runs out.
void CmykToSrgb(const cv::Mat& cmyk, InkValues inks, const ByteBuffer& profile, cv::Mat& bgr);

// Whether pixels that `profile` describes would change in sRGB: it is an RGB or grey profile
// that Little CMS reads, and some colour moves by more than about one 8-bit level. A damaged
// or unknown profile is no reason to touch the pixels.
bool LeavesSrgb(const ByteBuffer& profile);

// `image` (grey, grey+alpha, BGR or BGRA; 8 or 16 bits or floating) described by `profile` into
// sRGB, or into sRGB-gamma grey, in place, alpha kept. false, and the image as it was, when the
// profile does not fit the channels, LeavesSrgb says no, or the depth is none of those. Throws
// what OpenCV throws when memory runs out.
bool ConvertToSrgb(cv::Mat& image, const ByteBuffer& profile);

}  // namespace korvale
