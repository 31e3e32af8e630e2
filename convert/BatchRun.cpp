// The batch run.
#include "BatchRun.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include "ResolutionStamp.h"
#include "Text.h"
#include "WorkAhead.h"

namespace korvale {
namespace {

constexpr const char* kNoFiles = "画像ファイルを選択してください。";
constexpr const char* kNoFolder = "保存フォルダを指定してください。";
constexpr const char* kNoInterpolation = "補間法を指定してください。";
constexpr const char* kNoAnchor = "配置の基準を選択してください。";
constexpr const char* kNoExtension = "拡張子の変更に失敗しました.";
constexpr const char* kDone = "完了";

// Why a file-system call failed, for the messages about the output folder.
std::string FailureReason(int error) {
    switch (error) {
        case EACCES:
        case EPERM:
            return "アクセスが拒否されました";
        case EROFS:
            return "読み出し専用のファイルシステムです";
        case ENOSPC:
        case EDQUOT:
            return "ディスクの空き容量が足りません";
        case ENOTDIR:
        case EEXIST:
            return "パスの途中にフォルダでないものがあります";
        case ENAMETOOLONG:
            return "パスが長すぎます";
        default:
            return std::strerror(error);
    }
}

std::string FolderMessage(const char* text, const std::string& shown, int error) {
    return std::string(text) + "\n" + shown + "\n(" + FailureReason(error) + ")";
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

PixelSize TargetOf(const BatchRequest& request, const FileEntry& entry) {
    return {request.applyWidth ? request.targetWidth : static_cast<int>(entry.width),
            request.applyHeight ? request.targetHeight : static_cast<int>(entry.height)};
}

}  // namespace

int InterpolationFlag(int choice) {
    static constexpr int kFlags[] = {cv::INTER_NEAREST, cv::INTER_AREA, cv::INTER_LINEAR,
                                     cv::INTER_CUBIC, cv::INTER_LANCZOS4};
    return choice >= 0 && choice < 5 ? kFlags[choice] : -1;
}

std::string ShownFolder(const std::string& folder) {
    return folder.size() > 1 && folder.back() == '/' ? folder.substr(0, folder.size() - 1) : folder;
}

std::string FolderCreationQuestion(const std::string& shownFolder) {
    return "保存フォルダが存在しません。\n" + shownFolder + "\nこのフォルダを作成しますか？";
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

PreparedImage PrepareOutput(const BatchRequest& request, const FileEntry& entry) {
    try {
        cv::Mat source;
        DecodeNotes notes;
        if (!DecodeImage(entry.path, source, &notes)) {
            return {ConvertResult::ReadFailed, {}, notes.lackedMemory, false};
        }
        const PixelSize target = TargetOf(request, entry);
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

ConvertResult WriteOutput(const BatchRequest& request, const cv::Mat& image,
                          const std::string& outputPath, uint32_t dpi) {
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
    if (EncodeImage(*temporary, image, JpegQualityParams(request.jpegQuality)) !=
        ConvertResult::Ok) {
        ::unlink(temporary->c_str());
        return ConvertResult::WriteFailed;
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
    if (!OutputFolderReady(request.outputFolder, ui)) {
        return BatchEnd::NotStarted;
    }

    running = true;
    host.UpdateControlStates(false);
    host.SetProgressRange(static_cast<int>(list.size()));
    host.SetProgressPosition(0);
    bool ask = true;
    const SingleThreadedOpenCv singleThreaded;
    // The image in hand and the work ahead share what memory is free now, less a margin for
    // the encoder and the rest of the program.
    const uint64_t headroom = MemoryHeadroom();
    WorkAhead ahead(list, request, headroom - headroom / 8);
    // Work ahead is worth it unless an image waits for an overwrite question.
    const auto startAhead = [&](size_t from) {
        for (size_t index = from; index < list.size() && index < from + WorkAhead::kDepth;
             ++index) {
            const std::optional<std::string> name =
                OutputFileName(list[index].path, request.saveFormat);
            if (!name || (ask && IsExistingNonDirectory(request.outputFolder + *name))) {
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
            const PreparedImage prepared = ahead.Take(i);
            startAhead(i + 1);
            const uint32_t dpi = request.applyDpi ? request.targetDpi : entry.dpi;
            const ConvertResult result = prepared.result == ConvertResult::Ok
                                             ? WriteOutput(request, prepared.image, outputPath, dpi)
                                             : prepared.result;
            if (result != ConvertResult::Ok) {
                ui.ShowMessage(ConvertMessage(result));
                end = BatchEnd::Failed;
                break;
            }
            if (prepared.damaged) {
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
