// The batch run.
#include "BatchRun.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#include <set>

#include "AtomicFile.h"
#include "BatchClashes.h"
#include "EncoderLimits.h"
#include "LinkWalk.h"
#include "Plan.h"
#include "ResolutionCopy.h"
#include "Text.h"
#include "TiffCropPaste.h"
#include "WorkAhead.h"

namespace korvale {
namespace {

constexpr const char* kNoFiles = "画像ファイルを選択してください。";
constexpr const char* kNoFolder = "保存フォルダを指定してください。";
constexpr const char* kNoInterpolation = "補間法を指定してください。";
constexpr const char* kNoAnchor = "配置の基準を選択してください。";
constexpr const char* kNoExtension = "拡張子の変更に失敗しました.";
constexpr const char* kDone = "完了";

std::string FolderMessage(const char* text, const std::string& shown, int error) {
    // A file where a folder was to be made is a file along the path.
    std::string reason = SystemReason(error == EEXIST ? ENOTDIR : error);
    const std::string fullStop = "。";
    if (reason.size() >= fullStop.size() &&
        reason.compare(reason.size() - fullStop.size(), fullStop.size(), fullStop) == 0) {
        reason.resize(reason.size() - fullStop.size());  // said in brackets below the folder
    }
    return std::string(text) + "\n" + shown + "\n(" + reason + ")";
}

// The last start check: the output folder exists (or is created when the user agrees) and
// can be written into. Reports and returns false otherwise.
bool OutputFolderReady(const std::string& folder, UserInteraction& ui) {
    const std::string shown = ShownFolder(folder);
    struct stat info;
    if (::stat(shown.c_str(), &info) != 0) {
        if (errno != ENOENT) {
            ui.ShowMessage(FolderMessage("保存フォルダを開けません。", shown, errno));
            return false;
        }
        if (!ui.AskCreateFolder(shown)) {
            return false;
        }
        std::error_code error;
        std::filesystem::create_directories(shown, error);
        if (error) {
            ui.ShowMessage(
                FolderMessage("保存フォルダを作成できませんでした。", shown, error.value()));
            return false;
        }
    } else if (!S_ISDIR(info.st_mode)) {
        ui.ShowMessage("保存フォルダに指定された名前はフォルダではありません。\n" + shown);
        return false;
    }
    if (::access(shown.c_str(), W_OK | X_OK) != 0) {
        ui.ShowMessage(FolderMessage("保存フォルダに書き込めません。", shown, errno));
        return false;
    }
    return true;
}

// Something at the output's name that the overwrite question is about. A look that fails
// counts as something there, which cannot be replaced.
bool IsExistingNonDirectory(const ExistingEntry& entry) {
    return entry.kind == ExistingEntry::Kind::File || entry.kind == ExistingEntry::Kind::Unknown;
}

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

// During a run the images themselves are spread over the cores; OpenCV's own threads would
// only compete with them, at a cost of about a third more work for a Lanczos scaling.
class SingleThreadedOpenCv {
public:
    SingleThreadedOpenCv() : previous_(cv::getNumThreads()) { cv::setNumThreads(1); }
    ~SingleThreadedOpenCv() { cv::setNumThreads(previous_); }
    SingleThreadedOpenCv(const SingleThreadedOpenCv&) = delete;
    SingleThreadedOpenCv& operator=(const SingleThreadedOpenCv&) = delete;

private:
    int previous_;
};

// Which file a failed image concerns and why, for the detail of its message. An image that
// could not be made for lack of memory says so, not that its source is no image.
std::string FailureDetailOf(ConvertResult result, const std::string& sourcePath,
                            const std::string& outputPath, FileError failure, bool lackedMemory) {
    switch (result) {
        case ConvertResult::ReadFailed:
            if (lackedMemory) {
                return FailureDetail({ENOMEM, sourcePath, {}});
            }
            if (::access(sourcePath.c_str(), R_OK) != 0) {
                return FailureDetail({errno, sourcePath, {}});
            }
            return FailureDetail({0, sourcePath, "画像として読み取れませんでした。"});
        case ConvertResult::WriteFailed:
            if (failure.path.empty()) {
                // Failed before anything was written: the image could not be made.
                failure = {0, outputPath, "画像を作成できませんでした。"};
            }
            return FailureDetail(failure);
        case ConvertResult::BadAnchor:
        case ConvertResult::Ok:
            break;
    }
    return {};
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
std::optional<PreparedImage> PrepareStreamed(const BatchRequest& request, const FileEntry& entry,
                                             std::optional<ImageFormat> output) {
    if (request.method != BatchMethod::CropPaste || output != ImageFormat::Tiff ||
        FormatOfName(entry.path) != ImageFormat::Tiff) {
        return std::nullopt;
    }
    auto encoded = std::make_shared<std::vector<unsigned char>>();
    const uint32_t dpi = OutputDpi(request, entry);
    const std::optional<ConvertResult> result = CropPasteTiffToTiff(
        entry.path, TargetOf(request, entry), request.anchor, request.margin, dpi, *encoded);
    if (!result) {
        return std::nullopt;
    }
    PreparedImage prepared{*result, {}};
    if (*result == ConvertResult::Ok) {
        prepared.encoded = std::move(encoded);
    }
    return prepared;
}

PreparedImage PrepareOutput(const BatchRequest& request, const FileEntry& entry) {
    try {
        // The output's format decides its depth and alpha; a name that has none is left to fail
        // at the encoder, as before.
        const std::optional<std::string> name = OutputFileName(entry.path, request.saveFormat);
        const std::optional<ImageFormat> output =
            name ? OutputFormatOfName(*name) : std::optional<ImageFormat>();
        if (std::optional<PreparedImage> streamed = PrepareStreamed(request, entry, output)) {
            return std::move(*streamed);
        }
        cv::Mat source;
        DecodeNotes notes;
        if (!DecodeImage(entry.path, source, &notes)) {
            return {ConvertResult::ReadFailed, {}, notes.lackedMemory, false};
        }
        if (output && !FitForOutput(source, FormatOfName(entry.path), *output, request.margin)) {
            return {ConvertResult::ReadFailed, {}, true, false};
        }
        const PixelSize target = TargetOf(request, entry);
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
        return prepared;
    } catch (const std::bad_alloc&) {
        return {ConvertResult::ReadFailed, {}, true, false};
    } catch (const std::exception&) {
        return {ConvertResult::WriteFailed, {}, false, false};
    }
}

SourceMetadata OutputMetadata(SaveFormat format, const FileEntry& entry) {
    // Only the source's header segments are read for this.
    return format == SaveFormat::Bmp ? SourceMetadata{} : ReadJpegMetadata(entry.path);
}

ConvertResult EncodeOutput(const BatchRequest& request, const cv::Mat& image,
                           const std::string& outputPath, uint32_t dpi,
                           const SourceMetadata& metadata, std::vector<unsigned char>& bytes,
                           bool* lackedMemory) {
    bool ignored = false;
    bool& lacked = lackedMemory ? *lackedMemory : ignored;
    try {
        if (EncodeImageToMemory(outputPath, image, JpegQualityParams(request.jpegQuality), bytes,
                                dpi, &lacked) != ConvertResult::Ok) {
            return ConvertResult::WriteFailed;
        }
        const std::optional<ImageFormat> format = OutputFormatOfName(outputPath);
        if (format == ImageFormat::Jpeg &&
            (!metadata.iccProfile.empty() || !metadata.exif.empty())) {
            bytes = CarryJpegMetadata(bytes, metadata, request.metadata,
                                      static_cast<uint32_t>(image.cols),
                                      static_cast<uint32_t>(image.rows), dpi);
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

const std::vector<unsigned char>* OutputBytes(const BatchRequest& request,
                                              const PreparedImage& prepared,
                                              const std::string& outputPath, uint32_t dpi,
                                              const SourceMetadata& metadata,
                                              std::vector<unsigned char>& scratch,
                                              bool* lackedMemory) {
    if (prepared.encoded) {
        return prepared.encoded.get();
    }
    return EncodeOutput(request, prepared.image, outputPath, dpi, metadata, scratch,
                        lackedMemory) == ConvertResult::Ok
               ? &scratch
               : nullptr;
}

bool WriteEncoded(AtomicFile& file, const std::string& outputPath,
                  const std::vector<unsigned char>& bytes, uint32_t dpi) {
    if (!file.Write(bytes.data(), bytes.size())) {
        return false;
    }
    // The format follows the output's name, not the temporary one; PNG and TIFF outputs have
    // their resolution in the encoded bytes already.
    const std::optional<ImageFormat> format = OutputFormatOfName(outputPath);
    if (format && EntryOf(*format).outputDpi == OutputDpi::Stamp) {
        EntryOf(*format).stamp(file.temporaryPath(), dpi);
    }
    return true;
}

ConvertResult WriteOutput(const BatchRequest& request, const cv::Mat& image,
                          const std::string& outputPath, uint32_t dpi, FileError* error,
                          const SourceMetadata& metadata) {
    PreparedImage prepared{ConvertResult::Ok, image};
    return WriteOutput(request, prepared, outputPath, dpi, error, metadata);
}

ConvertResult WriteOutput(const BatchRequest& request, const PreparedImage& prepared,
                          const std::string& outputPath, uint32_t dpi, FileError* error,
                          const SourceMetadata& metadata, bool mayReplace, bool* taken) {
    AtomicFile file;
    std::vector<unsigned char> scratch;
    bool written = file.Open(outputPath, {}, /*keepReadOnly=*/true);
    bool lackedMemory = false;
    const std::vector<unsigned char>* bytes =
        written ? OutputBytes(request, prepared, outputPath, dpi, metadata, scratch, &lackedMemory)
                : nullptr;
    if (written && bytes == nullptr) {
        if (error != nullptr) {
            *error = lackedMemory ? FileError{ENOMEM, outputPath, {}}
                                  : FileError{0, outputPath, "この形式では画像を書き込めません。"};
        }
        return ConvertResult::WriteFailed;
    }
    written = written && WriteEncoded(file, outputPath, *bytes, dpi) && file.Commit(mayReplace);
    return Written(file, written, error, taken);
}

ConvertResult CopyWithResolution(const std::string& sourcePath, const std::string& outputPath,
                                 uint32_t dpi, FileError* error, bool mayReplace, bool* taken) {
    const std::optional<std::vector<uint8_t>> source = ReadWholeFile(sourcePath);
    if (!source) {
        return ConvertResult::ReadFailed;
    }
    const std::optional<std::vector<uint8_t>> copy = WithResolution(outputPath, *source, dpi);
    if (!copy) {
        return ConvertResult::ReadFailed;
    }
    AtomicFile file;
    const bool written = file.Open(outputPath, {}, /*keepReadOnly=*/true) &&
                         file.Write(copy->data(), copy->size()) && file.Commit(mayReplace);
    return Written(file, written, error, taken);
}

BatchEnd RunBatch(const FileList& list, BatchRequest& request, bool& running, BatchHost& host,
                  UserInteraction& ui) {
    struct timespec runStart;
    ::clock_gettime(CLOCK_REALTIME, &runStart);
    if (list.empty()) {
        ui.ShowMessage(kNoFiles);
        return BatchEnd::NotStarted;
    }
    if (request.outputFolder.empty()) {
        ui.ShowMessage(kNoFolder);
        return BatchEnd::NotStarted;
    }
    if (request.outputFolder.back() != '/') {
        request.outputFolder += '/';  // kept even when a later check fails
    }
    if (InterpolationFlag(request.interpolation) < 0) {
        ui.ShowMessage(kNoInterpolation);
        return BatchEnd::NotStarted;
    }
    if (request.anchor == -1) {
        ui.ShowMessage(kNoAnchor);
        return BatchEnd::NotStarted;
    }
    if (!OutputFolderReady(request.outputFolder, ui)) {
        return BatchEnd::NotStarted;
    }
    // Seen as a whole before the first image: no output may be another's, nor replace a
    // source still to be read.
    {
        const std::vector<std::string> outputs = OutputPaths(request, list);
        const OutputOverlaps overlaps = FindOverlaps(list, outputs);
        if (!overlaps.clashes.empty()) {
            ui.ShowDetailedMessage(kClashMessage, ClashDetail(overlaps.clashes, list, outputs));
            return BatchEnd::NotStarted;
        }
    }

    running = true;
    host.UpdateControlStates(false);
    host.SetProgressRange(static_cast<int>(list.size()));
    host.SetProgressPosition(0);
    bool ask = true;
    RemoveStaleTemporaries(request.outputFolder, runStart);
    // Outputs written through a link have their temporary files beside the link's target, so
    // killed runs left theirs there: each such folder is swept once, when first written to.
    std::set<std::string> swept = {request.outputFolder};
    const bool dpiOnly = request.method == BatchMethod::DpiOnly;
    // DPI only keeps each file's own name and format.
    const SaveFormat format = dpiOnly ? SaveFormat::SameAsSource : request.saveFormat;
    const SingleThreadedOpenCv singleThreaded;
    // The image in hand and the work ahead share what memory is free now, less a margin for
    // the encoder and the rest of the program.
    const uint64_t headroom = MemoryHeadroom();
    WorkAhead ahead(list, request, headroom - headroom / 8, /*writeAhead=*/true);
    // Work ahead is worth it unless an image waits for an overwrite question.
    const auto startAhead = [&](size_t from) {
        if (dpiOnly) {
            return;  // nothing to decode
        }
        for (size_t index = from; index < list.size() && index < from + WorkAhead::kDepth;
             ++index) {
            const std::optional<std::string> name = OutputFileName(list[index].path, format);
            if (!name ||
                (ask && IsExistingNonDirectory(LookAtOutput(request.outputFolder + *name)))) {
                return;
            }
            ahead.Start(index);
        }
    };
    startAhead(0);
    BatchEnd end = BatchEnd::Completed;
    std::vector<std::string> damaged;  // converted from damaged data, said after the run
    for (size_t i = 0; i < list.size(); ++i) {
        const FileEntry& entry = list[i];
        const int n = static_cast<int>(i) + 1;
        const std::optional<std::string> name = OutputFileName(entry.path, format);
        if (!name) {
            ui.ShowDetailedMessage(kNoExtension, entry.path + "\nファイル名に拡張子がありません。");
            end = BatchEnd::Failed;
            break;
        }
        host.SetStatusText(*name);
        const std::string outputPath = request.outputFolder + *name;
        bool skip = false;
        // Only an output whose replacement was agreed to may replace a file; any other takes
        // its name only while it is free.
        bool agreed = !ask;
        if (ask) {
            const ExistingEntry existing = LookAtOutput(outputPath);
            if (IsExistingNonDirectory(existing)) {
                const OverwriteChoice choice =
                    ui.AskOverwrite(ShownForReplacement(outputPath, existing));
                if (choice == OverwriteChoice::Cancel) {
                    end = BatchEnd::Cancelled;
                    break;
                }
                if (choice == OverwriteChoice::OverwriteAll) {
                    ask = false;
                }
                skip = choice == OverwriteChoice::Skip;
                agreed = !skip;
            }
        }
        // A file that took the output's name while the output was made is asked about as any
        // existing one: true when it may be replaced now.
        bool cancelled = false;
        const auto agreeToReplaceTaken = [&] {
            const OverwriteChoice choice =
                ui.AskOverwrite(ShownForReplacement(outputPath, LookAtOutput(outputPath)));
            if (choice == OverwriteChoice::OverwriteAll) {
                ask = false;
            }
            cancelled = choice == OverwriteChoice::Cancel;
            skip = choice == OverwriteChoice::Skip;
            agreed = !cancelled && !skip;
            return agreed;
        };
        if (!skip) {
            const std::optional<std::string> linked = LinkTargetFolder(outputPath);
            if (linked && swept.insert(*linked).second) {
                RemoveStaleTemporaries(*linked, runStart);
            }
            const uint32_t dpi = OutputDpi(request, entry);
            FileError failure;
            ConvertResult result;
            bool damagedSource = false;
            bool taken = false;
            bool lackedMemory = false;
            if (dpiOnly) {
                result = CopyWithResolution(entry.path, outputPath, dpi, &failure, agreed, &taken);
                if (taken && agreeToReplaceTaken()) {
                    result = CopyWithResolution(entry.path, outputPath, dpi, &failure);
                }
            } else {
                // Written ahead, the output only takes its name now, in its turn.
                std::unique_ptr<AtomicFile> written = ahead.TakeWritten(i, damagedSource);
                startAhead(i + 1);
                bool committed = written && written->Commit(agreed);
                if (written && written->takenMeanwhile()) {
                    committed = agreeToReplaceTaken() && written->Commit(true);
                    taken = !committed && (skip || cancelled);
                }
                if (committed || taken) {
                    result = ConvertResult::Ok;
                } else {
                    if (written) {
                        // Done again as one image at a time would do it, without the files
                        // ahead taking room it may need.
                        written.reset();
                        ahead.Discard();
                        WaitForWorkAhead();
                    }
                    const PreparedImage prepared = ahead.Take(i);
                    damagedSource = prepared.damaged;
                    lackedMemory = prepared.lackedMemory;
                    result = prepared.result;
                    const auto write = [&](bool mayReplace) {
                        return WriteOutput(request, prepared, outputPath, dpi, &failure,
                                           OutputMetadata(format, entry), mayReplace, &taken);
                    };
                    if (result == ConvertResult::Ok) {
                        result = write(agreed);
                        if (result != ConvertResult::Ok && ahead.Discard()) {
                            // Once more with no work ahead holding disk space or memory.
                            WaitForWorkAhead();
                            failure = {};
                            result = write(agreed);
                        }
                        if (taken && agreeToReplaceTaken()) {
                            result = write(true);
                        }
                    }
                }
            }
            if (cancelled) {
                end = BatchEnd::Cancelled;
                break;
            }
            if (result != ConvertResult::Ok) {
                ui.ShowDetailedMessage(
                    ConvertMessage(result),
                    FailureDetailOf(result, entry.path, outputPath, failure, lackedMemory));
                end = BatchEnd::Failed;
                break;
            }
            if (damagedSource && !skip) {
                damaged.push_back(entry.path);
            }
        }
        host.SetProgressPosition(n);
        ui.PumpEvents();
        if (!running) {
            end = BatchEnd::Stopped;
            break;
        }
    }
    ahead.Discard();
    running = false;
    host.UpdateControlStates(true);
    host.SetStatusText("");
    if (end == BatchEnd::Completed) {
        ui.ShowMessage(kDone, MessageIcon::Information);
    }
    if (!damaged.empty()) {
        ui.ReportDamagedSources(damaged);
    }
    return end;
}

}  // namespace korvale
