// Replacing files in one step: what reaches the disk and when, failed writes, links, and the
// removal of temporary files that killed runs left behind.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <memory>
#include <thread>

#include "AtomicFile.h"
#include "MessageWords.h"
#include "TestFiles.h"

namespace korvale {
namespace {

namespace fs = std::filesystem;

// Records the calls that move bytes to the device, and fails writes past a byte limit.
class WatchedCalls : public FileCalls {
public:
    WatchedCalls() { SetFileCalls(this); }
    ~WatchedCalls() override { SetFileCalls(nullptr); }

    ssize_t Write(int fd, const void* data, size_t size) override {
        if (written + size > limit) {
            size = limit - written;
            if (size == 0) {
                errno = ENOSPC;
                return -1;
            }
        }
        written += size;
        calls.push_back("write");
        return FileCalls::Write(fd, data, size);
    }
    int Sync(int fd, const std::string& path) override {
        calls.push_back(fs::is_directory(path) ? "sync folder" : "sync file");
        return FileCalls::Sync(fd, path);
    }
    int Rename(int folder, const std::string& from, const std::string& to, bool replace) override {
        calls.push_back("rename");
        return FileCalls::Rename(folder, from, to, replace);
    }

    size_t limit = SIZE_MAX;
    size_t written = 0;
    std::vector<std::string> calls;
};

std::string Text(const std::string& path) {
    const test::Bytes bytes = test::ReadFile(path);
    return std::string(bytes.begin(), bytes.end());
}

void Put(const std::string& path, const std::string& text) {
    test::WriteFile(path, test::Bytes(text.begin(), text.end()));
}

std::vector<std::string> Names(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

bool Replace(const std::string& path, const std::string& text, FileError* error = nullptr,
             bool keepReadOnly = false) {
    AtomicFile file;
    const bool ok =
        file.Open(path, {}, keepReadOnly) && file.Write(text.data(), text.size()) && file.Commit();
    if (error != nullptr) {
        *error = file.error();
    }
    return ok;
}

TEST(AtomicFile, FlushesOnlyWhenAFileIsReplaced) {
    test::TempDir dir;
    const std::string path = dir.File("a.jpg");
    {
        WatchedCalls calls;
        ASSERT_TRUE(Replace(path, "new"));
        EXPECT_EQ(calls.calls, (std::vector<std::string>{"write", "rename"}));
    }
    {
        WatchedCalls calls;
        ASSERT_TRUE(Replace(path, "newer"));
        // The bytes reach the device before they take the name, the name after the rename.
        EXPECT_EQ(calls.calls,
                  (std::vector<std::string>{"write", "sync file", "rename", "sync folder"}));
    }
    EXPECT_EQ(Text(path), "newer");
    EXPECT_EQ(Names(dir.path()), (std::vector<std::string>{"a.jpg"}));
}

TEST(AtomicFile, AFullDeviceKeepsTheOldFileAndLeavesNoTemporary) {
    test::TempDir dir;
    const std::string path = dir.File("a.bmp");
    Put(path, "old");
    for (const size_t limit : {size_t{0}, size_t{4}, size_t{9}}) {
        WatchedCalls calls;
        calls.limit = limit;
        FileError error;
        EXPECT_FALSE(Replace(path, std::string(10, 'x'), &error)) << limit;
        EXPECT_EQ(error.code, ENOSPC);
        EXPECT_EQ(error.path, path);
        EXPECT_EQ(FailureDetail(error), path + "\nディスクの空き容量が不足しています。");
        EXPECT_EQ(Text(path), "old");
        EXPECT_EQ(Names(dir.path()), (std::vector<std::string>{"a.bmp"}));
    }
}

TEST(AtomicFile, KeepsThePermissionsOfTheReplacedFile) {
    test::TempDir dir;
    const std::string path = dir.File("a.jpg");
    Put(path, "old");
    ::chmod(path.c_str(), 0640);
    ASSERT_TRUE(Replace(path, "new"));
    struct stat info;
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
}

TEST(AtomicFile, ThroughLinks) {
    test::TempDir dir;
    fs::create_directories(dir.File("real"));
    fs::create_directories(dir.File("out"));
    Put(dir.File("real/target.jpg"), "old");
    fs::create_symlink("../real/target.jpg", dir.File("out/relative.jpg"));
    fs::create_symlink(dir.File("out/relative.jpg"), dir.File("out/chain.jpg"));
    fs::create_symlink(dir.File("real/missing.jpg"), dir.File("out/dangling.jpg"));
    fs::create_symlink("loop-b.jpg", dir.File("out/loop-a.jpg"));
    fs::create_symlink("loop-a.jpg", dir.File("out/loop-b.jpg"));
    const struct {
        const char* name;
        int error;
    } cases[] = {
        {"relative.jpg", 0},
        {"chain.jpg", 0},
        {"dangling.jpg", ENOENT},
        {"loop-a.jpg", ELOOP},
    };
    for (const auto& c : cases) {
        const std::string link = dir.File(std::string("out/") + c.name);
        const std::string before = Text(dir.File("real/target.jpg"));
        FileError error;
        EXPECT_EQ(Replace(link, c.name, &error), c.error == 0) << c.name;
        EXPECT_EQ(error.code, c.error) << c.name;
        EXPECT_TRUE(fs::is_symlink(link)) << c.name;
        EXPECT_EQ(Text(dir.File("real/target.jpg")), c.error == 0 ? c.name : before);
    }
    // Written beside the target: nothing else in either folder.
    EXPECT_EQ(Names(dir.File("real")), (std::vector<std::string>{"target.jpg"}));
    EXPECT_FALSE(fs::exists(dir.File("real/missing.jpg")));
    EXPECT_EQ(Names(dir.File("out")).size(), 5u);
}

TEST(AtomicFile, RefusesWhatItMustNotReplace) {
    test::TempDir dir;
    fs::create_directories(dir.File("folder.jpg"));
    Put(dir.File("readonly.jpg"), "old");
    ::chmod(dir.File("readonly.jpg").c_str(), 0444);
    fs::create_directories(dir.File("locked"));
    Put(dir.File("locked/target.jpg"), "old");
    ::chmod(dir.File("locked").c_str(), 0555);
    fs::create_symlink(dir.File("locked/target.jpg"), dir.File("into-locked.jpg"));
    // The superuser writes into a read-only folder anyway.
    const bool rootUser = ::geteuid() == 0;
    const struct {
        const char* name;
        bool keepReadOnly;
        int error;
    } cases[] = {
        {"folder.jpg", false, EISDIR},
        {"readonly.jpg", true, EACCES},
        {"into-locked.jpg", false, rootUser ? 0 : EACCES},
        {"missing-folder/a.jpg", false, ENOENT},
        {"readonly.jpg", false, 0},
    };
    for (const auto& c : cases) {
        FileError error;
        EXPECT_EQ(Replace(dir.File(c.name), "new", &error, c.keepReadOnly), c.error == 0) << c.name;
        EXPECT_EQ(error.code, c.error) << c.name;
    }
    EXPECT_TRUE(fs::is_directory(dir.File("folder.jpg")));
    EXPECT_EQ(Text(dir.File("readonly.jpg")), "new");
    EXPECT_EQ(Text(dir.File("locked/target.jpg")), rootUser ? "new" : "old");
    EXPECT_EQ(Names(dir.File("locked")), (std::vector<std::string>{"target.jpg"}));
    EXPECT_EQ(Names(dir.path()), (std::vector<std::string>{"folder.jpg", "into-locked.jpg",
                                                           "locked", "readonly.jpg"}));
    ::chmod(dir.File("locked").c_str(), 0755);
}

TEST(AtomicFile, AFixedTemporaryNameReplacesWhateverLiesThere) {
    test::TempDir dir;
    ASSERT_EQ(::mkfifo(dir.File("$list.csv").c_str(), 0600), 0);
    AtomicFile file;
    ASSERT_TRUE(file.Open(dir.File("list.csv"), "$list.csv"));
    EXPECT_EQ(file.temporaryPath(), dir.File("$list.csv"));
    ASSERT_TRUE(file.Write("x", 1));
    ASSERT_TRUE(file.Commit());
    EXPECT_EQ(Names(dir.path()), (std::vector<std::string>{"list.csv"}));
}

TEST(AtomicFile, DiscardLeavesTheTargetAlone) {
    test::TempDir dir;
    Put(dir.File("a.jpg"), "old");
    {
        AtomicFile file;
        ASSERT_TRUE(file.Open(dir.File("a.jpg")));
        ASSERT_TRUE(file.Write("new", 3));
    }  // never committed
    EXPECT_EQ(Text(dir.File("a.jpg")), "old");
    EXPECT_EQ(Names(dir.path()), (std::vector<std::string>{"a.jpg"}));
}

TEST(AtomicFile, TheSignalHandlersRemovalReachesEveryFileBeingWritten) {
    test::TempDir dir;
    // Files that ended free their place for later ones, also beyond the places there are.
    for (int round = 0; round < 20; ++round) {
        AtomicFile done;
        ASSERT_TRUE(done.Open(dir.File("done.jpg")));
        if (round % 2 == 0) {
            ASSERT_TRUE(done.Commit());
        }
    }
    std::vector<std::unique_ptr<AtomicFile>> open;
    std::vector<std::thread> writers;
    for (int i = 0; i < 3; ++i) {
        open.push_back(std::make_unique<AtomicFile>());
        writers.emplace_back([&file = *open.back(), path = dir.File(std::to_string(i) + ".bmp")] {
            ASSERT_TRUE(file.Open(path));
            ASSERT_TRUE(file.Write("new", 3));
        });
    }
    for (std::thread& writer : writers) {
        writer.join();
    }
    EXPECT_EQ(Names(dir.path()).size(), 4u);
    RemoveTemporaryInHand();
    EXPECT_EQ(Names(dir.path()), (std::vector<std::string>{"done.jpg"}));
}

// A process id that has ended (until the system reuses it).
pid_t EndedProcess() {
    const pid_t child = ::fork();
    if (child == 0) {
        ::_exit(0);
    }
    ::waitpid(child, nullptr, 0);
    return child;
}

TEST(AtomicFile, RemovesOnlyStaleTemporariesOfEndedProcesses) {
    test::TempDir dir;
    const std::string dead = std::to_string(EndedProcess());
    const std::string alive = std::to_string(::getpid());
    const struct {
        std::string name;
        bool removed;
    } cases[] = {
        {".korvale-" + dead + "-0.jpg", true},
        {".korvale-" + dead + "-17", true},
        {".korvale-" + dead + "-3.BMP", true},
        {".korvale-" + alive + "-0.jpg", false},     // its process runs
        {".korvale-" + dead + "-0.jpg.bak", false},  // not the pattern
        {".korvale-" + dead + "-x.jpg", false},
        {".korvale-" + dead + ".jpg", false},
        {"korvale-" + dead + "-0.jpg", false},
        {".korvale--0.jpg", false},
        {"photo.jpg", false},
    };
    for (const auto& c : cases) {
        Put(dir.File(c.name), "x");
    }
    fs::create_directories(dir.File(".korvale-" + dead + "-9.jpg"));  // a folder stays
    struct timespec now;
    ::clock_gettime(CLOCK_REALTIME, &now);
    const struct timespec past = {now.tv_sec - 3600, 0};
    // Files changed after the run started stay, whoever made them.
    EXPECT_EQ(RemoveStaleTemporaries(dir.path(), past), 0);
    const struct timespec future = {now.tv_sec + 3600, 0};
    EXPECT_EQ(RemoveStaleTemporaries(dir.path() + "/", future), 3);
    for (const auto& c : cases) {
        EXPECT_EQ(fs::exists(dir.File(c.name)), !c.removed) << c.name;
    }
    EXPECT_TRUE(fs::is_directory(dir.File(".korvale-" + dead + "-9.jpg")));
}

TEST(AtomicFile, SystemReasonsAreSaid) {
    EXPECT_EQ(Japanese(ReasonOf(EACCES)), "アクセスが拒否されました。");
    EXPECT_EQ(FailureDetail({EROFS, "/mnt/a.jpg", {}}),
              "/mnt/a.jpg\n読み取り専用のファイルシステムです。");
    EXPECT_EQ(FailureDetail({0, "/a.jpg", "理由"}), "/a.jpg\n理由");
    EXPECT_NE(Japanese(ReasonOf(EPROTO)).find("システムエラー"), std::string::npos);
}

}  // namespace
}  // namespace korvale
