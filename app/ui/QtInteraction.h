// The interaction seam on Qt: message boxes, the wait cursor, the overwrite dialog, event
// pumping and the file, colour and folder pickers.
#pragma once

#include <QElapsedTimer>
#include <QStringList>
#include <memory>

#include "DesktopNotifier.h"
#include "UserInteraction.h"

class QProgressDialog;
class QWidget;

namespace korvale {

class QtInteraction : public UserInteraction {
public:
    // `notifier`: null for the desktop's notification service.
    explicit QtInteraction(QWidget* owner, std::unique_ptr<DesktopNotifier> notifier = nullptr);
    ~QtInteraction() override;

    void ShowMessage(const Message& text, MessageIcon icon) override;
    void ShowDetailedMessage(const Message& text, const Message& detail, MessageIcon icon) override;
    void BeginWaitCursor() override;
    void EndWaitCursor() override;
    OverwriteChoice AskOverwrite(const Message& path) override;
    bool AskCreateFolder(const std::string& folder) override;
    void ReportDamagedSources(const std::vector<std::string>& paths) override;
    void PumpEvents() override;
    std::optional<std::vector<std::string>> ChooseImageFiles() override;
    std::optional<Rgb> ChooseColour(const Rgb& initial) override;
    std::optional<std::string> ChooseFolder(const std::string& startFolder,
                                            const std::string& title) override;
    bool ShowRunCompleted(const Message& text, const RunSummary& summary) override;
    void OpenFolder(const std::string& folder) override;
    void NotifyRunEnded(const Message& text, double seconds) override;
    bool FolderWalkProgress(size_t found) override;
    void EndFolderWalk() override;

    // Runs longer than this that end while the window is not active are told to the desktop.
    static constexpr double kNotifyAfterSeconds = 10.0;

private:
    QWidget* owner_;
    std::unique_ptr<DesktopNotifier> notifier_;
    std::unique_ptr<QProgressDialog> walkProgress_;  // shown while a long folder walk lasts
    QElapsedTimer walkClock_;
};

// The Add dialog's filters: "Image Files (*.bmp;*.jpg;*.png;*.tif)" matching the extensions the
// format table offers (.bmp, .jpg, .jpeg, .png, .tif and .tiff) in any letter case, and
// "All Files (*.*)" matching every name.
QStringList ImageFileFilters();

}  // namespace korvale
