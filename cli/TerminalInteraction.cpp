// The interaction seam for korvale-cli.
#include "TerminalInteraction.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace korvale::cli {

void TerminalInteraction::ShowMessage(const std::string& text, MessageIcon) {
    ++messageCount_;
    std::fprintf(stderr, "%s\n", text.c_str());
}

void TerminalInteraction::ShowDetailedMessage(const std::string& text, const std::string& detail,
                                              MessageIcon icon) {
    ShowMessage(text, icon);
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
        ShowMessage("保存フォルダが存在しません。\n" + folder +
                        "\n作成するには --mkdir を指定してください。",
                    MessageIcon::None);
    }
    return createFolders_;
}

void TerminalInteraction::ReportDamagedSources(const std::vector<std::string>& paths) {
    for (const std::string& path : paths) {
        std::fprintf(stderr,
                     "警告: 画像ファイルのデータが壊れていたため、読み出せなかった部分を補って"
                     "変換しました: %s\n",
                     path.c_str());
    }
}

OverwriteChoice TerminalInteraction::AskOverwrite(const std::string& path) {
    switch (overwrite_) {
        case OverwriteMode::All:
            return OverwriteChoice::OverwriteAll;
        case OverwriteMode::Skip:
        case OverwriteMode::Newer:  // a file that took the name during the run is newer
            return OverwriteChoice::Skip;
        case OverwriteMode::Cancel:
            // Said even when quiet: otherwise the run ends with status 3 and no word why.
            std::fprintf(stderr,
                         "すでに同じ名前のファイルが存在するため、実行を中止しました。\n%s\n"
                         "上書きするかどうかは --overwrite ask|all|skip|cancel で指定できます。\n",
                         path.c_str());
            return OverwriteChoice::Cancel;
        case OverwriteMode::Ask:
            break;
    }
    for (;;) {
        std::fprintf(stderr,
                     "\nすでに同じ名前のファイルが存在します。\n%s\n"
                     "上書き [o] / 全て上書き [a] / スキップ [s] / キャンセル [c] / "
                     "全てスキップ [k]: ",
                     path.c_str());
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
