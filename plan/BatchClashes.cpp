// The batch seen as a whole: outputs that clash with each other or with listed sources.
#include "BatchClashes.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <unordered_map>
#include <unordered_set>

#include "LinkWalk.h"
#include "Text.h"

namespace korvale {
namespace {

// A folder entry as the file system tells entries apart.
struct EntryKey {
    dev_t device = 0;
    ino_t folder = 0;
    std::string name;  // folded where the folder ignores letter case
    bool operator==(const EntryKey& o) const {
        return device == o.device && folder == o.folder && name == o.name;
    }
};

struct EntryKeyHash {
    size_t operator()(const EntryKey& key) const {
        return std::hash<std::string>()(key.name) ^ (std::hash<uint64_t>()(key.folder) * 31) ^
               std::hash<uint64_t>()(key.device);
    }
};

// The folder of a path, "./" for a bare name, so that it can be opened.
std::string FolderToOpen(const std::string& path) {
    const std::string folder = FolderOf(path);
    return folder.empty() ? std::string("./") : folder;
}

std::string Folded(const std::string& name) {
    return FoldedAscii(name);
}

// File systems that take "A.jpg" and "a.jpg" for one name: FAT, exFAT and SMB shares, and
// folders marked case-insensitive on ext4 or f2fs.
bool IgnoresCase(int folder) {
    UniqueFd open(::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!open.valid()) {
        return false;
    }
    struct statfs system;
    if (::fstatfs(open.get(), &system) == 0) {
        switch (static_cast<unsigned long>(system.f_type)) {
            case 0x4d44UL:      // msdos, vfat
            case 0x2011BAB0UL:  // exfat
            case 0xFF534D42UL:  // cifs
            case 0xFE534D42UL:  // smb2
            case 0x517BUL:      // smb
                return true;
            default:
                break;
        }
    }
    constexpr long kCasefold = 0x40000000;  // FS_CASEFOLD_FL
    long flags = 0;
    return ::ioctl(open.get(), FS_IOC_GETFLAGS, &flags) == 0 && (flags & kCasefold) != 0;
}

}  // namespace

struct Folder {
    bool opened = false;
    UniqueFd fd;
    dev_t device = 0;
    ino_t inode = 0;
    bool ignoresCase = false;
    bool listed = false;
    // Each name with its type from the listing, folded where the folder ignores case.
    std::unordered_map<std::string, unsigned char> names;
};

class ClashResolver {
public:
    // The entry an output path names, and whether something is there now.
    std::optional<EntryKey> OutputKey(const std::string& path, bool& exists) {
        exists = false;
        const std::string folderPath = FolderToOpen(path);
        Folder& folder = FolderAt(folderPath);
        if (!folder.opened) {
            // A subfolder the run is still to make: outputs in it are told apart by their
            // path, its "." and ".." resolved as written.
            std::error_code error;
            const std::filesystem::path absolute = std::filesystem::absolute(path, error);
            if (error) {
                return std::nullopt;
            }
            return EntryKey{0, 0, absolute.lexically_normal().string()};
        }
        std::string name = path.substr(std::min(path.size(), path.rfind('/') + 1));
        if (!folder.listed) {
            List(folder);
        }
        return Listed(folder, path, name, exists);
    }

    // The entry a listed source path names (it exists: it was probed). A folder of many
    // sources is listed once rather than looked at name by name.
    std::optional<EntryKey> SourceKey(const std::string& path, bool list) {
        Folder& folder = FolderAt(FolderToOpen(path));
        if (!folder.opened) {
            return std::nullopt;
        }
        const std::string name = path.substr(std::min(path.size(), path.rfind('/') + 1));
        bool exists = false;
        if (list && !folder.listed) {
            List(folder);
        }
        return folder.listed ? Listed(folder, path, name, exists)
                             : EntryOf(folder, path, name, exists);
    }

private:
    Folder& FolderAt(const std::string& path) {
        auto [found, added] = folders_.try_emplace(path);
        Folder& folder = found->second;
        if (!added) {
            return folder;
        }
        Located located = Locate(path);
        struct stat info;
        if (located.error.code != 0 || !located.exists ||
            ::fstatat(located.folder.get(), located.name.c_str(), &info, 0) != 0 ||
            !S_ISDIR(info.st_mode)) {
            return folder;
        }
        folder.fd.Reset(
            ::openat(located.folder.get(), located.name.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
        if (!folder.fd.valid() || ::fstat(folder.fd.get(), &info) != 0) {
            return folder;
        }
        folder.opened = true;
        folder.device = info.st_dev;
        folder.inode = info.st_ino;
        folder.ignoresCase = IgnoresCase(folder.fd.get());
        return folder;
    }

    // The names in the folder, read once: a look at each of thousands of outputs would cost
    // more than the rest of the check.
    static void List(Folder& folder) {
        folder.listed = true;
        const int fd = ::openat(folder.fd.get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        DIR* dir = fd < 0 ? nullptr : ::fdopendir(fd);
        if (dir == nullptr) {
            if (fd >= 0) {
                ::close(fd);
            }
            return;
        }
        while (const dirent* entry = ::readdir(dir)) {
            folder.names.emplace(folder.ignoresCase ? Folded(entry->d_name) : entry->d_name,
                                 entry->d_type);
        }
        ::closedir(dir);
    }

    // The entry `name` in a listed folder names: only links and entries of unknown type are
    // looked at.
    static std::optional<EntryKey> Listed(const Folder& folder, const std::string& path,
                                          const std::string& name, bool& exists) {
        const std::string key = folder.ignoresCase ? Folded(name) : name;
        const auto found = folder.names.find(key);
        if (found == folder.names.end()) {
            return EntryKey{folder.device, folder.inode, key};
        }
        // Another letter case of an entry is that entry only where the folder ignores case,
        // and then the name looked up is the folded one already.
        if (found->second != DT_LNK && found->second != DT_UNKNOWN) {
            exists = true;
            return EntryKey{folder.device, folder.inode, key};
        }
        return EntryOf(folder, path, name, exists);
    }

    // The entry `name` in `folder` names, links resolved.
    static std::optional<EntryKey> EntryOf(const Folder& folder, const std::string& path,
                                           const std::string& name, bool& exists) {
        const std::string own = folder.ignoresCase ? Folded(name) : name;
        struct stat info;
        if (::fstatat(folder.fd.get(), name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
            return EntryKey{folder.device, folder.inode, own};
        }
        if (!S_ISLNK(info.st_mode)) {
            exists = true;
            return EntryKey{folder.device, folder.inode, own};
        }
        const Located located = Locate(path);
        if ((located.error.code != 0 && located.error.code != ENOENT) || !located.folder.valid() ||
            ::fstat(located.folder.get(), &info) != 0) {
            exists = true;  // a link that is not followed is an entry of its own
            return EntryKey{folder.device, folder.inode, own};
        }
        exists = located.exists;
        const bool ignoresCase = IgnoresCase(located.folder.get());
        return EntryKey{info.st_dev, info.st_ino,
                        ignoresCase ? Folded(located.name) : located.name};
    }

    std::unordered_map<std::string, Folder> folders_;
};

OutputOverlaps FindOverlaps(const FileList& list, const std::vector<std::string>& outputs) {
    OutputOverlaps overlaps;
    ClashResolver resolver;
    std::unordered_map<EntryKey, size_t, EntryKeyHash> firstWriter;
    // Writers of outputs that exist now: only those can be a listed source.
    std::unordered_map<EntryKey, std::vector<size_t>, EntryKeyHash> replacing;
    for (size_t i = 0; i < outputs.size() && i < list.size(); ++i) {
        if (outputs[i].empty()) {
            continue;
        }
        bool exists = false;
        const std::optional<EntryKey> key = resolver.OutputKey(outputs[i], exists);
        if (!key) {
            continue;
        }
        const auto [first, inserted] = firstWriter.emplace(*key, i);
        if (!inserted) {
            overlaps.clashes.push_back({BatchClash::Kind::SameOutput, i, first->second});
        }
        if (exists) {
            replacing[*key].push_back(i);
        }
    }
    if (!replacing.empty()) {
        std::unordered_map<std::string, size_t> perFolder;
        for (const FileEntry& entry : list) {
            ++perFolder[FolderToOpen(entry.path)];
        }
        constexpr size_t kListedFrom = 16;
        for (size_t k = 0; k < list.size(); ++k) {
            const std::string& path = list[k].path;
            const std::optional<EntryKey> key =
                resolver.SourceKey(path, perFolder[FolderToOpen(path)] >= kListedFrom);
            const auto found = key ? replacing.find(*key) : replacing.end();
            if (found == replacing.end()) {
                continue;
            }
            bool replaced = false;
            for (const size_t writer : found->second) {
                if (k > writer) {
                    // Still to be read when its file is replaced.
                    overlaps.clashes.push_back({BatchClash::Kind::ReplacesSource, writer, k});
                } else {
                    replaced = true;
                }
            }
            if (replaced) {
                overlaps.replacedSources.push_back(k);
            }
        }
    }
    std::stable_sort(overlaps.clashes.begin(), overlaps.clashes.end(),
                     [](const BatchClash& a, const BatchClash& b) { return a.job < b.job; });
    return overlaps;
}

std::vector<std::string> OutputPaths(const std::vector<OutputJob>& jobs) {
    std::vector<std::string> paths;
    paths.reserve(jobs.size());
    for (const OutputJob& job : jobs) {
        paths.push_back(job.outputPath);
    }
    return paths;
}

std::vector<std::string> OutputPaths(const BatchRequest& request, const FileList& list) {
    return OutputPaths(OutputJobs(request, list));
}

Message ClashDetail(const std::vector<BatchClash>& clashes, const FileList& list,
                    const std::vector<std::string>& outputs) {
    constexpr size_t kShown = 10;
    Message detail;
    for (size_t i = 0; i < clashes.size() && i < kShown; ++i) {
        const BatchClash& c = clashes[i];
        if (c.kind == BatchClash::Kind::SameOutput) {
            detail += Message(MessageId::ClashSameOutput,
                              {list[c.other].path, list[c.job].path, outputs[c.job]});
        } else {
            detail += Message(MessageId::ClashReplacesSource,
                              {list[c.job].path, outputs[c.job], list[c.other].path});
        }
        detail += "\n";
    }
    if (clashes.size() > kShown) {
        detail += Message(MessageId::ClashMore,
                          {Number(static_cast<long long>(clashes.size() - kShown))}) +
                  "\n";
    }
    return detail + Message(MessageId::ClashAdvice);
}

}  // namespace korvale

namespace korvale {

namespace {

uint64_t HashOf(const EntryKey& key) {
    uint64_t hash = Fnv1a64(key.name);
    for (const uint64_t part :
         {static_cast<uint64_t>(key.device), static_cast<uint64_t>(key.folder)}) {
        hash = (hash ^ part) * 0x100000001b3ULL;
        hash ^= hash >> 29;
    }
    return hash;
}

}  // namespace

EntryIdentities::EntryIdentities() : resolver_(std::make_unique<ClashResolver>()) {}
EntryIdentities::~EntryIdentities() = default;

std::optional<uint64_t> EntryIdentities::OfOutput(const std::string& path, bool& exists) {
    const std::optional<EntryKey> key = resolver_->OutputKey(path, exists);
    return key ? std::optional<uint64_t>(HashOf(*key)) : std::nullopt;
}

std::optional<uint64_t> EntryIdentities::OfSource(const std::string& path) {
    const std::optional<EntryKey> key = resolver_->SourceKey(path, true);
    return key ? std::optional<uint64_t>(HashOf(*key)) : std::nullopt;
}

}  // namespace korvale
