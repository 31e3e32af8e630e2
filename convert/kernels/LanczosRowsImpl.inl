// The body of the Lanczos 4 kernel, included by one translation unit per instruction set (the
// wide paths only where __AVX2__ is defined). Everything here has internal linkage, so the
// copies built with different instruction sets never stand in for one another at link time.
//
// The arithmetic is OpenCV's: a horizontal pass of each source row into 32-bit sums of
// pixel x weight, then a vertical pass over eight such rows, plus half, shifted right by 22 and
// saturated to 8 bits. Sums of integers are exact, so only the order of the work differs.

#include <immintrin.h>

#include <algorithm>
#include <cstdint>
#include <opencv2/core.hpp>
#include <vector>

#include "LanczosRows.h"

#ifndef KORVALE_LANCZOS_ROWS
#error "define KORVALE_LANCZOS_ROWS to the name of the kernel before including this file"
#endif

namespace korvale {
namespace {

constexpr int kTaps = 8;
constexpr int kShift = 22;
constexpr int32_t kHalf = 1 << (kShift - 1);
// Room after each row buffer for the whole-vector stores of the last column.
constexpr int kRowSlack = 8;

int Clamp(int value, int low, int high) {
    return std::min(std::max(value, low), high);
}

// One output column of every channel, taps clamped to the row: the columns near the edges.
void HorizontalClamped(const uint8_t* source, int sourceWidth, int channels,
                       const LanczosAxis& axis, int column, int32_t* out) {
    const int16_t* weights = &axis.coef[static_cast<size_t>(column) * kTaps];
    for (int c = 0; c < channels; ++c) {
        int32_t sum = 0;
        for (int j = 0; j < kTaps; ++j) {
            const int x = Clamp(axis.first[column] + j, 0, sourceWidth - 1);
            sum += source[x * channels + c] * weights[j];
        }
        out[column * channels + c] = sum;
    }
}

// Shuffles that widen a pair of neighbouring taps to 16 bits, interleaved per channel:
// (tap a, channel 0), (tap b, channel 0), (tap a, channel 1), ... ; -1 gives zero.
#define KV_PAIR3(a, b)                                                                         \
    _mm_setr_epi8(3 * (a), -1, 3 * (b), -1, 3 * (a) + 1, -1, 3 * (b) + 1, -1, 3 * (a) + 2, -1, \
                  3 * (b) + 2, -1, -1, -1, -1, -1)
#define KV_PAIR4(a, b)                                                                         \
    _mm_setr_epi8(4 * (a), -1, 4 * (b), -1, 4 * (a) + 1, -1, 4 * (b) + 1, -1, 4 * (a) + 2, -1, \
                  4 * (b) + 2, -1, 4 * (a) + 3, -1, 4 * (b) + 3, -1)

// Taps of three-channel pixels: bytes 0..15 hold taps 0..3 (and more), bytes 8..23 taps 4..7
// (from byte 4 of that window on). Four-channel: bytes 0..15 taps 0..3, 16..31 taps 4..7.
struct PairMasks {
    __m128i low01, low23, high45, high67;
    int highOffset;
};

PairMasks MasksFor(int channels) {
    if (channels == 3) {
        // The second window starts at byte 8, tap 4 at its byte 4: taps 4/3 and 6/3 of it.
        return {KV_PAIR3(0, 1), KV_PAIR3(2, 3),
                _mm_setr_epi8(4, -1, 7, -1, 5, -1, 8, -1, 6, -1, 9, -1, -1, -1, -1, -1),
                _mm_setr_epi8(10, -1, 13, -1, 11, -1, 14, -1, 12, -1, 15, -1, -1, -1, -1, -1), 8};
    }
    return {KV_PAIR4(0, 1), KV_PAIR4(2, 3), KV_PAIR4(0, 1), KV_PAIR4(2, 3), 16};
}

#undef KV_PAIR3
#undef KV_PAIR4

// One column of a three- or four-channel row: the channel sums in the low lanes.
inline __m128i PixelSums(const uint8_t* taps, const PairMasks& m, const int32_t* pairs) {
    const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(taps));
    const __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(taps + m.highOffset));
    __m128i sum = _mm_madd_epi16(_mm_shuffle_epi8(low, m.low01), _mm_set1_epi32(pairs[0]));
    sum = _mm_add_epi32(sum,
                        _mm_madd_epi16(_mm_shuffle_epi8(low, m.low23), _mm_set1_epi32(pairs[1])));
    sum = _mm_add_epi32(sum,
                        _mm_madd_epi16(_mm_shuffle_epi8(high, m.high45), _mm_set1_epi32(pairs[2])));
    return _mm_add_epi32(
        sum, _mm_madd_epi16(_mm_shuffle_epi8(high, m.high67), _mm_set1_epi32(pairs[3])));
}

#ifdef __AVX2__
inline __m256i LoadTwo(const uint8_t* a, const uint8_t* b) {
    return _mm256_inserti128_si256(
        _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(a))),
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(b)), 1);
}

inline __m256i Both(__m128i mask) {
    return _mm256_broadcastsi128_si256(mask);
}

// Two neighbouring columns, one per 128-bit lane.
inline __m256i PixelPairSums(const uint8_t* a, const uint8_t* b, const PairMasks& m,
                             const int32_t* pairs) {
    const __m256i low = LoadTwo(a, b);
    const __m256i high = LoadTwo(a + m.highOffset, b + m.highOffset);
    // pairs[0..3] belong to the first column, pairs[4..7] to the second.
    const __m256i weights = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(pairs));
    const __m256i w01 =
        _mm256_permutevar8x32_epi32(weights, _mm256_setr_epi32(0, 0, 0, 0, 4, 4, 4, 4));
    const __m256i w23 =
        _mm256_permutevar8x32_epi32(weights, _mm256_setr_epi32(1, 1, 1, 1, 5, 5, 5, 5));
    const __m256i w45 =
        _mm256_permutevar8x32_epi32(weights, _mm256_setr_epi32(2, 2, 2, 2, 6, 6, 6, 6));
    const __m256i w67 =
        _mm256_permutevar8x32_epi32(weights, _mm256_setr_epi32(3, 3, 3, 3, 7, 7, 7, 7));
    __m256i sum = _mm256_madd_epi16(_mm256_shuffle_epi8(low, Both(m.low01)), w01);
    sum = _mm256_add_epi32(sum, _mm256_madd_epi16(_mm256_shuffle_epi8(low, Both(m.low23)), w23));
    sum = _mm256_add_epi32(sum, _mm256_madd_epi16(_mm256_shuffle_epi8(high, Both(m.high45)), w45));
    return _mm256_add_epi32(sum, _mm256_madd_epi16(_mm256_shuffle_epi8(high, Both(m.high67)), w67));
}
#endif

// One source row into 32-bit sums, one per output column and channel.
void HorizontalRow(const uint8_t* source, int sourceWidth, int channels, const LanczosJob& job,
                   int32_t* out) {
    const LanczosAxis& axis = job.columns;
    const int destWidth = static_cast<int>(axis.first.size());
    int column = 0;
    for (; column < axis.inBegin; ++column) {
        HorizontalClamped(source, sourceWidth, channels, axis, column, out);
    }
    if (channels == 1) {
        // Four columns at once; each multiply-add leaves four partial sums to fold.
        for (; column + 4 <= axis.inEnd; column += 4) {
            __m128i sums[4];
            for (int k = 0; k < 4; ++k) {
                const __m128i pixels = _mm_cvtepu8_epi16(_mm_loadl_epi64(
                    reinterpret_cast<const __m128i*>(source + axis.first[column + k])));
                const __m128i weights = _mm_loadu_si128(
                    reinterpret_cast<const __m128i*>(&axis.coef[(column + k) * kTaps]));
                sums[k] = _mm_madd_epi16(pixels, weights);
            }
            const __m128i folded =
                _mm_hadd_epi32(_mm_hadd_epi32(sums[0], sums[1]), _mm_hadd_epi32(sums[2], sums[3]));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + column), folded);
        }
    } else {
        const PairMasks masks = MasksFor(channels);
        const int32_t* pairs = job.columnPairs.data();
#ifdef __AVX2__
        for (; column + 2 <= axis.inEnd; column += 2) {
            const __m256i sums = PixelPairSums(source + axis.first[column] * channels,
                                               source + axis.first[column + 1] * channels, masks,
                                               pairs + 4 * column);
            // Three channels: each 4-lane store writes one word too many, which the next
            // column overwrites (or the row slack takes).
            int32_t* at = out + column * channels;
            _mm_storeu_si128(reinterpret_cast<__m128i*>(at), _mm256_castsi256_si128(sums));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(at + channels),
                             _mm256_extracti128_si256(sums, 1));
        }
#endif
        for (; column < axis.inEnd; ++column) {
            const __m128i sums =
                PixelSums(source + axis.first[column] * channels, masks, pairs + 4 * column);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + column * channels), sums);
        }
    }
    for (; column < destWidth; ++column) {
        HorizontalClamped(source, sourceWidth, channels, axis, column, out);
    }
}

inline __m128i VerticalSums(const int32_t* const* rows, const __m128i* weights, int x) {
    __m128i sum = _mm_set1_epi32(kHalf);
    for (int k = 0; k < kTaps; ++k) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[k] + x));
        sum = _mm_add_epi32(sum, _mm_mullo_epi32(v, weights[k]));
    }
    return _mm_srai_epi32(sum, kShift);
}

#ifdef __AVX2__
inline __m256i VerticalSums8(const int32_t* const* rows, const __m256i* weights, int x) {
    __m256i sum = _mm256_set1_epi32(kHalf);
    for (int k = 0; k < kTaps; ++k) {
        const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(rows[k] + x));
        sum = _mm256_add_epi32(sum, _mm256_mullo_epi32(v, weights[k]));
    }
    return _mm256_srai_epi32(sum, kShift);
}
#endif

// Eight horizontal sums rows weighted into one output row of `count` bytes.
void VerticalRow(const int32_t* const* rows, const int16_t* weights, uint8_t* out, int count) {
    int x = 0;
#ifdef __AVX2__
    __m256i wide[kTaps];
    for (int k = 0; k < kTaps; ++k) {
        wide[k] = _mm256_set1_epi32(weights[k]);
    }
    for (; x + 32 <= count; x += 32) {
        const __m256i a =
            _mm256_packs_epi32(VerticalSums8(rows, wide, x), VerticalSums8(rows, wide, x + 8));
        const __m256i b = _mm256_packs_epi32(VerticalSums8(rows, wide, x + 16),
                                             VerticalSums8(rows, wide, x + 24));
        // The packs work per 128-bit lane; put the 4-byte groups back in order.
        const __m256i bytes = _mm256_permutevar8x32_epi32(
            _mm256_packus_epi16(a, b), _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + x), bytes);
    }
#endif
    __m128i narrow[kTaps];
    for (int k = 0; k < kTaps; ++k) {
        narrow[k] = _mm_set1_epi32(weights[k]);
    }
    for (; x + 16 <= count; x += 16) {
        const __m128i a =
            _mm_packs_epi32(VerticalSums(rows, narrow, x), VerticalSums(rows, narrow, x + 4));
        const __m128i b =
            _mm_packs_epi32(VerticalSums(rows, narrow, x + 8), VerticalSums(rows, narrow, x + 12));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x), _mm_packus_epi16(a, b));
    }
    for (; x < count; ++x) {
        // Unsigned arithmetic wraps as the vector lanes do, without undefined behaviour.
        uint32_t sum = static_cast<uint32_t>(kHalf);
        for (int k = 0; k < kTaps; ++k) {
            sum += static_cast<uint32_t>(rows[k][x]) * static_cast<uint32_t>(weights[k]);
        }
        out[x] = cv::saturate_cast<uint8_t>(static_cast<int32_t>(sum) >> kShift);
    }
}

}  // namespace

void KORVALE_LANCZOS_ROWS(const LanczosJob& job, int rowBegin, int rowEnd) {
    const cv::Mat& source = *job.source;
    cv::Mat& dest = *job.dest;
    const int channels = source.channels();
    const int count = dest.cols * channels;
    const int stride = count + kRowSlack;
    // Horizontal sums of source row y live in slot y % 8: the rows one output row needs are at
    // most eight consecutive ones, so they never share a slot.
    std::vector<int32_t> buffer(static_cast<size_t>(stride) * kTaps);
    int slotRow[kTaps];
    std::fill(std::begin(slotRow), std::end(slotRow), -1);
    const int32_t* rows[kTaps];
    for (int y = rowBegin; y < rowEnd; ++y) {
        for (int k = 0; k < kTaps; ++k) {
            const int sourceRow = Clamp(job.rows.first[y] + k, 0, source.rows - 1);
            const int slot = sourceRow % kTaps;
            int32_t* sums = buffer.data() + static_cast<size_t>(slot) * stride;
            if (slotRow[slot] != sourceRow) {
                HorizontalRow(source.ptr<uint8_t>(sourceRow), source.cols, channels, job, sums);
                slotRow[slot] = sourceRow;
            }
            rows[k] = sums;
        }
        VerticalRow(rows, &job.rows.coef[static_cast<size_t>(y) * kTaps], dest.ptr<uint8_t>(y),
                    count);
    }
}

}  // namespace korvale
