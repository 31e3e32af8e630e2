// Memory bounds of the work.
#include "MemoryBudget.h"

#include <malloc.h>
#include <sys/resource.h>

#include <algorithm>
#include <fstream>
#include <limits>
#include <optional>
#include <string>

#include "EncoderLimits.h"
#include "ImageHeader.h"

namespace korvale {
namespace {

// Bytes a pixel of the decoded source and of the output take.
struct PixelBytes {
    uint64_t source = 3;
    uint64_t output = 3;
};

// JPEG and BMP count three bytes a pixel either way; formats with alpha (PNG and TIFF) may be
// 16-bit, grey or with alpha, as their header says (the largest pixel when it says nothing
// usable).
PixelBytes BytesPerPixel(const OutputJob& job) {
    const ImageFormat format = job.sourceFormat;
    if (!EntryOf(format).alpha) {
        return {};
    }
    const PixelLayout decoded = ProbePixelLayout(job.source.path).value_or(kLargestPixel);
    const std::optional<ImageFormat> output = job.outputFormat;
    // An output without a format is never encoded; the decoded pixel bounds it.
    const PixelLayout written = output ? OutputPixel(decoded, format, *output) : decoded;
    return {decoded.bytes(), written.bytes()};
}

// A thread's stack and the decoder's tables, besides the image buffers.
constexpr uint64_t kThreadOverhead = 16ull << 20;

// The value of a "Name:   1234 kB" line of a /proc file, in bytes.
std::optional<uint64_t> ProcKilobytes(const char* file, const std::string& name) {
    std::ifstream in(file);
    std::string key;
    uint64_t value;
    while (in >> key) {
        if (key == name + ":" && in >> value) {
            return value * 1024;
        }
        in.ignore(std::numeric_limits<std::streamsize>::max(), '\n');
    }
    return std::nullopt;
}

}  // namespace

uint64_t PreparationBytes(const OutputJob& job) {
    const uint64_t source = uint64_t{job.source.width} * job.source.height;
    // A negative side is refused before anything is held.
    const uint64_t width = static_cast<uint64_t>(std::max(job.target.width, 0));
    const uint64_t height = static_cast<uint64_t>(std::max(job.target.height, 0));
    const PixelBytes bytes = BytesPerPixel(job);
    // The decoded source and the output; a progressive JPEG's coefficients take about as much as
    // its pixels again, as does the copy that fits a PNG or TIFF source for its output. The
    // encoder's growing buffer may hold twice an uncompressed output.
    return 2 * bytes.source * source + 3 * bytes.output * width * height + kThreadOverhead;
}

uint64_t PreparationBytes(const BatchRequest& request, const FileEntry& entry) {
    // The work ahead prepares the request's own format, even for the DPI-only method.
    BatchRequest converted = request;
    converted.method = BatchMethod::Resize;
    return PreparationBytes(JobOf(converted, entry));
}

uint64_t MemoryHeadroom() {
    uint64_t headroom = ProcKilobytes("/proc/meminfo", "MemAvailable")
                            .value_or(std::numeric_limits<uint64_t>::max());
    struct rlimit limit;
    if (::getrlimit(RLIMIT_AS, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY) {
        const uint64_t used = ProcKilobytes("/proc/self/status", "VmSize").value_or(0);
        headroom = std::min<uint64_t>(headroom, limit.rlim_cur > used ? limit.rlim_cur - used : 0);
    }
    const struct mallinfo2 heap = ::mallinfo2();
    return headroom == std::numeric_limits<uint64_t>::max() ? headroom : headroom + heap.fordblks;
}

}  // namespace korvale
