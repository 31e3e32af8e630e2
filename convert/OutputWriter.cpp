// The writer.
#include "OutputWriter.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#include <optional>

#include "ColourManage.h"
#include "EncoderLimits.h"
#include "ExifEdit.h"
#include "ImageFormats.h"
#include "PngMetadata.h"
#include "RunHost.h"
#include "TiffCropPaste.h"

namespace korvale {
namespace {

// The result of an output file's write; a name taken meanwhile is no failure but left to the
// caller, which asks about it.
ConvertResult Written(AtomicFile& file, bool written, FileError* error, bool* taken) {
    if (!written && file.takenMeanwhile() && taken != nullptr) {
        file.Discard();
        *taken = true;
        return ConvertResult::Ok;
    }
    if (!written && error != nullptr) {
        *error = file.error();
    }
    return written ? ConvertResult::Ok : ConvertResult::WriteFailed;
}

// The whole file; nullopt when it cannot be read.
std::optional<std::vector<uint8_t>> ReadWholeFile(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return std::nullopt;
    }
    struct stat info;
    std::vector<uint8_t> bytes;
    bool ok = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
    if (ok) {
        bytes.resize(static_cast<size_t>(info.st_size));
        size_t got = 0;
        while (ok && got < bytes.size()) {
            const ssize_t n = ::read(fd, bytes.data() + got, bytes.size() - got);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            ok = n > 0;
            got += ok ? static_cast<size_t>(n) : 0;
        }
    }
    ::close(fd);
    return ok ? std::optional(std::move(bytes)) : std::nullopt;
}

}  // namespace

int InterpolationFlag(int choice) {
    static constexpr int kFlags[] = {cv::INTER_NEAREST, cv::INTER_AREA, cv::INTER_LINEAR,
                                     cv::INTER_CUBIC, cv::INTER_LANCZOS4};
    return choice >= 0 && choice < 5 ? kFlags[choice] : -1;
}

// The output made straight from the source's bytes, where that is done (TiffCropPaste.h).
std::optional<PreparedImage> PrepareStreamed(const BatchRequest& request, const OutputJob& job) {
    if (job.method != BatchMethod::CropPaste || job.outputFormat != ImageFormat::Tiff ||
        job.sourceFormat != ImageFormat::Tiff) {
        return std::nullopt;
    }
    const SourceMetadata metadata = OutputMetadata(job);
    if (request.toSrgb && LeavesSrgb(metadata.iccProfile)) {
        return std::nullopt;  // its colours change
    }
    auto encoded = std::make_shared<std::vector<unsigned char>>();
    // Its bytes are made here and written as they are, so they carry the source's pieces now.
    const OutputPieces pieces =
        PiecesForOutput(metadata, job.metadata, static_cast<uint32_t>(job.target.width),
                        static_cast<uint32_t>(job.target.height), job.dpi);
    const std::optional<ConvertResult> result = CropPasteTiffToTiff(
        job.source.path, job.target, request.anchor, request.margin, job.dpi, *encoded, pieces);
    if (!result) {
        return std::nullopt;
    }
    PreparedImage prepared{*result, {}};
    if (*result == ConvertResult::Ok) {
        prepared.encoded = std::move(encoded);
    }
    return prepared;
}

PreparedImage PrepareOutput(const BatchRequest& request, const OutputJob& job) {
    try {
        // The output's format decides its depth and alpha; a name that has none is left to fail
        // at the encoder, as before.
        const std::optional<ImageFormat> output = job.outputFormat;
        if (std::optional<PreparedImage> streamed = PrepareStreamed(request, job)) {
            return std::move(*streamed);
        }
        cv::Mat source;
        DecodeNotes notes;
        if (!DecodeImage(job.source.path, source, &notes)) {
            return {ConvertResult::ReadFailed, {}, notes.lackedMemory, false};
        }
        // Before the depth is narrowed and the alpha blended onto the margin colour, which is
        // a colour of the output's space.
        if (request.toSrgb && !notes.srgb) {
            notes.srgb = ConvertToSrgb(
                source, ReadSourceMetadata(job.source.path, job.sourceFormat).iccProfile);
        }
        if (output && !FitForOutput(source, job.sourceFormat, *output, request.margin)) {
            return {ConvertResult::ReadFailed, {}, true, false};
        }
        const PixelSize target = job.target;
        // An output its encoder would refuse is not made at all: it fails as its write would,
        // before its pixels take memory. A bad anchor is left to the geometry, which says it
        // first wherever margins or cuts arise.
        const PixelLayout pixel{static_cast<uint32_t>(source.channels()),
                                static_cast<uint32_t>(source.elemSize1())};
        if (output && IsValidAnchor(request.anchor) && EncoderRefuses(*output, target, pixel)) {
            return {ConvertResult::WriteFailed, {}, false, false};
        }
        PreparedImage prepared =
            request.method == BatchMethod::Resize
                ? PrepareResized(source, target, InterpolationFlag(request.interpolation),
                                 request.anchor, request.keepAspect, request.margin)
                : PrepareCropPasted(source, target, request.anchor, request.margin);
        prepared.damaged = notes.damaged;
        prepared.srgb = notes.srgb;
        return prepared;
    } catch (const std::bad_alloc&) {
        return {ConvertResult::ReadFailed, {}, true, false};
    } catch (const std::exception&) {
        return {ConvertResult::WriteFailed, {}, false, false};
    }
}

PreparedImage PrepareOutput(const BatchRequest& request, const FileEntry& entry) {
    BatchRequest saved = request;
    saved.method = request.method == BatchMethod::DpiOnly ? BatchMethod::CropPaste : request.method;
    OutputJob job = JobOf(saved, entry);
    job.method = request.method;
    return PrepareOutput(request, job);
}

SourceMetadata OutputMetadata(const OutputJob& job) {
    // Only the source's header is read for this.
    return job.outputFormat == ImageFormat::Bmp
               ? SourceMetadata{}
               : ReadSourceMetadata(job.source.path, job.sourceFormat);
}

SourceMetadata OutputMetadata(SaveFormat format, const FileEntry& entry) {
    return format == SaveFormat::Bmp ? SourceMetadata{}
                                     : ReadSourceMetadata(entry.path, FormatOfName(entry.path));
}

ConvertResult EncodeOutput(const BatchRequest& request, const OutputJob& job, const cv::Mat& image,
                           const SourceMetadata& metadata, std::vector<unsigned char>& bytes,
                           bool* lackedMemory) {
    bool ignored = false;
    bool& lacked = lackedMemory ? *lackedMemory : ignored;
    const uint32_t dpi = job.dpi;
    const auto width = static_cast<uint32_t>(image.cols);
    const auto height = static_cast<uint32_t>(image.rows);
    try {
        const std::optional<ImageFormat> format = job.outputFormat;
        OutputPieces pieces;
        if (format == ImageFormat::Png || format == ImageFormat::Tiff) {
            pieces = PiecesForOutput(metadata, job.metadata, width, height, dpi);
        } else if (format == ImageFormat::Webp || format == ImageFormat::Avif) {
            pieces = PiecesForOutput(metadata, job.metadata, width, height, dpi);
            if (job.metadata != MetadataPolicy::None && !metadata.exif.empty()) {
                // A block that cannot be made true for the output is left behind.
                pieces.exif = ExifForOutput(metadata.exif, job.metadata == MetadataPolicy::All,
                                            width, height, dpi)
                                  .value_or(ByteBuffer{});
            }
        }
        if (EncodeImageToMemory(format, image, JpegQualityParams(request.jpegQuality), bytes, dpi,
                                &lacked, &pieces) != ConvertResult::Ok) {
            return ConvertResult::WriteFailed;
        }
        const bool anyPiece = !metadata.iccProfile.empty() || !metadata.exif.empty() ||
                              !metadata.xmp.empty() || !metadata.photoshop.empty();
        if (format == ImageFormat::Jpeg && anyPiece) {
            bytes = CarryJpegMetadata(bytes, metadata, job.metadata, width, height, dpi);
        } else if (format == ImageFormat::Png &&
                   (!pieces.iccProfile.empty() || !pieces.xmp.empty())) {
            bytes = PngWithPieces(bytes, pieces, image.channels());
        }
        if (format && EntryOf(*format).outputDpi == OutputDpi::Rebuild) {
            // Its resolution goes into the encoded bytes; an output without it is not written.
            std::optional<std::vector<uint8_t>> stamped =
                EntryOf(*format).withResolution(bytes, dpi);
            if (!stamped) {
                return ConvertResult::WriteFailed;
            }
            bytes = std::move(*stamped);
        }
    } catch (const std::bad_alloc&) {
        lacked = true;  // the copies that carry the metadata or the resolution
        return ConvertResult::WriteFailed;
    }
    return ConvertResult::Ok;
}

const std::vector<unsigned char>* OutputBytes(const BatchRequest& request, const OutputJob& job,
                                              const PreparedImage& prepared,
                                              const SourceMetadata& metadata,
                                              std::vector<unsigned char>& scratch,
                                              bool* lackedMemory) {
    if (prepared.encoded) {
        return prepared.encoded.get();
    }
    if (prepared.srgb) {
        // The source's profile describes colours the image no longer has.
        SourceMetadata converted = metadata;
        converted.iccProfile = SrgbProfileFor(prepared.image.channels());
        return EncodeOutput(request, job, prepared.image, converted, scratch, lackedMemory) ==
                       ConvertResult::Ok
                   ? &scratch
                   : nullptr;
    }
    return EncodeOutput(request, job, prepared.image, metadata, scratch, lackedMemory) ==
                   ConvertResult::Ok
               ? &scratch
               : nullptr;
}

bool WriteEncoded(AtomicFile& file, const OutputJob& job, const std::vector<unsigned char>& bytes) {
    if (!file.Write(bytes.data(), bytes.size())) {
        return false;
    }
    // The format is the output's, not the temporary name's; PNG and TIFF outputs have their
    // resolution in the encoded bytes already.
    const std::optional<ImageFormat> format = job.outputFormat;
    if (format && EntryOf(*format).outputDpi == OutputDpi::Stamp) {
        EntryOf(*format).stamp(file.temporaryPath(), job.dpi);
    }
    return true;
}

ConvertResult WriteOutput(const BatchRequest& request, const OutputJob& job,
                          const PreparedImage& prepared, FileError* error,
                          const SourceMetadata& metadata, bool mayReplace, bool* taken) {
    AtomicFile file;
    std::vector<unsigned char> scratch;
    const std::string& outputPath = job.outputPath;
    bool written = file.Open(outputPath, {}, /*keepReadOnly=*/true);
    bool lackedMemory = false;
    const std::vector<unsigned char>* bytes =
        written ? OutputBytes(request, job, prepared, metadata, scratch, &lackedMemory) : nullptr;
    if (written && bytes == nullptr) {
        if (error != nullptr) {
            *error = lackedMemory ? FileError{ENOMEM, outputPath, {}}
                                  : FileError{0, outputPath, Message(MessageId::FormatCannotWrite)};
        }
        return ConvertResult::WriteFailed;
    }
    written = written && WriteEncoded(file, job, *bytes) && file.Commit(mayReplace);
    return Written(file, written, error, taken);
}

ConvertResult WriteOutput(const BatchRequest& request, const cv::Mat& image,
                          const std::string& outputPath, uint32_t dpi, FileError* error,
                          const SourceMetadata& metadata) {
    PreparedImage prepared{ConvertResult::Ok, image};
    return WriteOutput(request, JobWriting(outputPath, dpi), prepared, error, metadata);
}

ConvertResult WriteOutput(const BatchRequest& request, const PreparedImage& prepared,
                          const std::string& outputPath, uint32_t dpi, FileError* error,
                          const SourceMetadata& metadata, bool mayReplace, bool* taken) {
    OutputJob job = JobWriting(outputPath, dpi);
    job.metadata = request.metadata;
    return WriteOutput(request, job, prepared, error, metadata, mayReplace, taken);
}

ConvertResult CopyWithResolution(const OutputJob& job, FileError* error, bool mayReplace,
                                 bool* taken) {
    if (!EntryOf(job.sourceFormat).editsResolution) {
        // Refused before the file is read: the file is fine, the method is not for it.
        if (error != nullptr) {
            *error = FileError{0, job.source.path, Message(MessageId::NoResolutionEdit)};
        }
        return ConvertResult::WriteFailed;
    }
    const std::optional<std::vector<uint8_t>> source = ReadWholeFile(job.source.path);
    if (!source) {
        return ConvertResult::ReadFailed;
    }
    // The output keeps the source's name, and so its format.
    const std::optional<std::vector<uint8_t>> copy =
        EntryOf(job.sourceFormat).withResolution(*source, job.dpi);
    if (!copy) {
        return ConvertResult::ReadFailed;
    }
    AtomicFile file;
    const bool written = file.Open(job.outputPath, {}, /*keepReadOnly=*/true) &&
                         file.Write(copy->data(), copy->size()) && file.Commit(mayReplace);
    return Written(file, written, error, taken);
}

}  // namespace korvale
