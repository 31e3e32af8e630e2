// The interaction seam on Qt: message boxes, the wait cursor, the overwrite dialog, event
// pumping and the file, colour and folder pickers.
#pragma once

#include <QStringList>

#include "UserInteraction.h"

class QWidget;

namespace korvale {

class QtInteraction : public UserInteraction {
public:
    explicit QtInteraction(QWidget* owner) : owner_(owner) {}

    void ShowMessage(const std::string& text, MessageIcon icon) override;
    void ShowDetailedMessage(const std::string& text, const std::string& detail,
                             MessageIcon icon) override;
    void BeginWaitCursor() override;
    void EndWaitCursor() override;
    OverwriteChoice AskOverwrite(const std::string& path) override;
    bool AskCreateFolder(const std::string& folder) override;
    void ReportDamagedSources(const std::vector<std::string>& paths) override;
    void PumpEvents() override;
    std::optional<std::vector<std::string>> ChooseImageFiles() override;
    std::optional<Rgb> ChooseColour(const Rgb& initial) override;
    std::optional<std::string> ChooseFolder(const std::string& startFolder,
                                            const std::string& title) override;

private:
    QWidget* owner_;
};

// The Add dialog's filters: "Image Files (*.bmp;*.jpg;*.png;*.tif)" matching the extensions the
// format table offers (.bmp, .jpg, .jpeg, .png, .tif and .tiff) in any letter case, and
// "All Files (*.*)" matching every name.
QStringList ImageFileFilters();

}  // namespace korvale
