// The batch run.
#include "BatchRun.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#include <set>

#include "BatchClashes.h"
#include "LinkWalk.h"
#include "OutputJob.h"
#include "OutputWriter.h"
#include "Text.h"
#include "WorkAhead.h"

namespace korvale {
namespace {

Message FolderMessage(MessageId text, const std::string& shown, int error) {
    // A file where a folder was to be made is a file along the path; the reason is said in
    // brackets below the folder, without its full stop.
    const Message reason = ReasonOf(error == EEXIST ? ENOTDIR : error).WithoutFullStop();
    return Message(text) + "\n" + shown + "\n(" + reason + ")";
}

// The last start check: the output folder exists (or is created when the user agrees) and
// can be written into. Reports and returns false otherwise.
bool OutputFolderReady(const std::string& folder, UserInteraction& ui) {
    const std::string shown = ShownFolder(folder);
    struct stat info;
    if (::stat(shown.c_str(), &info) != 0) {
        if (errno != ENOENT) {
            ui.ShowMessage(FolderMessage(MessageId::CannotOpenOutputFolder, shown, errno));
            return false;
        }
        if (!ui.AskCreateFolder(shown)) {
            return false;
        }
        std::error_code error;
        std::filesystem::create_directories(shown, error);
        if (error) {
            ui.ShowMessage(
                FolderMessage(MessageId::CannotCreateOutputFolder, shown, error.value()));
            return false;
        }
    } else if (!S_ISDIR(info.st_mode)) {
        ui.ShowMessage(Message(MessageId::OutputFolderNotAFolder) + "\n" + shown);
        return false;
    }
    if (::access(shown.c_str(), W_OK | X_OK) != 0) {
        ui.ShowMessage(FolderMessage(MessageId::CannotWriteOutputFolder, shown, errno));
        return false;
    }
    return true;
}

// Something at the output's name that the overwrite question is about. A look that fails
// counts as something there, which cannot be replaced.
bool IsExistingNonDirectory(const ExistingEntry& entry) {
    return entry.kind == ExistingEntry::Kind::File || entry.kind == ExistingEntry::Kind::Unknown;
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
FileError FailureOf(ConvertResult result, const std::string& sourcePath,
                    const std::string& outputPath, FileError failure, bool lackedMemory) {
    switch (result) {
        case ConvertResult::ReadFailed:
            if (lackedMemory) {
                return {ENOMEM, sourcePath, {}};
            }
            if (::access(sourcePath.c_str(), R_OK) != 0) {
                return {errno, sourcePath, {}};
            }
            return {0, sourcePath, Message(MessageId::NotReadableAsImage)};
        case ConvertResult::WriteFailed:
            if (failure.path.empty()) {
                // Failed before anything was written: the image could not be made.
                failure = {0, outputPath, Message(MessageId::CouldNotCreateImage)};
            }
            return failure;
        case ConvertResult::BadAnchor:
        case ConvertResult::Ok:
            break;
    }
    return {};
}

// What the desktop is told when a run ends while the user is elsewhere.
Message RunEndNotice(BatchEnd end, const RunSummary& summary) {
    switch (end) {
        case BatchEnd::Completed:
            return Message(MessageId::RunCompleted, {RunCountsText(summary)});
        case BatchEnd::Stopped:
            return Message(MessageId::RunStopped, {RunCountsText(summary)});
        case BatchEnd::Cancelled:
            return Message(MessageId::RunCancelled, {RunCountsText(summary)});
        case BatchEnd::Failed:
            return Message(MessageId::RunEndedByError, {RunCountsText(summary)});
        case BatchEnd::NotStarted:
            break;
    }
    return {};
}

// Whether the output of `job` exists and was last changed no earlier than its source, so that a
// resumed run leaves it as it is.
bool OutputIsNewer(const OutputJob& job) {
    struct stat output, source;
    if (::stat(job.outputPath.c_str(), &output) != 0 || !S_ISREG(output.st_mode) ||
        ::stat(job.source.path.c_str(), &source) != 0) {
        return false;
    }
    return output.st_mtim.tv_sec != source.st_mtim.tv_sec
               ? output.st_mtim.tv_sec > source.st_mtim.tv_sec
               : output.st_mtim.tv_nsec >= source.st_mtim.tv_nsec;
}

BatchEnd RunJobs(const FileList& list, const RunPart* part, BatchRequest& request, bool& running,
                 BatchHost& host, UserInteraction& ui) {
    struct timespec runStart;
    ::clock_gettime(CLOCK_REALTIME, &runStart);
    if (list.empty()) {
        ui.ShowMessage(Message(MessageId::NoFilesSelected));
        return BatchEnd::NotStarted;
    }
    if (request.outputFolder.empty()) {
        ui.ShowMessage(Message(MessageId::NoOutputFolder));
        return BatchEnd::NotStarted;
    }
    if (request.outputFolder.back() != '/') {
        request.outputFolder += '/';  // kept even when a later check fails
    }
    if (InterpolationFlag(request.interpolation) < 0) {
        ui.ShowMessage(Message(MessageId::NoInterpolation));
        return BatchEnd::NotStarted;
    }
    if (request.anchor == -1) {
        ui.ShowMessage(Message(MessageId::NoAnchor));
        return BatchEnd::NotStarted;
    }
    if (!OutputFolderReady(request.outputFolder, ui)) {
        return BatchEnd::NotStarted;
    }
    const std::vector<OutputJob> jobs = part != nullptr ? part->jobs : OutputJobs(request, list);
    // Seen as a whole before the first image: no output may be another's, nor replace a
    // source still to be read. A part was seen with its whole list.
    if (part == nullptr) {
        const std::vector<std::string> outputs = OutputPaths(jobs);
        const OutputOverlaps overlaps = FindOverlaps(list, outputs);
        if (!overlaps.clashes.empty()) {
            ui.ShowDetailedMessage(Message(MessageId::OutputsClash),
                                   ClashDetail(overlaps.clashes, list, outputs));
            return BatchEnd::NotStarted;
        }
    }

    running = true;
    host.UpdateControlStates(false);
    host.SetProgressRange(static_cast<int>(list.size()));
    host.SetProgressPosition(0);
    bool ask = !request.keepNewer;
    bool skipAll = false;  // every later existing output is kept without a question
    RunSummary summary;
    summary.outputFolder = request.outputFolder;
    const auto started = std::chrono::steady_clock::now();
    if (part == nullptr || part->first) {
        RemoveStaleTemporaries(request.outputFolder, runStart);
    }
    // Outputs written through a link have their temporary files beside the link's target, so
    // killed runs left theirs there: each such folder is swept once, when first written to.
    std::set<std::string> swept = {request.outputFolder};
    const bool dpiOnly = request.method == BatchMethod::DpiOnly;
    // Subfolders of a kept tree are made as their first output is about to be written, so a
    // run refused or cancelled before its first image makes none.
    std::set<std::string> madeFolders;
    const auto makeSubfolder = [&](const OutputJob& job, FileError* error) {
        if (job.subfolder.empty() || madeFolders.count(job.subfolder) != 0) {
            return true;
        }
        FileError failure;
        if (!MakeSubfolders(request.outputFolder, job.subfolder, failure)) {
            if (error != nullptr) {
                *error = failure;
            }
            return false;
        }
        madeFolders.insert(job.subfolder);
        return true;
    };
    const SingleThreadedOpenCv singleThreaded;
    // The image in hand and the work ahead share what memory is free now, less a margin for
    // the encoder and the rest of the program.
    const uint64_t headroom = MemoryHeadroom();
    WorkAhead ahead(jobs, request, headroom - headroom / 8, /*writeAhead=*/true);
    // Work ahead is worth it unless an image waits for an overwrite question. Once every
    // existing output is kept, the images that will be skipped are passed over, not waited at.
    const auto startAhead = [&](size_t from) {
        if (dpiOnly) {
            return;  // nothing to decode
        }
        size_t started = 0;
        for (size_t index = from; index < jobs.size() && started < WorkAhead::kDepth &&
                                  index < from + 64 * WorkAhead::kDepth;
             ++index) {
            if (request.keepNewer && OutputIsNewer(jobs[index])) {
                continue;  // kept: nothing to prepare
            }
            if (jobs[index].outputName.empty()) {
                return;
            }
            if (ask && IsExistingNonDirectory(LookAtOutput(jobs[index].outputPath))) {
                if (skipAll) {
                    continue;
                }
                return;
            }
            if (!makeSubfolder(jobs[index], nullptr)) {
                return;
            }
            ahead.Start(index);
            ++started;
        }
    };
    startAhead(0);
    BatchEnd end = BatchEnd::Completed;
    std::vector<std::string> damaged;  // converted from damaged data, said after the run
    std::vector<FailedFile> failed;    // skipped when the run goes on after errors
    // Reports a file's failure: false when the run ends at it.
    const auto fail = [&](const OutputJob& job, const Message& message, const FileError& error) {
        // The detail on the same line, without the source's path that the detail starts with.
        const Message why = FailureReason(error);
        Message said = error.path != job.source.path ? Message(error.path) : Message();
        if (!said.empty() && !why.empty()) {
            said += Message(MessageId::DetailSeparator);
        }
        said += why;
        const Message reason =
            said.empty() ? message : Message(MessageId::ReasonWithDetail, {message, said});
        host.FileEnded(job, FileStatus::Failed, reason);
        if (!request.keepGoing) {
            ui.ShowDetailedMessage(message, FailureDetail(error));
            end = BatchEnd::Failed;
            return false;
        }
        failed.push_back({job.index, job.source.path, reason});
        return true;
    };
    for (size_t i = 0; i < jobs.size(); ++i) {
        const size_t failedBefore = failed.size();
        const OutputJob& job = jobs[i];
        const int n = static_cast<int>(i) + 1;
        FileError folderError;
        if (job.outputName.empty() || !makeSubfolder(job, &folderError)) {
            const bool goOn =
                job.outputName.empty()
                    ? fail(job, Message(MessageId::ExtensionChangeFailed),
                           {0, job.source.path, Message(MessageId::NoExtension)})
                    : fail(job, ConvertResultMessage(ConvertResult::WriteFailed), folderError);
            if (!goOn) {
                break;
            }
            host.SetProgressPosition(n);
            ui.PumpEvents();
            if (!running) {
                end = BatchEnd::Stopped;
                break;
            }
            continue;
        }
        host.SetStatusText(job.outputName);
        const std::string& outputPath = job.outputPath;
        bool skip = false;
        // Only an output whose replacement was agreed to may replace a file; any other takes
        // its name only while it is free.
        bool agreed = !ask;
        if (request.keepNewer && OutputIsNewer(job)) {
            skip = true;
            agreed = false;
        } else if (ask) {
            const ExistingEntry existing = LookAtOutput(outputPath);
            if (IsExistingNonDirectory(existing) && skipAll) {
                skip = true;
            } else if (IsExistingNonDirectory(existing)) {
                const OverwriteChoice choice =
                    ui.AskOverwrite(ShownForReplacement(outputPath, existing));
                if (choice == OverwriteChoice::Cancel) {
                    end = BatchEnd::Cancelled;
                    break;
                }
                if (choice == OverwriteChoice::OverwriteAll) {
                    ask = false;
                }
                skipAll = choice == OverwriteChoice::SkipAll;
                skip = choice == OverwriteChoice::Skip || skipAll;
                agreed = !skip;
            }
        }
        // A file that took the output's name while the output was made is asked about as any
        // existing one: true when it may be replaced now.
        bool cancelled = false;
        const auto replaceTaken = [&] {
            const OverwriteChoice choice =
                skipAll
                    ? OverwriteChoice::Skip
                    : ui.AskOverwrite(ShownForReplacement(outputPath, LookAtOutput(outputPath)));
            if (choice == OverwriteChoice::OverwriteAll) {
                ask = false;
            }
            skipAll = skipAll || choice == OverwriteChoice::SkipAll;
            cancelled = choice == OverwriteChoice::Cancel;
            skip = choice == OverwriteChoice::Skip || choice == OverwriteChoice::SkipAll;
            agreed = !cancelled && !skip;
            return agreed;
        };
        if (!skip) {
            const std::optional<std::string> linked = LinkTargetFolder(outputPath);
            if (linked && swept.insert(*linked).second) {
                RemoveStaleTemporaries(*linked, runStart);
            }
            TurnOutcome outcome;
            if (dpiOnly) {
                bool taken = false;
                outcome.result = CopyWithResolution(job, &outcome.failure, agreed, &taken);
                if (taken && replaceTaken()) {
                    outcome.result = CopyWithResolution(job, &outcome.failure);
                }
            } else {
                outcome = ahead.WriteInTurn(i, {agreed, [&] { startAhead(i + 1); }, replaceTaken});
            }
            if (cancelled) {
                end = BatchEnd::Cancelled;
                break;
            }
            if (outcome.result != ConvertResult::Ok) {
                // A misplaced anchor fails every image alike: the run ends there.
                if (outcome.result == ConvertResult::BadAnchor) {
                    host.FileEnded(job, FileStatus::Failed, ConvertResultMessage(outcome.result));
                    ui.ShowDetailedMessage(ConvertResultMessage(outcome.result), {});
                    end = BatchEnd::Failed;
                    break;
                }
                if (!fail(job, ConvertResultMessage(outcome.result),
                          FailureOf(outcome.result, job.source.path, outputPath, outcome.failure,
                                    outcome.lackedMemory))) {
                    break;
                }
            } else if (outcome.damaged && !skip) {
                damaged.push_back(job.source.path);
            }
        }
        // A file that failed while the run goes on is neither converted nor skipped.
        if (failed.size() == failedBefore) {
            ++(skip ? summary.skipped : summary.converted);
            host.FileEnded(job, skip ? FileStatus::Skipped : FileStatus::Written, {});
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
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - started;
    if (part != nullptr) {
        // The caller says how the whole list ended.
        if (!failed.empty()) {
            host.ShowFailedFiles(failed);
        }
    } else {
        ui.NotifyRunEnded(RunEndNotice(end, summary), took.count());
        if (!failed.empty()) {
            host.ShowFailedFiles(failed);
            ui.ShowDetailedMessage(kFailedFilesMessage, FailedFilesDetail(failed));
        } else if (end == BatchEnd::Completed &&
                   ui.ShowRunCompleted(Message(MessageId::Done), summary)) {
            ui.OpenFolder(summary.outputFolder);
        }
    }
    if (!damaged.empty()) {
        ui.ReportDamagedSources(damaged);
    }
    return end;
}

}  // namespace

BatchEnd RunBatch(const FileList& list, BatchRequest& request, bool& running, BatchHost& host,
                  UserInteraction& ui) {
    return RunJobs(list, nullptr, request, running, host, ui);
}

BatchEnd RunBatchPart(const FileList& list, const RunPart& part, BatchRequest& request,
                      bool& running, BatchHost& host, UserInteraction& ui) {
    return RunJobs(list, &part, request, running, host, ui);
}

}  // namespace korvale
