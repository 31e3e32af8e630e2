// The interaction seam for korvale-cli.
#include "TerminalInteraction.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "Words.h"

namespace korvale::cli {

void TerminalInteraction::ShowMessage(const Message& text, MessageIcon) {
    ++messageCount_;
    std::fprintf(stderr, "%s\n", Words(text).c_str());
}

void TerminalInteraction::ShowDetailedMessage(const Message& text, const Message& message,
                                              MessageIcon icon) {
    ShowMessage(text, icon);
    const std::string detail = Words(message);
    if (detail.empty()) {
        return;
    }
    size_t start = 0;
    while (start <= detail.size()) {
        const size_t end = std::min(detail.find('\n', start), detail.size());
        std::fprintf(stderr, "  %.*s\n", static_cast<int>(end - start), detail.data() + start);
        start = end + 1;
    }
}

bool TerminalInteraction::AskCreateFolder(const std::string& folder) {
    if (!createFolders_) {
        ShowMessage(Message(MessageId::CreateFolderWithMkdir, {folder}), MessageIcon::None);
    }
    return createFolders_;
}

void TerminalInteraction::ReportDamagedSources(const std::vector<std::string>& paths) {
    for (const std::string& path : paths) {
        std::fprintf(stderr, "%s\n",
                     Words(Message(MessageId::DamagedSourceWarning, {path})).c_str());
    }
}

OverwriteChoice TerminalInteraction::AskOverwrite(const Message& shownPath) {
    const std::string path = Words(shownPath);
    switch (overwrite_) {
        case OverwriteMode::All:
            return OverwriteChoice::OverwriteAll;
        case OverwriteMode::Skip:
        case OverwriteMode::Newer:  // a file that took the name during the run is newer
            return OverwriteChoice::Skip;
        case OverwriteMode::Cancel:
            // Said even when quiet: otherwise the run ends with status 3 and no word why.
            std::fprintf(stderr, "%s\n",
                         Words(Message(MessageId::OutputExistsStopped, {path})).c_str());
            return OverwriteChoice::Cancel;
        case OverwriteMode::Ask:
            break;
    }
    for (;;) {
        std::fputs(Words(Message(MessageId::OutputExistsQuestion, {path})).c_str(), stderr);
        std::fflush(stderr);
        char line[64];
        if (std::fgets(line, sizeof line, stdin) == nullptr) {
            return OverwriteChoice::Cancel;  // end of input or an interrupt
        }
        switch (line[0]) {
            case 'o':
            case 'O':
                return OverwriteChoice::Overwrite;
            case 'a':
            case 'A':
                return OverwriteChoice::OverwriteAll;
            case 's':
            case 'S':
                return OverwriteChoice::Skip;
            case 'c':
            case 'C':
                return OverwriteChoice::Cancel;
            case 'k':
            case 'K':
                return OverwriteChoice::SkipAll;
            default:
                break;
        }
    }
}

}  // namespace korvale::cli
