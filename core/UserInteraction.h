// The one seam for every modal interaction: the window implements it with Qt dialogs, the
// command line with the terminal, and the tests with a recorder that gives scripted answers.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "Message.h"

namespace korvale {

enum class MessageIcon { None, Information };

// Values are the identifiers of the buttons of the overwrite question.
enum class OverwriteChoice : int {
    Cancel = 2,
    OverwriteAll = 5,
    Overwrite = 6,
    Skip = 7,
    SkipAll = 8
};

// What a finished run did, for the message that says so.
struct RunSummary {
    int converted = 0;
    int skipped = 0;
    std::string outputFolder;
};

// The counts of a run as the window and the desktop show them.
inline Message RunCountsText(const RunSummary& summary) {
    return Message(MessageId::RunCounts, {Number(summary.converted), Number(summary.skipped)});
}

struct Rgb {
    int red = 0;
    int green = 0;
    int blue = 0;
};

class UserInteraction {
public:
    virtual ~UserInteraction() = default;

    // A modal message with an OK button only.
    virtual void ShowMessage(const Message& text, MessageIcon icon = MessageIcon::None) = 0;
    // The same message with a detail below it (the file concerned and the system's reason);
    // an empty detail shows the message alone.
    virtual void ShowDetailedMessage(const Message& text, const Message& detail,
                                     MessageIcon icon = MessageIcon::None) {
        (void)detail;
        ShowMessage(text, icon);
    }

    // Nesting pair: the normal cursor returns when the outermost use ends.
    virtual void BeginWaitCursor() = 0;
    virtual void EndWaitCursor() = 0;

    // Asked when an output file exists; `path` is the full output path (with a link's target).
    virtual OverwriteChoice AskOverwrite(const Message& path) = 0;

    // Asked before a run when the output folder does not exist; true to create it.
    virtual bool AskCreateFolder(const std::string& folder) = 0;

    // After a run: the sources, in list order, whose data was damaged (a JPEG cut short) and
    // that were converted with what the decoder made up for the missing part.
    virtual void ReportDamagedSources(const std::vector<std::string>& paths) = 0;

    // Services the user interface between two images of a batch run.
    virtual void PumpEvents() = 0;

    // The end of a completed run: true when the user asked to open the output folder. The
    // default shows the bare message; a window adds the counts and the offer.
    virtual bool ShowRunCompleted(const Message& text, const RunSummary& summary) {
        (void)summary;
        ShowMessage(text, MessageIcon::Information);
        return false;
    }
    // Opens `folder` in the desktop's file manager.
    virtual void OpenFolder(const std::string& folder) { (void)folder; }
    // Said when a started run ends, however it ended, after `seconds`; a window tells the
    // desktop when the run was long and the user is elsewhere.
    virtual void NotifyRunEnded(const Message& text, double seconds) {
        (void)text;
        (void)seconds;
    }

    // Called now and then while folders are walked for image files, with the number found so
    // far; false when the user stopped the walk. EndFolderWalk follows every walk.
    virtual bool FolderWalkProgress(size_t found) {
        (void)found;
        return true;
    }
    virtual void EndFolderWalk() {}

    // Pickers; std::nullopt when the user cancels.
    virtual std::optional<std::vector<std::string>> ChooseImageFiles() = 0;
    virtual std::optional<Rgb> ChooseColour(const Rgb& initial) = 0;
    virtual std::optional<std::string> ChooseFolder(const std::string& startFolder,
                                                    const std::string& title) = 0;
};

// Holds the wait cursor for one scope, on every path out of it.
class WaitCursor {
public:
    explicit WaitCursor(UserInteraction& ui) : ui_(ui) { ui_.BeginWaitCursor(); }
    ~WaitCursor() { ui_.EndWaitCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;

private:
    UserInteraction& ui_;
};

}  // namespace korvale
