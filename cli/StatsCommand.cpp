// korvale-cli stats: the file list and its statistics, built exactly as the window builds them.
#include <cstdio>

#include "Commands.h"
#include "FileListHost.h"
#include "FolderArguments.h"
#include "ListStatistics.h"
#include "RegisterFiles.h"
#include "TerminalInteraction.h"

namespace korvale::cli {

int RunStats(const Arguments& args) {
    Arguments files;
    if (const std::optional<int> status =
            ListedFiles(args, "stats", FileList::kMaxEntries, files)) {
        return *status;
    }
    TerminalInteraction ui;
    NoFileListView view;
    FileList list;
    const RegisterOutcome outcome = RegisterFiles(list, files, ui, view);
    ListStatistics statistics;
    ComputeListStatistics(list, statistics);

    for (size_t row = 0; row < list.size(); ++row) {
        std::printf("%s\t%s\t%s\t%s\t%s\n", FileCellText(list, row, FileColumn::Number).c_str(),
                    EscapeName(FileCellText(list, row, FileColumn::Name)).c_str(),
                    FileCellText(list, row, FileColumn::Width).c_str(),
                    FileCellText(list, row, FileColumn::Height).c_str(),
                    FileCellText(list, row, FileColumn::Dpi).c_str());
    }
    std::printf("files\t%zu\n", list.size());
    const char* const quantities[] = {"width", "height", "dpi"};
    const QuantityStatistics* const values[] = {&statistics.width, &statistics.height,
                                                &statistics.dpi};
    for (int q = 0; q < 3; ++q) {
        if (list.empty()) {
            std::printf("%s\t\t\t\t\n", quantities[q]);
        } else {
            std::printf("%s\t%u\t%u\t%u\t%u\n", quantities[q], values[q]->minimum,
                        values[q]->maximum, values[q]->average, values[q]->mode);
        }
    }
    return outcome.refused || outcome.unreadable > 0 ? kExitFailed : kExitOk;
}

}  // namespace korvale::cli
