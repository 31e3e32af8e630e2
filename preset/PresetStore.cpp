// The preset file: load with first-run copy and error counting, and the atomic save.
#include "PresetStore.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <iterator>
#include <limits>

#include "AtomicFile.h"
#include "Text.h"

namespace korvale {
namespace {

const Message kReadFailedMessage{MessageId::PresetReadFailed};
const Message kSaveFailedMessage{MessageId::PresetSaveFailed};

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

// Copies `source` over `target` in one step, a block at a time. false with `error` set when it
// fails; a missing source is no failure but sets `missing`.
bool CopyFileOver(const std::string& source, const std::string& target, const char* temporaryName,
                  FileError& error, bool& missing) {
    missing = false;
    // O_NONBLOCK: a named pipe put in the file's place must not hang the save.
    const int fd = ::open(source.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        missing = errno == ENOENT;
        error = {errno, source, {}};
        return missing;
    }
    struct stat info;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        error = {S_ISDIR(info.st_mode) ? EISDIR : ENXIO, source, {}};
        ::close(fd);
        return false;
    }
    AtomicFile file;
    bool ok = file.Open(target, temporaryName);
    char block[64 * 1024];
    while (ok) {
        const ssize_t n = ::read(fd, block, sizeof block);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            error = {errno, source, {}};
            ::close(fd);
            return false;  // the temporary file goes with `file`
        }
        if (n == 0) {
            break;
        }
        ok = file.Write(block, static_cast<size_t>(n));
    }
    ::close(fd);
    if (!ok || !file.Commit()) {
        error = file.error();
        return false;
    }
    return true;
}

// A file of billions of blank lines is counted without overflow.
void AddError(PresetReadResult& result) {
    if (result.errorCount < std::numeric_limits<int>::max()) {
        ++result.errorCount;
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
        if (count > CCSVLoader::kFieldLimit) {
            AddError(result);  // no preset has that many fields
        } else if (count >= 4) {
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
                AddError(result);
            }
        } else if (count >= 0) {
            AddError(result);  // a blank line is one empty field
        }
        // Not emptied: only the fields of this record are read, and a file of millions of blank
        // lines is read faster without making its one element again each time.
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
        ui.ShowMessage(kReadFailedMessage + "(GetFolder)");
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
        ui.ShowDetailedMessage(kReadFailedMessage + "(Open)", FailureDetail({errno, path, {}}));
        return loaded;
    }
    PresetReadResult read = ReadPresets(loader);
    loader.Close();
    loaded.presets = std::move(read.presets);
    loaded.hadProblems = read.readFailed || read.errorCount != 0;
    if (read.readFailed) {
        ui.ShowMessage(Message(MessageId::PresetReadError));
    } else if (read.errorCount != 0) {
        ui.ShowMessage(Message(MessageId::PresetReadErrors, {Number(read.errorCount)}));
    }
    return loaded;
}

bool SavePresets(const std::string& folder, const PresetList& presets, UserInteraction& ui,
                 bool keepOriginal) {
    const std::string finalPath = folder + kPresetFileName;
    const std::string backupPath = folder + kPresetBackupFileName;
    bool kept = false;
    if (keepOriginal) {
        // The lines the load could not take live only in the old file: it is never replaced
        // without a copy.
        FileError error;
        bool missing = false;
        if (!CopyFileOver(finalPath, backupPath, kPresetBackupTempFileName, error, missing)) {
            ui.ShowDetailedMessage(kSaveFailedMessage + "(CopyFile)", FailureDetail(error));
            return false;
        }
        kept = !missing;
    }
    AtomicFile file;
    if (!file.Open(finalPath, kPresetTempFileName)) {
        ui.ShowDetailedMessage(kSaveFailedMessage + "(fopen)", FailureDetail(file.error()));
        return false;
    }
    for (const Preset& preset : presets) {
        const std::string line = FormatPresetLine(preset);
        if (!file.Write(line.data(), line.size())) {
            ui.ShowDetailedMessage(kSaveFailedMessage + "(fwrite)", FailureDetail(file.error()));
            return false;
        }
    }
    // The old file is replaced in one step, so there is never a moment without one.
    if (!file.Commit()) {
        ui.ShowDetailedMessage(
            kSaveFailedMessage + (file.failedAtRename() ? "(MoveFile)" : "(fwrite)"),
            FailureDetail(file.error()));
        return false;
    }
    if (kept) {
        ui.ShowDetailedMessage(Message(MessageId::PresetOriginalKept), backupPath);
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
