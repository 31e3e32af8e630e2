// The interaction seam for korvale-cli.
#include "TerminalInteraction.h"

#include <cstdio>

namespace korvale::cli {

void TerminalInteraction::ShowMessage(const std::string& text, MessageIcon) {
    ++messageCount_;
    std::fprintf(stderr, "%s\n", text.c_str());
}

OverwriteChoice TerminalInteraction::AskOverwrite(const std::string&) {
    return OverwriteChoice::Cancel;
}

}  // namespace korvale::cli
