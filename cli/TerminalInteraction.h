// The interaction seam for korvale-cli: messages go to standard error, the overwrite question
// is answered by a fixed choice or asked on the terminal; there is no cursor to change and
// nothing to pick.
#pragma once

#include "UserInteraction.h"

namespace korvale::cli {

// Newer: outputs newer than their source are kept, older ones replaced (BatchRequest::keepNewer).
enum class OverwriteMode { Ask = 0, All = 1, Skip = 2, Cancel = 3, Newer = 4 };

class TerminalInteraction : public UserInteraction {
public:
    explicit TerminalInteraction(OverwriteMode overwrite = OverwriteMode::Cancel)
        : overwrite_(overwrite) {}

    void ShowMessage(const Message& text, MessageIcon icon) override;
    // The detail follows the message, each of its lines indented.
    void ShowDetailedMessage(const Message& text, const Message& detail, MessageIcon icon) override;
    void BeginWaitCursor() override {}
    void EndWaitCursor() override {}
    OverwriteChoice AskOverwrite(const Message& shownPath) override;
    // Creates a missing output folder only when `createFolders` is set; otherwise says so.
    bool AskCreateFolder(const std::string& folder) override;
    void setCreateFolders(bool create) { createFolders_ = create; }
    void ReportDamagedSources(const std::vector<std::string>& paths) override;
    void PumpEvents() override {}
    std::optional<std::vector<std::string>> ChooseImageFiles() override { return std::nullopt; }
    std::optional<Rgb> ChooseColour(const Rgb&) override { return std::nullopt; }
    std::optional<std::string> ChooseFolder(const std::string&, const std::string&) override {
        return std::nullopt;
    }

    int messageCount() const { return messageCount_; }

private:
    OverwriteMode overwrite_;
    bool createFolders_ = false;
    int messageCount_ = 0;
};

}  // namespace korvale::cli
