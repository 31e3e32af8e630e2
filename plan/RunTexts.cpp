// The texts of a run that the window shows itself: kept apart from the conversion, so that the
// window program can show them without loading the image codecs.
#include "RunHost.h"

#include "Text.h"

namespace korvale {

Message ConvertResultMessage(ConvertResult result) {
    switch (result) {
        case ConvertResult::ReadFailed:
            return Message(MessageId::ReadFailed);
        case ConvertResult::BadAnchor:
            return Message(MessageId::BadAnchor);
        case ConvertResult::WriteFailed:
            return Message(MessageId::WriteFailed);
        case ConvertResult::Ok:
            break;
    }
    return {};
}

std::string ShownFolder(const std::string& folder) {
    return folder.size() > 1 && folder.back() == '/' ? folder.substr(0, folder.size() - 1) : folder;
}

Message FolderCreationQuestion(const std::string& shownFolder) {
    return Message(MessageId::CreateFolderQuestion, {shownFolder});
}

const Message kFailedFilesMessage{MessageId::FailedFiles};

Message FailedFileLine(const FailedFile& failed) {
    return EscapedName(failed.path) + ": " + failed.reason;
}

Message FailedFilesDetail(const std::vector<FailedFile>& failed) {
    constexpr size_t kShown = 20;
    Message detail;
    for (size_t i = 0; i < failed.size() && i < kShown; ++i) {
        detail += (detail.empty() ? "" : "\n") + FailedFileLine(failed[i]);
    }
    if (failed.size() > kShown) {
        detail += "\n" + Message(MessageId::MoreFailed,
                                 {Number(static_cast<long long>(failed.size() - kShown))});
    }
    return detail;
}

}  // namespace korvale
