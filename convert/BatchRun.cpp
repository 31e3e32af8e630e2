// The batch run.
#include "BatchRun.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <future>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

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

// A hidden name beside the output that no other file has: the process id and a counter make it
// unique, O_EXCL makes sure. The output's extension is kept.
std::optional<std::string> ReserveTemporary(const std::string& outputPath) {
    static std::atomic<unsigned> counter{0};
    const size_t slash = outputPath.rfind('/');
    const std::string folder = slash == std::string::npos ? "" : outputPath.substr(0, slash + 1);
    const std::string_view name = FileNameOf(outputPath);
    const size_t dot = name.rfind('.');
    const std::string extension(dot == std::string_view::npos ? "" : name.substr(dot));
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string path =
            folder + FormatText(".korvale-%d-%u", static_cast<int>(::getpid()), counter++) +
            extension;
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            ::close(fd);
            return path;
        }
        if (errno != EEXIST) {
            return std::nullopt;
        }
    }
    return std::nullopt;
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

// Decodes the next listed image on a second thread while the current one is converted.
class ReadAhead {
public:
    ~ReadAhead() { Discard(); }

    void Start(size_t index, const std::string& path) {
        Discard();
        index_ = index;
        pending_ = std::async(std::launch::async, [path] {
            Decoded decoded;
            decoded.identity = FileIdentity::Of(path);
            decoded.ok = DecodeImage(path, decoded.image);
            return decoded;
        });
    }

    // The pixels of entry `index`: the decoded read-ahead when it is for this entry and the
    // file is still the one it read, else a decode now.
    bool Take(size_t index, const std::string& path, cv::Mat& image) {
        if (pending_.valid() && index_ == index) {
            Decoded decoded = pending_.get();
            if (decoded.identity.SameAs(FileIdentity::Of(path))) {
                image = std::move(decoded.image);
                return decoded.ok;
            }
        }
        Discard();
        return DecodeImage(path, image);
    }

    void Discard() {
        if (pending_.valid()) {
            pending_.wait();
            pending_ = {};
        }
    }

private:
    struct Decoded {
        FileIdentity identity;
        bool ok = false;
        cv::Mat image;
    };
    size_t index_ = 0;
    std::future<Decoded> pending_;
};

}  // namespace

int InterpolationFlag(int choice) {
    static constexpr int kFlags[] = {cv::INTER_NEAREST, cv::INTER_AREA, cv::INTER_LINEAR,
                                     cv::INTER_CUBIC, cv::INTER_LANCZOS4};
    return choice >= 0 && choice < 5 ? kFlags[choice] : -1;
}

std::optional<std::string> OutputFileName(const std::string& sourcePath, SaveFormat format) {
    std::string name(FileNameOf(sourcePath));
    if (format == SaveFormat::SameAsSource) {
        return name;
    }
    const size_t dot = name.rfind('.');
    if (dot == std::string::npos) {
        return std::nullopt;
    }
    return name.substr(0, dot) + (format == SaveFormat::Bmp ? ".bmp" : ".jpg");
}

ConvertResult ConvertToOutput(const BatchRequest& request, const cv::Mat& source,
                              const std::string& outputPath, PixelSize target, uint32_t dpi) {
    struct stat existing;
    const bool exists = ::stat(outputPath.c_str(), &existing) == 0;
    if (exists &&
        (S_ISDIR(existing.st_mode) || (existing.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0)) {
        // The encoder could not write over a folder or a read-only file either.
        return ConvertResult::WriteFailed;
    }
    const std::optional<std::string> temporary = ReserveTemporary(outputPath);
    if (!temporary) {
        return ConvertResult::WriteFailed;
    }
    const EncoderParams params = JpegQualityParams(request.jpegQuality);
    const ConvertResult result =
        request.method == BatchMethod::Resize
            ? ResizeDecoded(source, *temporary, target, params,
                            InterpolationFlag(request.interpolation), request.anchor,
                            request.keepAspect, request.margin)
            : CropPasteDecoded(source, *temporary, target, params, request.anchor, request.margin);
    if (result != ConvertResult::Ok) {
        ::unlink(temporary->c_str());
        return result;
    }
    StampResolution(*temporary, dpi);
    if (exists) {
        ::chmod(temporary->c_str(), existing.st_mode & 07777);
    }
    if (::rename(temporary->c_str(), outputPath.c_str()) != 0) {
        ::unlink(temporary->c_str());
        return ConvertResult::WriteFailed;
    }
    return ConvertResult::Ok;
}

BatchEnd RunBatch(const FileList& list, BatchRequest& request, bool& running, BatchHost& host,
                  UserInteraction& ui) {
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
    ReadAhead readAhead;
    // Reading ahead is worth it unless the next image waits for an overwrite question.
    const auto startReadAhead = [&](size_t next) {
        if (next >= list.size()) {
            return;
        }
        const std::optional<std::string> name = OutputFileName(list[next].path, request.saveFormat);
        if (name && !(ask && IsExistingNonDirectory(request.outputFolder + *name))) {
            readAhead.Start(next, list[next].path);
        }
    };
    BatchEnd end = BatchEnd::Completed;
    for (size_t i = 0; i < list.size(); ++i) {
        const FileEntry& entry = list[i];
        const int n = static_cast<int>(i) + 1;
        const std::optional<std::string> name = OutputFileName(entry.path, request.saveFormat);
        if (!name) {
            ui.ShowMessage(kNoExtension);
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
            cv::Mat source;
            const bool decoded = readAhead.Take(i, entry.path, source);
            startReadAhead(i + 1);
            const PixelSize target{
                request.applyWidth ? request.targetWidth : static_cast<int>(entry.width),
                request.applyHeight ? request.targetHeight : static_cast<int>(entry.height)};
            const uint32_t dpi = request.applyDpi ? request.targetDpi : entry.dpi;
            const ConvertResult result =
                decoded ? ConvertToOutput(request, source, outputPath, target, dpi)
                        : ConvertResult::ReadFailed;
            if (result != ConvertResult::Ok) {
                ui.ShowMessage(ConvertMessage(result));
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
    readAhead.Discard();
    running = false;
    host.UpdateControlStates(true);
    host.SetStatusText("");
    if (end == BatchEnd::Completed) {
        ui.ShowMessage(kDone, MessageIcon::Information);
    }
    return end;
}

}  // namespace korvale
