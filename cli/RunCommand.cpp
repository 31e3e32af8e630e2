// korvale-cli run: registers the files as the window does, then runs the same batch engine.
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>

#include "AtomicFile.h"
#include "BatchClashes.h"
#include "BatchOptions.h"
#include "BatchRun.h"
#include "Commands.h"
#include "FileListHost.h"
#include "FolderArguments.h"
#include "FolderFiles.h"
#include "ImageHeader.h"
#include "JsonText.h"
#include "ListNaming.h"
#include "OptionStore.h"
#include "PathList.h"
#include "PresetLocation.h"
#include "PresetStore.h"
#include "RegisterFiles.h"
#include "RunOptions.h"
#include "TerminalInteraction.h"
#include "Text.h"
#include "Words.h"
#include "WorkAhead.h"

namespace korvale::cli {
namespace {

volatile sig_atomic_t interrupted = 0;

void OnInterrupt(int signal) {
    if (interrupted) {
        // A second signal ends the process at once, leaving no temporary file behind.
        RemoveTemporaryInHand();
        struct sigaction fallback;
        std::memset(&fallback, 0, sizeof fallback);
        fallback.sa_handler = SIG_DFL;
        sigemptyset(&fallback.sa_mask);
        sigaction(signal, &fallback, nullptr);
        raise(signal);  // delivered when this handler returns
        return;
    }
    interrupted = 1;
}

// Ctrl-C, SIGTERM and SIGHUP act as the stop button: the image in hand is finished, then the
// run ends.
void CatchInterrupt() {
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        sigaddset(&action.sa_mask, signal);
    }
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        sigaction(signal, &action, nullptr);
    }
}

class RunInteraction : public TerminalInteraction {
public:
    RunInteraction(OverwriteMode mode, bool quiet, bool& running)
        : TerminalInteraction(mode), quiet_(quiet), running_(running) {}

    void ShowMessage(const Message& text, MessageIcon icon) override {
        if (quiet_ && icon == MessageIcon::Information) {
            return;
        }
        TerminalInteraction::ShowMessage(text, icon);
    }
    void ShowDetailedMessage(const Message& text, const Message& detail,
                             MessageIcon icon) override {
        if (Words(text) == Words(kFailedFilesMessage)) {
            // The host has printed every failed file, not only the first twenty.
            TerminalInteraction::ShowMessage(text, icon);
            return;
        }
        TerminalInteraction::ShowDetailedMessage(text, detail, icon);
    }
    void PumpEvents() override {
        if (interrupted) {
            running_ = false;
        }
    }

private:
    bool quiet_;
    bool& running_;
};

// Progress on standard error: file n of N, its name and the time since the run started.
class ProgressHost : public BatchHost, public FileListHost {
public:
    explicit ProgressHost(bool show) : show_(show) {}

    void RefreshFileList() override {}
    void UpdateControlStates(bool interactive) override {
        if (!interactive) {
            start_ = std::chrono::steady_clock::now();
        } else if (shown_) {
            std::fputs("\n", stderr);
            shown_ = false;
        }
    }
    void SetStatusText(const std::string& text) override {
        if (!show_ || text.empty()) {
            return;
        }
        const double elapsed =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
        std::fprintf(stderr, "\r\033[K[%d/%d] %s  %.1f s", position_ + 1, range_, text.c_str(),
                     elapsed);
        std::fflush(stderr);
        shown_ = true;
    }
    void SetProgressRange(int maximum) override {
        if (!streamed_) {
            range_ = maximum;
        }
    }
    void SetProgressPosition(int position) override { position_ = offset_ + position; }
    // A list run in parts: positions count from the part's first file, among `total`.
    void StreamOver(int total) {
        streamed_ = true;
        range_ = total;
    }
    void StartPart(int offset) { offset_ = offset; }
    // One line per file on standard error, so that the list can be fed to another run.
    void ShowFailedFiles(const std::vector<FailedFile>& failed) override {
        if (shown_) {
            std::fputs("\n", stderr);
            shown_ = false;
        }
        for (const FailedFile& file : failed) {
            std::fprintf(stderr, "%s\n", Words(FailedFileLine(file)).c_str());
        }
        failed_ = !failed.empty();
    }
    bool failed() const { return failed_; }

protected:
    bool show_;
    bool shown_ = false;
    bool failed_ = false;
    int range_ = 0;
    int position_ = 0;
    int offset_ = 0;
    bool streamed_ = false;
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

// Every file accounted for as its turn ends: a JSON line on standard output with --json, its
// path in the failed list with --failed-list.
class ReportingHost : public ProgressHost {
public:
    ReportingHost(bool show, bool json, AtomicFile* failedList, char separator)
        : ProgressHost(show), json_(json), failedList_(failedList), separator_(separator) {}

    void FileEnded(const OutputJob& job, FileStatus status, const Message& reason) override {
        FlushRefused(job.index);
        const bool dpiOnly = job.dpiOnly();
        Report(job.source.path, status, Words(reason), job.outputPath,
               dpiOnly ? static_cast<int>(job.source.width) : job.target.width,
               dpiOnly ? static_cast<int>(job.source.height) : job.target.height, job.dpi);
    }
    // A listed path that could not be listed (a missing file, an unreadable header), said in
    // list order: before the part's file `before` (its position among the part's listed files).
    void Refused(const std::string& path, const Message& reason, size_t before) {
        refused_.push_back({before, path, reason});
    }
    // Says the refusals listed before the part's file `before`, all of them by default.
    void FlushRefused(size_t before = SIZE_MAX) {
        size_t said = 0;
        for (; said < refused_.size() && refused_[said].index <= before; ++said) {
            const FailedFile& file = refused_[said];
            if (shown_) {
                std::fputs("\n", stderr);
                shown_ = false;
            }
            std::fprintf(stderr, "%s\n", Words(FailedFileLine(file)).c_str());
            Report(file.path, FileStatus::Failed, Words(file.reason), {}, 0, 0, 0);
        }
        refused_.erase(refused_.begin(), refused_.begin() + static_cast<long>(said));
    }
    void Summary(BatchEnd end, double seconds) const {
        if (!json_) {
            return;
        }
        const char* ended = end == BatchEnd::Completed   ? "completed"
                            : end == BatchEnd::Stopped   ? "stopped"
                            : end == BatchEnd::Cancelled ? "cancelled"
                            : end == BatchEnd::Failed    ? "failed"
                                                         : "not-started";
        std::printf(
            "{\"summary\": true, \"end\": \"%s\", \"files\": %zu, \"written\": %zu, "
            "\"skipped\": %zu, \"failed\": %zu, \"seconds\": %.3f}\n",
            ended, written_ + skipped_ + failed_, written_, skipped_, failed_, seconds);
        std::fflush(stdout);
    }
    size_t written() const { return written_; }
    size_t skipped() const { return skipped_; }
    size_t failedCount() const { return failed_; }
    bool listWriteFailed() const { return listWriteFailed_; }

private:
    void Report(const std::string& path, FileStatus status, const std::string& reason,
                const std::string& output, int width, int height, uint32_t dpi) {
        const auto now = std::chrono::steady_clock::now();
        const double ms = std::chrono::duration<double, std::milli>(now - last_).count();
        last_ = now;
        ++(status == FileStatus::Written   ? written_
           : status == FileStatus::Skipped ? skipped_
                                           : failed_);
        if (status == FileStatus::Failed && failedList_ != nullptr) {
            const std::string line = path + separator_;
            listWriteFailed_ = listWriteFailed_ || !failedList_->Write(line.data(), line.size());
        }
        if (!json_) {
            return;
        }
        const char* word = status == FileStatus::Written   ? "written"
                           : status == FileStatus::Skipped ? "skipped"
                                                           : "failed";
        const bool failed = status == FileStatus::Failed;
        std::string line = "{" + JsonPathFields("source", path) + ", ";
        line += output.empty() ? std::string("\"output\": null") : JsonPathFields("output", output);
        line += FormatText(", \"status\": \"%s\", \"reason\": ", word);
        line += failed ? JsonString(reason) : std::string("null");
        line +=
            failed ? std::string(", \"width\": null, \"height\": null, \"dpi\": null")
                   : FormatText(", \"width\": %d, \"height\": %d, \"dpi\": %u", width, height, dpi);
        line += FormatText(", \"ms\": %.1f}\n", ms);
        // A line at a time, so that a reader sees each file as it ends, even after a kill.
        std::fputs(line.c_str(), stdout);
        std::fflush(stdout);
    }

    bool json_;
    std::vector<FailedFile> refused_;  // index: the part's listed files before it
    AtomicFile* failedList_;
    char separator_;
    bool listWriteFailed_ = false;
    size_t written_ = 0, skipped_ = 0, failed_ = 0;
    std::chrono::steady_clock::time_point last_ = std::chrono::steady_clock::now();
};

// Files are probed and run a part at a time, so that only one part is held.
constexpr size_t kPartSize = 4096;

// A run over the files of a list, in their order, or over the FILE arguments with the options
// for programs that drive runs (RunFlags::Streamed).
int RunStreamed(const RunFlags& flags, OverwriteMode overwrite) {
    const auto started = std::chrono::steady_clock::now();
    const bool newer = overwrite == OverwriteMode::Newer;
    AtomicFile failedList;
    if (flags.failedList && !failedList.Open(*flags.failedList)) {
        return UsageError("--failed-list: '" + EscapedName(*flags.failedList) +
                          "': " + Words(ReasonOf(failedList.error().code)));
    }
    PathList list;
    Arguments arguments;
    if (!flags.list.filesFrom.empty()) {
        if (const std::string error = list.Open(flags.list.filesFrom, flags.list.nul);
            !error.empty()) {
            return UsageError(error);
        }
    } else {
        arguments = flags.recursive ? WalkFolders(flags.files, SIZE_MAX) : flags.files;
    }
    std::string listError;
    const ListNaming::ListReader read =
        PathReader(list, !flags.list.filesFrom.empty(), arguments, listError);

    bool running = false;
    RunInteraction ui(overwrite, flags.quiet, running);
    ui.setCreateFolders(flags.makeFolder);
    BatchOptions options;
    if (const std::optional<int> status = ResolveRunOptions(flags, ui, options)) {
        return *status;
    }
    BatchRequest request = MakeBatchRequest(options);
    request.keepNewer = newer;
    const ListNaming naming(request, read);
    if (!listError.empty()) {
        return UsageError(listError);  // read before anything was done
    }
    const char separator = flags.list.nul ? '\0' : '\n';
    ReportingHost host(!flags.quiet && ::isatty(STDERR_FILENO), flags.json,
                       flags.failedList ? &failedList : nullptr, separator);
    const auto seconds = [&] {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    };
    if (!naming.clashes().empty()) {
        // The refusal names the first clashes' files, read again from the list.
        const std::vector<BatchClash>& all = naming.clashes();
        std::map<size_t, size_t> shown;  // list position -> row of the detail's list
        for (size_t c = 0; c < all.size() && c < 10; ++c) {
            shown.emplace(all[c].job, 0);
            shown.emplace(all[c].other, 0);
        }
        FileList involved;
        std::vector<std::string> outputs;
        read([&](size_t index, const std::string& path) {
            const auto found = shown.find(index);
            if (found != shown.end()) {
                found->second = involved.size();
                involved.Append(FileEntry{path});
                outputs.push_back(naming.JobOf(FileEntry{path}, index).outputPath);
            }
        });
        std::vector<BatchClash> clashes = all;
        for (size_t c = 0; c < clashes.size() && c < 10; ++c) {
            clashes[c].job = shown[clashes[c].job];
            clashes[c].other = shown[clashes[c].other];
        }
        ui.ShowDetailedMessage(Message(MessageId::OutputsClash),
                               ClashDetail(clashes, involved, outputs), MessageIcon::None);
        host.Summary(BatchEnd::NotStarted, seconds());
        return kExitFailed;
    }
    size_t total = 0;
    read([&](size_t index, const std::string& path) {
        total += !naming.Repeated(index) && flags.list.shard.Keeps(path) ? 1 : 0;
    });
    host.StreamOver(static_cast<int>(std::min<size_t>(total, INT_MAX)));
    CatchInterrupt();

    BatchEnd end = BatchEnd::Completed;
    size_t done = 0;
    bool first = true;
    std::vector<std::pair<size_t, std::string>> part;
    const auto runPart = [&] {
        FileList files;
        RunPart jobs;
        jobs.first = first;
        for (const auto& [index, path] : part) {
            if (const auto info = ProbeImageHeader(path)) {
                files.Append({path, info->width, info->height, info->dpi});
                jobs.jobs.push_back(naming.JobOf(files[files.size() - 1], index));
                jobs.jobs.back().index = files.size() - 1;
            } else {
                host.Refused(path, UnreadableReason(path).value_or(ReasonOf(ENOENT)), files.size());
            }
        }
        host.StartPart(static_cast<int>(done));
        done += part.size();
        part.clear();
        if (!files.empty()) {
            first = false;
            end = RunBatchPart(files, jobs, request, running, host, ui);
            WaitForWorkAhead();
        }
        host.FlushRefused();
        if (end == BatchEnd::Completed && interrupted) {
            end = BatchEnd::Stopped;
        }
    };
    read([&](size_t index, const std::string& path) {
        if (end != BatchEnd::Completed || naming.Repeated(index) || !flags.list.shard.Keeps(path)) {
            return;
        }
        part.emplace_back(index, path);
        if (part.size() == kPartSize) {
            runPart();
        }
    });
    if (end == BatchEnd::Completed && !part.empty()) {
        runPart();
    }
    host.SetStatusText("");
    if (flags.failedList && (host.listWriteFailed() || !failedList.Commit())) {
        std::fprintf(stderr, "korvale-cli: --failed-list: '%s': %s\n",
                     EscapedName(*flags.failedList).c_str(),
                     Words(ReasonOf(failedList.error().code)).c_str());
    }
    host.Summary(end, seconds());
    const RunSummary counts{static_cast<int>(host.written()), static_cast<int>(host.skipped()),
                            request.outputFolder};
    switch (end) {
        case BatchEnd::Completed:
            if (host.failedCount() > 0) {
                ui.ShowMessage(kFailedFilesMessage, MessageIcon::None);
                return kExitFailed;
            }
            ui.ShowMessage(Message(MessageId::Done), MessageIcon::Information);
            return kExitOk;
        case BatchEnd::Stopped:
            std::fprintf(stderr, "%s\n",
                         Words(Message(MessageId::RunStopped, {RunCountsText(counts)})).c_str());
            return kExitStopped;
        case BatchEnd::Cancelled:
            std::fprintf(stderr, "%s\n",
                         Words(Message(MessageId::RunCancelled, {RunCountsText(counts)})).c_str());
            return kExitStopped;
        case BatchEnd::NotStarted:
        case BatchEnd::Failed:
            break;
    }
    return kExitFailed;
}

}  // namespace

int RunBatchCommand(const Arguments& args) {
    RunFlags flags;
    if (const std::string error = ParseRunArguments(args, flags); !error.empty()) {
        return UsageError(error);
    }
    if (flags.files.empty() && flags.list.filesFrom.empty()) {
        return UsageError(CliText(QT_TRANSLATE_NOOP("korvale-cli", "run needs at least one FILE")));
    }
    // Nothing is replaced unasked: without a terminal to ask on, an existing output cancels.
    // A list read from standard input leaves no terminal to ask on either.
    const bool canAsk = ::isatty(STDIN_FILENO) && flags.list.filesFrom != "-";
    const OverwriteMode overwrite =
        flags.overwrite.value_or(canAsk ? OverwriteMode::Ask : OverwriteMode::Cancel);
    if (flags.Streamed()) {
        return RunStreamed(flags, overwrite);
    }
    bool running = false;
    RunInteraction ui(overwrite, flags.quiet, running);
    ui.setCreateFolders(flags.makeFolder);

    BatchOptions options;
    if (const std::optional<int> status = ResolveRunOptions(flags, ui, options)) {
        return *status;
    }

    ProgressHost host(!flags.quiet && ::isatty(STDERR_FILENO));
    FileList list;
    const RegisterOutcome registered = RegisterFiles(
        list, flags.recursive ? WalkFolders(flags.files, FileList::kMaxEntries) : flags.files, ui,
        host);
    if (flags.recursive) {
        NoteFolders(list, flags.files);
    }
    BatchRequest request = MakeBatchRequest(options);
    request.keepNewer = overwrite == OverwriteMode::Newer;
    CatchInterrupt();
    const BatchEnd end = RunBatch(list, request, running, host, ui);
    WaitForWorkAhead();  // dropped work ends before the libraries are torn down
    switch (end) {
        case BatchEnd::Completed:
            // Files that could not be listed were not converted: not a success.
            return registered.refused || registered.unreadable > 0 || host.failed() ? kExitFailed
                                                                                    : kExitOk;
        case BatchEnd::Stopped:
        case BatchEnd::Cancelled:
            return kExitStopped;
        case BatchEnd::NotStarted:
        case BatchEnd::Failed:
            break;
    }
    return kExitFailed;
}

}  // namespace korvale::cli
