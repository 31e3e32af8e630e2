// What the window and the command line see of a run, without any image library: how it ended,
// the host it reports to, and its texts.
#pragma once

#include <string>

namespace korvale {

// InterpolationChoice index (0 "Nearest neighbor" ... 4 "Lanczos4") to its OpenCV flag; -1 for
// an index outside 0 to 4.
int InterpolationFlag(int choice);

enum class BatchEnd { NotStarted, Completed, Stopped, Cancelled, Failed };

// The window's side of a run.
class BatchHost {
public:
    virtual ~BatchHost() = default;
    virtual void UpdateControlStates(bool interactive) = 0;
    virtual void SetStatusText(const std::string& text) = 0;
    virtual void SetProgressRange(int maximum) = 0;
    virtual void SetProgressPosition(int position) = 0;
};

enum class ConvertResult { Ok, ReadFailed, BadAnchor, WriteFailed };

// The message of a failed conversion ("" for Ok).
const char* ConvertMessage(ConvertResult result);

// The output folder as messages show it: without the separator the run appended.
std::string ShownFolder(const std::string& folder);

// The question asked before a run when the output folder does not exist.
std::string FolderCreationQuestion(const std::string& shownFolder);

}  // namespace korvale
