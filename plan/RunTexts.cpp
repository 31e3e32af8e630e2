// The texts of a run that the window shows itself: kept apart from the conversion, so that the
// window program can show them without loading the image codecs.
#include "RunHost.h"

#include "Text.h"

namespace korvale {

const char* ConvertMessage(ConvertResult result) {
    switch (result) {
        case ConvertResult::ReadFailed:
            return "画像ファイルの読み出しに失敗しました。";
        case ConvertResult::BadAnchor:
            return "配置の基準が異常です。";
        case ConvertResult::WriteFailed:
            return "画像ファイルの書き込みに失敗しました。";
        case ConvertResult::Ok:
            break;
    }
    return "";
}

std::string ShownFolder(const std::string& folder) {
    return folder.size() > 1 && folder.back() == '/' ? folder.substr(0, folder.size() - 1) : folder;
}

std::string FolderCreationQuestion(const std::string& shownFolder) {
    return "保存フォルダが存在しません。\n" + shownFolder + "\nこのフォルダを作成しますか？";
}

const char* const kFailedFilesMessage =
    "変換できなかったファイルがあります。ほかのファイルは変換しました。";

std::string FailedFileLine(const FailedFile& failed) {
    return EscapedName(failed.path) + ": " + failed.reason;
}

std::string FailedFilesDetail(const std::vector<FailedFile>& failed) {
    constexpr size_t kShown = 20;
    std::string detail;
    for (size_t i = 0; i < failed.size() && i < kShown; ++i) {
        detail += (detail.empty() ? "" : "\n") + FailedFileLine(failed[i]);
    }
    if (failed.size() > kShown) {
        detail += FormatText("\nほかに %zu 件あります。", failed.size() - kShown);
    }
    return detail;
}

}  // namespace korvale
