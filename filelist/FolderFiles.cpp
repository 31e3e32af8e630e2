// Image files found in folders and all their subfolders.
#include "FolderFiles.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <set>
#include <utility>

#include "ImageFormats.h"

namespace korvale {
namespace {

using FolderId = std::pair<dev_t, ino_t>;

// How many files are found between two progress reports.
constexpr size_t kReportEvery = 256;

class FolderWalk {
public:
    FolderWalk(UserInteraction& ui, size_t room, std::vector<std::string>& out)
        : ui_(ui), room_(room), out_(out) {}

    // False when the walk ended early: stopped by the user or past the room.
    bool Walk(const std::string& root, const struct stat& rootInfo) {
        std::vector<std::string> pending;
        if (visited_.insert({rootInfo.st_dev, rootInfo.st_ino}).second) {
            pending.push_back(root);
        }
        while (!pending.empty()) {
            const std::string folder = std::move(pending.back());
            pending.pop_back();
            std::vector<std::string> subfolders;
            if (!List(folder, subfolders)) {
                return false;
            }
            // Reversed, so that subfolders are walked in name order.
            pending.insert(pending.end(), subfolders.rbegin(), subfolders.rend());
        }
        return true;
    }

    bool stopped() const { return stopped_; }

private:
    bool List(const std::string& folder, std::vector<std::string>& subfolders) {
        DIR* dir = ::opendir(folder.c_str());
        if (dir == nullptr) {
            return true;  // an unreadable subfolder adds nothing
        }
        std::vector<std::pair<std::string, unsigned char>> names;
        while (const dirent* entry = ::readdir(dir)) {
            if (entry->d_name[0] != '.') {
                names.emplace_back(entry->d_name, entry->d_type);
            }
        }
        ::closedir(dir);
        // Name order, so that the batch (and which of two equal names survives) does not
        // depend on the order the file system keeps.
        std::sort(names.begin(), names.end());
        const std::string prefix = folder == "/" ? folder : folder + "/";
        for (const auto& [name, type] : names) {
            std::string path = prefix + name;
            bool file = type == DT_REG;
            bool isFolder = false;
            if (type == DT_DIR || type == DT_LNK || type == DT_UNKNOWN) {
                struct stat info {};
                if (::stat(path.c_str(), &info) != 0) {
                    continue;  // a link to nothing
                }
                file = S_ISREG(info.st_mode);
                isFolder =
                    S_ISDIR(info.st_mode) && visited_.insert({info.st_dev, info.st_ino}).second;
            }
            if (isFolder) {
                subfolders.push_back(std::move(path));
            } else if (file && FormatOfExtension(name)) {
                out_.push_back(std::move(path));
                if (++found_ > room_) {
                    return false;
                }
                if (found_ % kReportEvery == 0 && !ui_.FolderWalkProgress(found_)) {
                    stopped_ = true;
                    return false;
                }
            }
        }
        return true;
    }

    UserInteraction& ui_;
    size_t room_;
    std::vector<std::string>& out_;
    std::set<FolderId> visited_;
    size_t found_ = 0;
    bool stopped_ = false;
};

// The wait cursor for the walk, and its end told on every path.
class WalkScope {
public:
    explicit WalkScope(UserInteraction& ui) : ui_(ui) { ui_.BeginWaitCursor(); }
    ~WalkScope() {
        ui_.EndFolderWalk();
        ui_.EndWaitCursor();
    }
    WalkScope(const WalkScope&) = delete;
    WalkScope& operator=(const WalkScope&) = delete;

private:
    UserInteraction& ui_;
};

}  // namespace

bool IsFolder(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::optional<std::vector<std::string>> ExpandFolders(const std::vector<std::string>& paths,
                                                      UserInteraction& ui, size_t room) {
    std::vector<std::string> out;
    std::optional<WalkScope> scope;
    std::optional<FolderWalk> walk;
    for (const std::string& path : paths) {
        struct stat info {};
        if (::stat(path.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
            out.push_back(path);
            continue;
        }
        if (!walk) {
            scope.emplace(ui);
            walk.emplace(ui, room, out);
        }
        // "a/" and "a" name the same folder; its files are named "a/x.jpg" either way.
        std::string root = path;
        while (root.size() > 1 && root.back() == '/') {
            root.pop_back();
        }
        if (!walk->Walk(root, info)) {
            if (walk->stopped()) {
                return std::nullopt;
            }
            break;  // past the room: the limit check refuses the batch
        }
    }
    return out;
}

RegisterOutcome RegisterPaths(FileList& list, const std::vector<std::string>& paths,
                              UserInteraction& ui, FileListHost& host) {
    const size_t room = FileList::kMaxEntries - std::min(list.size(), FileList::kMaxEntries);
    const std::optional<std::vector<std::string>> batch = ExpandFolders(paths, ui, room);
    if (!batch) {
        return {};
    }
    if (batch->empty() && !paths.empty()) {
        ui.ShowMessage(kNoImagesInFolder);
        return {};
    }
    const RegisterOutcome outcome = RegisterFiles(list, *batch, ui, host);
    if (outcome.added > 0) {
        NoteFolders(list, paths);
    }
    return outcome;
}

void NoteFolders(FileList& list, const std::vector<std::string>& paths) {
    for (const std::string& path : paths) {
        if (IsFolder(path)) {
            list.NoteFolderAdded(path);
        }
    }
}

}  // namespace korvale
