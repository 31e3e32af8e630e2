// The preset file: load with first-run copy and error counting, and the atomic save.
#include "PresetStore.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <iterator>

#include "AtomicFile.h"
#include "Text.h"

namespace korvale {
namespace {

const char kReadFailedMessage[] = "プリセットデータの読み出しに失敗しました。";
const char kReadErrorMessage[] = "プリセットデータの読み出しでエラーが発生しました。";
const char kReadErrorCountMessage[] = "プリセットデータの読み出しでエラーが発生しました。（%d 回）";
const char kSaveFailedMessage[] = "プリセットの保存に失敗しました。";

bool IsDirectory(const std::string& path) {
    struct stat info;
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool IsRegularFile(const std::string& path) {
    struct stat info;
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

bool InSizeRange(int32_t value) {
    return value >= static_cast<int32_t>(kPresetMinSize) &&
           value <= static_cast<int32_t>(kPresetMaxSize);
}

// The first default file found is copied in one step: a failed copy leaves nothing behind, and
// the open that follows reports the missing preset file.
void CopyDefaultFile(const std::vector<std::string>& folders, const std::string& target) {
    for (std::string folder : folders) {
        if (!folder.empty() && folder.back() != '/') {
            folder += '/';
        }
        const std::string source = folder + kPresetFileName;
        if (!IsRegularFile(source)) {
            continue;
        }
        std::ifstream in(source, std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(in)),
                                std::istreambuf_iterator<char>());
        AtomicFile file;
        if (!in.bad() && file.Open(target) && file.Write(bytes.data(), bytes.size())) {
            file.Commit();
        }
        return;
    }
}

}  // namespace

std::string FormatPresetLine(const Preset& preset) {
    std::string line = "\"";
    for (char c : preset.name) {
        if (c == '"') {
            line += '"';
        }
        line += c;
    }
    line += '"';
    // Appended rather than passed through "%s", so a name with a NUL byte survives.
    line += FormatText(",%u,%u,%u\n", preset.width, preset.height, preset.dpi);
    return line;
}

PresetReadResult ReadPresets(CCSVLoader& loader) {
    PresetReadResult result;
    std::vector<std::string> fields;
    bool outOfRange = false;
    for (;;) {
        const int count = loader.ReadRecord(fields);
        if (count >= 4) {
            const ParsedInt width = ParseLeadingInt(fields[1]);
            const ParsedInt height = ParseLeadingInt(fields[2]);
            const ParsedInt dpi = ParseLeadingInt(fields[3]);
            outOfRange = outOfRange || width.outOfRange || height.outOfRange || dpi.outOfRange;
            if (!fields[0].empty() && InSizeRange(width.value) && InSizeRange(height.value) &&
                dpi.value >= 0 && dpi.value <= static_cast<int32_t>(kPresetMaxDpi)) {
                result.presets.push_back({fields[0], static_cast<uint32_t>(width.value),
                                          static_cast<uint32_t>(height.value),
                                          static_cast<uint32_t>(dpi.value)});
            } else {
                ++result.errorCount;
            }
        } else if (count >= 0) {
            ++result.errorCount;  // a blank line is one empty field
        }
        fields.clear();
        if (count == -1 || result.presets.size() >= kPresetLoadLimit) {
            break;
        }
    }
    result.readFailed = outOfRange || loader.ReadFailed();
    return result;
}

LoadedPresets LoadPresets(const PresetLocation& location, UserInteraction& ui) {
    LoadedPresets loaded;
    if (location.folder.empty()) {
        ui.ShowMessage(std::string(kReadFailedMessage) + "(GetFolder)");
        return loaded;
    }
    loaded.folder = location.folder;
    if (loaded.folder.back() != '/') {
        loaded.folder += '/';
    }
    if (!IsDirectory(loaded.folder)) {
        // Failures show up as the open failure below.
        CreateDirectoryChain(loaded.folder.substr(0, loaded.folder.size() - 1));
    }
    const std::string path = loaded.folder + kPresetFileName;
    struct stat info;
    if (::stat(path.c_str(), &info) != 0 || S_ISDIR(info.st_mode)) {
        // A named pipe or device of that name is neither written into nor replaced.
        CopyDefaultFile(location.defaultFileFolders, path);
    }
    CCSVLoader loader;
    if (!loader.Open(path)) {
        ui.ShowDetailedMessage(std::string(kReadFailedMessage) + "(Open)",
                               FailureDetail({errno, path, {}}));
        return loaded;
    }
    PresetReadResult read = ReadPresets(loader);
    loader.Close();
    loaded.presets = std::move(read.presets);
    if (read.readFailed) {
        ui.ShowMessage(kReadErrorMessage);
    } else if (read.errorCount != 0) {
        ui.ShowMessage(FormatText(kReadErrorCountMessage, read.errorCount));
    }
    return loaded;
}

bool SavePresets(const std::string& folder, const PresetList& presets, UserInteraction& ui) {
    const std::string finalPath = folder + kPresetFileName;
    AtomicFile file;
    if (!file.Open(finalPath, kPresetTempFileName)) {
        ui.ShowDetailedMessage(std::string(kSaveFailedMessage) + "(fopen)",
                               FailureDetail(file.error()));
        return false;
    }
    for (const Preset& preset : presets) {
        const std::string line = FormatPresetLine(preset);
        if (!file.Write(line.data(), line.size())) {
            ui.ShowDetailedMessage(std::string(kSaveFailedMessage) + "(fwrite)",
                                   FailureDetail(file.error()));
            return false;
        }
    }
    // The old file is replaced in one step, so there is never a moment without one.
    if (!file.Commit()) {
        ui.ShowDetailedMessage(
            std::string(kSaveFailedMessage) + (file.failedAtRename() ? "(MoveFile)" : "(fwrite)"),
            FailureDetail(file.error()));
        return false;
    }
    return true;
}

bool CreateDirectoryChain(const std::string& path) {
    if (path.empty()) {
        return false;
    }
    struct stat info;
    if (::stat(path.c_str(), &info) == 0) {
        return S_ISDIR(info.st_mode);
    }
    const size_t slash = path.rfind('/');
    if (slash != std::string::npos && slash > 0 && !CreateDirectoryChain(path.substr(0, slash))) {
        return false;
    }
    return ::mkdir(path.c_str(), 0777) == 0 || (errno == EEXIST && IsDirectory(path));
}

}  // namespace korvale
