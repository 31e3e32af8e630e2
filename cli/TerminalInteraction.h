// The interaction seam for a terminal: messages go to standard error, nothing is asked.
#pragma once

#include "UserInteraction.h"

namespace korvale::cli {

class TerminalInteraction : public UserInteraction {
public:
    void ShowMessage(const std::string& text, MessageIcon icon = MessageIcon::None) override;
    void BeginWaitCursor() override {}
    void EndWaitCursor() override {}
    OverwriteChoice AskOverwrite(const std::string& path) override;
    void PumpEvents() override {}
    std::optional<std::vector<std::string>> ChooseImageFiles() override { return std::nullopt; }
    std::optional<Rgb> ChooseColour(const Rgb&) override { return std::nullopt; }
    std::optional<std::string> ChooseFolder(const std::string&, const std::string&) override {
        return std::nullopt;
    }

    int messagesShown() const { return messagesShown_; }

private:
    int messagesShown_ = 0;
};

}  // namespace korvale::cli
