// korvale-cli run: registers the files as the window does, then runs the same batch engine.
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>

#include "AtomicFile.h"
#include "BatchOptions.h"
#include "BatchRun.h"
#include "Commands.h"
#include "FileListHost.h"
#include "FolderArguments.h"
#include "FolderFiles.h"
#include "OptionStore.h"
#include "PresetLocation.h"
#include "PresetStore.h"
#include "RegisterFiles.h"
#include "RunOptions.h"
#include "TerminalInteraction.h"
#include "Text.h"
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

    void ShowMessage(const std::string& text, MessageIcon icon) override {
        if (quiet_ && icon == MessageIcon::Information) {
            return;
        }
        TerminalInteraction::ShowMessage(text, icon);
    }
    void ShowDetailedMessage(const std::string& text, const std::string& detail,
                             MessageIcon icon) override {
        if (text == kFailedFilesMessage) {
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
    void SetProgressRange(int maximum) override { range_ = maximum; }
    void SetProgressPosition(int position) override { position_ = position; }
    // One line per file on standard error, so that the list can be fed to another run.
    void ShowFailedFiles(const std::vector<FailedFile>& failed) override {
        if (shown_) {
            std::fputs("\n", stderr);
            shown_ = false;
        }
        for (const FailedFile& file : failed) {
            std::fprintf(stderr, "%s\n", FailedFileLine(file).c_str());
        }
        failed_ = !failed.empty();
    }
    bool failed() const { return failed_; }

private:
    bool show_;
    bool shown_ = false;
    bool failed_ = false;
    int range_ = 0;
    int position_ = 0;
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

}  // namespace

int RunBatchCommand(const Arguments& args) {
    RunFlags flags;
    if (const std::string error = ParseRunArguments(args, flags); !error.empty()) {
        return UsageError(error);
    }
    if (flags.files.empty()) {
        return UsageError("run needs at least one FILE");
    }
    // Nothing is replaced unasked: without a terminal to ask on, an existing output cancels.
    const OverwriteMode overwrite = flags.overwrite.value_or(
        ::isatty(STDIN_FILENO) ? OverwriteMode::Ask : OverwriteMode::Cancel);
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
