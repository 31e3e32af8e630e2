// What the window and the command line see of a run, without any image library: how it ended,
// the host it reports to, and its texts.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "Message.h"

namespace korvale {

// InterpolationChoice index (0 "Nearest neighbor" ... 4 "Lanczos4") to its OpenCV flag; -1 for
// an index outside 0 to 4.
int InterpolationFlag(int choice);

enum class BatchEnd { NotStarted, Completed, Stopped, Cancelled, Failed };

// A file that a run going on after errors skipped, and why.
struct FailedFile {
    size_t index = 0;  // in the list
    std::string path;  // the listed source
    Message reason;    // one line: what failed and the system's reason
};

struct OutputJob;

// How one listed file's turn ended.
enum class FileStatus { Written, Skipped, Failed };

// The window's side of a run.
class BatchHost {
public:
    virtual ~BatchHost() = default;
    virtual void UpdateControlStates(bool interactive) = 0;
    virtual void SetStatusText(const std::string& text) = 0;
    virtual void SetProgressRange(int maximum) = 0;
    virtual void SetProgressPosition(int position) = 0;
    // At the end of a run that went on after errors, before its closing message: the files it
    // skipped, in list order (the window selects their rows).
    virtual void ShowFailedFiles(const std::vector<FailedFile>& failed) { (void)failed; }
    // As each file's turn ends: `reason` (one line) for a failure.
    virtual void FileEnded(const OutputJob& job, FileStatus status, const Message& reason) {
        (void)job;
        (void)status;
        (void)reason;
    }
};

// The closing message of a run that skipped files, and its detail: one line per file (twenty at
// most, then how many more).
extern const Message kFailedFilesMessage;
Message FailedFilesDetail(const std::vector<FailedFile>& failed);
// One line of that detail.
Message FailedFileLine(const FailedFile& failed);

enum class ConvertResult { Ok, ReadFailed, BadAnchor, WriteFailed };

// The message of a failed conversion (empty for Ok).
Message ConvertResultMessage(ConvertResult result);

// The output folder as messages show it: without the separator the run appended.
std::string ShownFolder(const std::string& folder);

// The question asked before a run when the output folder does not exist.
Message FolderCreationQuestion(const std::string& shownFolder);

}  // namespace korvale
