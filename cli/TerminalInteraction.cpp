// The interaction seam for a terminal.
#include "TerminalInteraction.h"

#include <cstdio>

namespace korvale::cli {

void TerminalInteraction::ShowMessage(const std::string& text, MessageIcon) {
    ++messagesShown_;
    std::fprintf(stderr, "%s\n", text.c_str());
}

OverwriteChoice TerminalInteraction::AskOverwrite(const std::string&) {
    // Nobody can answer here; existing files are never overwritten unasked.
    return OverwriteChoice::Cancel;
}

}  // namespace korvale::cli
