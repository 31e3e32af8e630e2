// The batch run.
#include "BatchRun.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <deque>
#include <future>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include "AtomicFile.h"
#include "Plan.h"
#include "ResolutionCopy.h"
#include "ResolutionStamp.h"
#include "Text.h"

namespace korvale {
namespace {

constexpr const char* kNoFiles = "画像ファイルを選択してください。";
constexpr const char* kNoFolder = "保存フォルダを指定してください。";
constexpr const char* kNoInterpolation = "補間法を指定してください。";
constexpr const char* kNoAnchor = "配置の基準を選択してください。";
constexpr const char* kNoExtension = "拡張子の変更に失敗しました.";
constexpr const char* kDone = "完了";

bool IsExistingNonDirectory(const std::string& path) {
    struct stat info;
    return ::stat(path.c_str(), &info) == 0 && !S_ISDIR(info.st_mode);
}

// Which file a path named when it was looked at: a replaced or rewritten file differs.
struct FileIdentity {
    bool valid = false;
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    struct timespec modified = {};

    static FileIdentity Of(const std::string& path) {
        FileIdentity identity;
        struct stat info;
        if (::stat(path.c_str(), &info) == 0) {
            identity = {true, info.st_dev, info.st_ino, info.st_size, info.st_mtim};
        }
        return identity;
    }
    bool SameAs(const FileIdentity& o) const {
        return valid && o.valid && device == o.device && inode == o.inode && size == o.size &&
               modified.tv_sec == o.modified.tv_sec && modified.tv_nsec == o.modified.tv_nsec;
    }
};

// Works ahead of the run so that both cores stay busy: the next images are decoded and scaled
// or placed, each on a thread of its own, while the current one is encoded and written.
// Nothing of an image is written before its turn; work for an image that is skipped or never
// reached is dropped, and an image whose file changed meanwhile is prepared again.
class WorkAhead {
public:
    static constexpr size_t kDepth = 2;

    WorkAhead(const FileList& list, const BatchRequest& request) : list_(list), request_(request) {}
    ~WorkAhead() { Discard(); }

    // Starts the preparation of entry `index` unless it is under way.
    void Start(size_t index) {
        for (const Slot& slot : slots_) {
            if (slot.index == index) {
                return;
            }
        }
        if (slots_.size() >= kDepth) {
            return;
        }
        const FileEntry& entry = list_[index];
        slots_.push_back({index, std::async(std::launch::async, [this, &entry] {
                              Prepared prepared;
                              prepared.identity = FileIdentity::Of(entry.path);
                              prepared.image = PrepareOutput(request_, entry);
                              return prepared;
                          })});
    }

    // The output image of entry `index`: the one prepared ahead when it is for this entry and
    // its file is still the one it read, else one prepared now. Work for earlier entries that
    // were skipped is dropped.
    PreparedImage Take(size_t index) {
        while (!slots_.empty() && slots_.front().index < index) {
            slots_.front().future.wait();
            slots_.pop_front();
        }
        const FileEntry& entry = list_[index];
        if (!slots_.empty() && slots_.front().index == index) {
            Prepared prepared = slots_.front().future.get();
            slots_.pop_front();
            if (prepared.identity.SameAs(FileIdentity::Of(entry.path))) {
                return std::move(prepared.image);
            }
        }
        return PrepareOutput(request_, entry);
    }

    void Discard() {
        for (Slot& slot : slots_) {
            slot.future.wait();
        }
        slots_.clear();
    }

private:
    struct Prepared {
        FileIdentity identity;
        PreparedImage image;
    };
    struct Slot {
        size_t index;
        std::future<Prepared> future;
    };

    const FileList& list_;
    const BatchRequest& request_;
    std::deque<Slot> slots_;
};

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

// Which file a failed image concerns and why, for the detail of its message.
std::string FailureDetailOf(ConvertResult result, const std::string& sourcePath,
                            const std::string& outputPath, FileError failure) {
    switch (result) {
        case ConvertResult::ReadFailed:
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

PreparedImage PrepareOutput(const BatchRequest& request, const FileEntry& entry) {
    try {
        cv::Mat source;
        if (!DecodeImage(entry.path, source)) {
            return {ConvertResult::ReadFailed, {}};
        }
        const PixelSize target = TargetOf(request, entry);
        return request.method == BatchMethod::Resize
                   ? PrepareResized(source, target, InterpolationFlag(request.interpolation),
                                    request.anchor, request.keepAspect, request.margin)
                   : PrepareCropPasted(source, target, request.anchor, request.margin);
    } catch (const std::exception&) {
        return {ConvertResult::WriteFailed, {}};
    }
}

ConvertResult WriteOutput(const BatchRequest& request, const cv::Mat& image,
                          const std::string& outputPath, uint32_t dpi, FileError* error,
                          const SourceMetadata& metadata) {
    AtomicFile file;
    std::vector<unsigned char> bytes;
    bool written = file.Open(outputPath, {}, /*keepReadOnly=*/true);
    if (written && EncodeImageToMemory(outputPath, image, JpegQualityParams(request.jpegQuality),
                                       bytes) != ConvertResult::Ok) {
        if (error != nullptr) {
            *error = {0, outputPath, "この形式では画像を書き込めません。"};
        }
        return ConvertResult::WriteFailed;
    }
    if (written && (!metadata.iccProfile.empty() || !metadata.exif.empty())) {
        bytes =
            CarryJpegMetadata(bytes, metadata, request.metadata, static_cast<uint32_t>(image.cols),
                              static_cast<uint32_t>(image.rows), dpi);
    }
    written = written && file.Write(bytes.data(), bytes.size());
    if (written) {
        // The branch follows the output's name, not the temporary one.
        if (HasExtension(outputPath, "bmp")) {
            StampBmpResolution(file.temporaryPath(), dpi);
        } else {
            StampJpegResolution(file.temporaryPath(), dpi);
        }
        written = file.Commit();
    }
    if (!written && error != nullptr) {
        *error = file.error();
    }
    return written ? ConvertResult::Ok : ConvertResult::WriteFailed;
}

ConvertResult CopyWithResolution(const std::string& sourcePath, const std::string& outputPath,
                                 uint32_t dpi, FileError* error) {
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
                         file.Write(copy->data(), copy->size()) && file.Commit();
    if (!written && error != nullptr) {
        *error = file.error();
    }
    return written ? ConvertResult::Ok : ConvertResult::WriteFailed;
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

    running = true;
    host.UpdateControlStates(false);
    host.SetProgressRange(static_cast<int>(list.size()));
    host.SetProgressPosition(0);
    bool ask = true;
    RemoveStaleTemporaries(request.outputFolder, runStart);
    const bool dpiOnly = request.method == BatchMethod::DpiOnly;
    // DPI only keeps each file's own name and format.
    const SaveFormat format = dpiOnly ? SaveFormat::SameAsSource : request.saveFormat;
    const SingleThreadedOpenCv singleThreaded;
    WorkAhead ahead(list, request);
    // Work ahead is worth it unless an image waits for an overwrite question.
    const auto startAhead = [&](size_t from) {
        if (dpiOnly) {
            return;  // nothing to decode
        }
        for (size_t index = from; index < list.size() && index < from + WorkAhead::kDepth;
             ++index) {
            const std::optional<std::string> name = OutputFileName(list[index].path, format);
            if (!name || (ask && IsExistingNonDirectory(request.outputFolder + *name))) {
                return;
            }
            ahead.Start(index);
        }
    };
    startAhead(0);
    BatchEnd end = BatchEnd::Completed;
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
        if (ask && IsExistingNonDirectory(outputPath)) {
            const OverwriteChoice choice = ui.AskOverwrite(outputPath);
            if (choice == OverwriteChoice::Cancel) {
                end = BatchEnd::Cancelled;
                break;
            }
            if (choice == OverwriteChoice::OverwriteAll) {
                ask = false;
            }
            skip = choice == OverwriteChoice::Skip;
        }
        if (!skip) {
            const uint32_t dpi = request.applyDpi ? request.targetDpi : entry.dpi;
            FileError failure;
            ConvertResult result;
            if (dpiOnly) {
                result = CopyWithResolution(entry.path, outputPath, dpi, &failure);
            } else {
                const PreparedImage prepared = ahead.Take(i);
                startAhead(i + 1);
                if (prepared.result != ConvertResult::Ok) {
                    result = prepared.result;
                } else if (format == SaveFormat::Bmp) {
                    result = WriteOutput(request, prepared.image, outputPath, dpi, &failure);
                } else {
                    // Only the source's header segments are read for this.
                    result = WriteOutput(request, prepared.image, outputPath, dpi, &failure,
                                         ReadJpegMetadata(entry.path));
                }
            }
            if (result != ConvertResult::Ok) {
                ui.ShowDetailedMessage(ConvertMessage(result),
                                       FailureDetailOf(result, entry.path, outputPath, failure));
                end = BatchEnd::Failed;
                break;
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
    return end;
}

}  // namespace korvale
