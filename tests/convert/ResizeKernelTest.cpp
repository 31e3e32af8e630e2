// The vectorised Lanczos 4 resize writes exactly the bytes cv::resize writes.
#include <gtest/gtest.h>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#include <sstream>
#include <string>

#include "ResizeKernel.h"

namespace korvale {
namespace {

const ResizeIsa kKernels[] = {ResizeIsa::Sse41, ResizeIsa::Avx2};

const char* IsaName(ResizeIsa isa) {
    return isa == ResizeIsa::Avx2 ? "AVX2" : "SSE4.1";
}

// Noise with runs of black and white, so the negative lobes push sums below 0 and above 255.
cv::Mat Noise(cv::RNG& rng, int width, int height, int channels) {
    cv::Mat image(height, width, CV_8UC(channels));
    rng.fill(image, cv::RNG::UNIFORM, 0, 256);
    cv::Mat mask(height, width, CV_8U);
    rng.fill(mask, cv::RNG::UNIFORM, 0, 4);
    image.setTo(cv::Scalar::all(0), mask == 0);
    image.setTo(cv::Scalar::all(255), mask == 1);
    return image;
}

// The first differing position, or "" when both are equal.
std::string FirstDifference(const cv::Mat& expected, const cv::Mat& actual) {
    if (expected.size() != actual.size() || expected.type() != actual.type()) {
        return "size or type differs";
    }
    for (int r = 0; r < expected.rows; ++r) {
        const uchar* e = expected.ptr(r);
        const uchar* a = actual.ptr(r);
        const int bytes = expected.cols * static_cast<int>(expected.elemSize());
        for (int i = 0; i < bytes; ++i) {
            if (e[i] != a[i]) {
                std::ostringstream out;
                out << "row " << r << " byte " << i << ": expected " << int(e[i]) << ", got "
                    << int(a[i]);
                return out.str();
            }
        }
    }
    return "";
}

struct SizeCase {
    cv::Size source;
    cv::Size target;
    int channels;
};

std::string Describe(const SizeCase& c, ResizeIsa isa) {
    std::ostringstream out;
    out << IsaName(isa) << " " << c.channels << " channel(s) " << c.source.width << "x"
        << c.source.height << " -> " << c.target.width << "x" << c.target.height;
    return out.str();
}

bool Runs(ResizeIsa isa) {
    return static_cast<int>(isa) <= static_cast<int>(DetectedResizeIsa());
}

// Random source and target sizes: mostly small (every edge case of the clamped taps), some
// wide enough for the long vector runs; reductions, enlargements and one axis of each.
TEST(ResizeKernelTest, MatchesOpenCvOverRandomSizes) {
    cv::RNG rng(20261207);
    int compared = 0;
    for (int i = 0; i < 3000; ++i) {
        const int limit = i % 10 == 0 ? 400 : 40;
        SizeCase c{{rng.uniform(1, limit), rng.uniform(1, limit)},
                   {rng.uniform(1, limit), rng.uniform(1, limit)},
                   i % 3 == 0 ? 1 : (i % 3 == 1 ? 3 : 4)};
        if (c.source == c.target) {
            continue;
        }
        const cv::Mat source = Noise(rng, c.source.width, c.source.height, c.channels);
        cv::Mat expected;
        cv::resize(source, expected, c.target, 0, 0, cv::INTER_LANCZOS4);
        for (ResizeIsa isa : kKernels) {
            if (!Runs(isa)) {
                continue;
            }
            cv::Mat actual;
            ResizeImageWith(isa, source, actual, c.target, cv::INTER_LANCZOS4);
            const std::string difference = FirstDifference(expected, actual);
            ASSERT_EQ(difference, "") << Describe(c, isa);
            ++compared;
        }
    }
    EXPECT_GT(compared, 2000);
}

// Sizes with whole and near-whole ratios, lines one pixel thin, the workload's own geometry.
TEST(ResizeKernelTest, MatchesOpenCvOnChosenSizes) {
    const SizeCase cases[] = {
        {{1, 1}, {7, 5}, 3},          {{1, 9}, {1, 4}, 3},           {{9, 1}, {4, 1}, 4},
        {{1, 30}, {5, 61}, 1},        {{2, 2}, {1, 1}, 3},           {{8, 8}, {16, 16}, 3},
        {{16, 16}, {8, 8}, 4},        {{17, 13}, {8, 6}, 1},         {{9, 9}, {10, 10}, 3},
        {{10, 10}, {9, 9}, 3},        {{300, 3}, {299, 2}, 4},       {{3, 300}, {2, 301}, 1},
        {{1000, 750}, {620, 465}, 3}, {{640, 480}, {2480, 1860}, 3}, {{333, 1}, {1000, 1}, 3},
    };
    cv::RNG rng(7);
    for (const SizeCase& c : cases) {
        const cv::Mat source = Noise(rng, c.source.width, c.source.height, c.channels);
        cv::Mat expected;
        cv::resize(source, expected, c.target, 0, 0, cv::INTER_LANCZOS4);
        for (ResizeIsa isa : kKernels) {
            cv::Mat actual;
            ResizeImageWith(isa, source, actual, c.target, cv::INTER_LANCZOS4);
            EXPECT_EQ(FirstDifference(expected, actual), "") << Describe(c, isa);
        }
    }
}

// A view into a larger canvas is filled in place and nothing around it changes; a source
// that is itself a view (rows not contiguous) reads only its own pixels.
TEST(ResizeKernelTest, FillsAViewOfACanvasFromAView) {
    cv::RNG rng(11);
    const cv::Mat parent = Noise(rng, 50, 40, 3);
    const cv::Mat source = parent(cv::Rect(5, 4, 33, 29));
    cv::Mat expected;
    cv::resize(source, expected, cv::Size(61, 17), 0, 0, cv::INTER_LANCZOS4);
    for (ResizeIsa isa : kKernels) {
        cv::Mat canvas(30, 80, CV_8UC3, cv::Scalar(1, 2, 3));
        cv::Mat view = canvas(cv::Rect(9, 6, 61, 17));
        ResizeImageWith(isa, source, view, view.size(), cv::INTER_LANCZOS4);
        EXPECT_EQ(view.data, canvas.ptr(6, 9)) << IsaName(isa);
        EXPECT_EQ(FirstDifference(expected, view), "") << IsaName(isa);
        cv::Mat outside = canvas.clone();
        outside(cv::Rect(9, 6, 61, 17)).setTo(cv::Scalar(1, 2, 3));
        EXPECT_EQ(cv::norm(outside, cv::Mat(30, 80, CV_8UC3, cv::Scalar(1, 2, 3)), cv::NORM_INF), 0)
            << IsaName(isa);
    }
}

// What the kernel does not handle goes to cv::resize: other interpolations, other depths, two
// channels, the same size (a copy).
TEST(ResizeKernelTest, LeavesOtherCasesToOpenCv) {
    struct Other {
        int type;
        cv::Size source;
        cv::Size target;
        int interpolation;
    };
    const Other cases[] = {
        {CV_8UC3, {40, 30}, {25, 19}, cv::INTER_CUBIC},
        {CV_8UC3, {40, 30}, {20, 15}, cv::INTER_AREA},
        {CV_16UC3, {40, 30}, {25, 19}, cv::INTER_LANCZOS4},
        {CV_8UC2, {40, 30}, {25, 19}, cv::INTER_LANCZOS4},
        {CV_8UC3, {40, 30}, {40, 30}, cv::INTER_LANCZOS4},
    };
    cv::RNG rng(3);
    for (const Other& c : cases) {
        cv::Mat source(c.source, c.type);
        rng.fill(source, cv::RNG::UNIFORM, 0, 256);
        cv::Mat expected;
        cv::resize(source, expected, c.target, 0, 0, c.interpolation);
        cv::Mat actual;
        ResizeImage(source, actual, c.target, c.interpolation);
        EXPECT_EQ(FirstDifference(expected, actual), "") << "type " << c.type;
    }
}

// The result does not depend on how many threads share the rows.
TEST(ResizeKernelTest, SameBytesOnOneThread) {
    cv::RNG rng(5);
    const cv::Mat source = Noise(rng, 700, 520, 3);
    cv::Mat many;
    ResizeImage(source, many, cv::Size(431, 322), cv::INTER_LANCZOS4);
    const int threads = cv::getNumThreads();
    cv::setNumThreads(1);
    cv::Mat one;
    ResizeImage(source, one, cv::Size(431, 322), cv::INTER_LANCZOS4);
    cv::setNumThreads(threads);
    EXPECT_EQ(FirstDifference(many, one), "");
}

}  // namespace
}  // namespace korvale
