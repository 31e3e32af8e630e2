// The interaction seam for korvale-cli: messages go to standard error; there is no cursor to
// change and nothing to pick.
#pragma once

#include "UserInteraction.h"

namespace korvale::cli {

class TerminalInteraction : public UserInteraction {
public:
    void ShowMessage(const std::string& text, MessageIcon icon) override;
    void BeginWaitCursor() override {}
    void EndWaitCursor() override {}
    OverwriteChoice AskOverwrite(const std::string& path) override;
    void PumpEvents() override {}
    std::optional<std::vector<std::string>> ChooseImageFiles() override { return std::nullopt; }
    std::optional<Rgb> ChooseColour(const Rgb&) override { return std::nullopt; }
    std::optional<std::string> ChooseFolder(const std::string&, const std::string&) override {
        return std::nullopt;
    }

    int messageCount() const { return messageCount_; }

private:
    int messageCount_ = 0;
};

}  // namespace korvale::cli
