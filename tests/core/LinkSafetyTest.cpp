// Links planted by other users in shared folders, looks that fail, the permissions of new and
// replacing files, and two writers racing for one name.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <filesystem>
#include <thread>

#include "AtomicFile.h"
#include "MessageWords.h"
#include "RefusedLook.h"
#include "TestFiles.h"

namespace korvale {
namespace {

namespace fs = std::filesystem;

constexpr uid_t kOtherUser = 65534;  // nobody

std::string Text(const std::string& path) {
    const test::Bytes bytes = test::ReadFile(path);
    return std::string(bytes.begin(), bytes.end());
}

void Put(const std::string& path, const std::string& text) {
    test::WriteFile(path, test::Bytes(text.begin(), text.end()));
}

bool Replace(const std::string& path, const std::string& text, FileError* error = nullptr) {
    AtomicFile file;
    const bool ok = file.Open(path) && file.Write(text.data(), text.size()) && file.Commit();
    if (error != nullptr) {
        *error = file.error();
    }
    return ok;
}

// A link at `path` to `target`, owned by `owner`.
void Plant(const std::string& target, const std::string& path, uid_t owner) {
    fs::create_symlink(target, path);
    ASSERT_EQ(::lchown(path.c_str(), owner, owner), 0) << path;
}

size_t Entries(const std::string& folder) {
    return static_cast<size_t>(std::distance(fs::directory_iterator(folder), {}));
}

// Links owned by another user can only be made by the superuser (as CI runs the suite).
TEST(LinkSafety, PlantedLinksInSharedFoldersAreNotFollowed) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "links owned by another user need the superuser; run the suite as root";
    }
    test::TempDir dir;
    fs::create_directories(dir.File("home"));
    const std::string secret = dir.File("home/secret");
    const struct {
        const char* name;
        mode_t folderMode;
        uid_t folderOwner;
        uid_t linkOwner;
        bool followed;
    } cases[] = {
        {"own link in a shared folder", 01777, 0, 0, true},
        {"other's link in a shared folder", 01777, 0, kOtherUser, false},
        {"other's link in a shared folder of the group", 01775, 0, kOtherUser, false},
        {"folder owner's link in the owner's shared folder", 01777, kOtherUser, kOtherUser, true},
        {"other's link in a sticky folder only its owner writes", 01755, 0, kOtherUser, true},
        {"other's link in a folder without the sticky bit", 0777, 0, kOtherUser, true},
    };
    int index = 0;
    for (const auto& c : cases) {
        const std::string shared = dir.File("shared" + std::to_string(index++));
        fs::create_directories(shared);
        ASSERT_EQ(::chown(shared.c_str(), c.folderOwner, c.folderOwner), 0);
        ASSERT_EQ(::chmod(shared.c_str(), c.folderMode), 0);
        const std::string link = shared + "/photo.jpg";
        Plant(secret, link, c.linkOwner);
        Put(secret, "secret");

        const ExistingEntry entry = LookAtOutput(link);
        EXPECT_EQ(entry.kind, c.followed ? ExistingEntry::Kind::File : ExistingEntry::Kind::Unknown)
            << c.name;
        EXPECT_EQ(entry.link, link) << c.name;
        EXPECT_EQ(entry.target, secret) << c.name;
        EXPECT_EQ(ShownForReplacement(link, entry), link + "\n（リンク先: " + secret + "）");

        FileError error;
        EXPECT_EQ(Replace(link, "photo", &error), c.followed) << c.name;
        EXPECT_EQ(Text(secret), c.followed ? "photo" : "secret") << c.name;
        EXPECT_TRUE(fs::is_symlink(link)) << c.name;
        if (!c.followed) {
            EXPECT_EQ(error.path, link) << c.name;
            EXPECT_NE(Japanese(FailureDetail(error)).find("シンボリックリンク"), std::string::npos);
            EXPECT_NE(Japanese(FailureDetail(error)).find(secret), std::string::npos);
        }
        FileError openError;
        const int fd = OpenForUpdate(link, openError);
        EXPECT_EQ(fd >= 0, c.followed) << c.name;
        if (fd >= 0) {
            ::close(fd);
        }
        EXPECT_EQ(Entries(shared), 1u) << c.name;
        EXPECT_EQ(Entries(dir.File("home")), 1u) << c.name;
    }
}

TEST(LinkSafety, PlantedLinksAlongTheWayAreNotFollowedEither) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "links owned by another user need the superuser; run the suite as root";
    }
    test::TempDir dir;
    fs::create_directories(dir.File("home/sub"));
    Put(dir.File("home/secret"), "secret");
    Put(dir.File("home/sub/secret"), "secret");
    fs::create_directories(dir.File("shared"));
    ASSERT_EQ(::chmod(dir.File("shared").c_str(), 01777), 0);
    fs::create_directories(dir.File("mine"));
    // Own link to another user's link; another user's link standing for a folder.
    Plant(dir.File("home/secret"), dir.File("shared/planted.jpg"), kOtherUser);
    Plant(dir.File("shared/planted.jpg"), dir.File("mine/chain.jpg"), 0);
    Plant(dir.File("home/sub"), dir.File("shared/out"), kOtherUser);
    Plant("../shared/out/secret", dir.File("mine/through-folder.jpg"), 0);
    for (const std::string& path : {dir.File("mine/chain.jpg"), dir.File("shared/out/secret"),
                                    dir.File("mine/through-folder.jpg")}) {
        FileError error;
        EXPECT_FALSE(Replace(path, "photo", &error)) << path;
        EXPECT_EQ(error.code, EACCES) << path;
        EXPECT_EQ(LookAtOutput(path).kind, ExistingEntry::Kind::Unknown) << path;
    }
    EXPECT_EQ(Text(dir.File("home/secret")), "secret");
    EXPECT_EQ(Text(dir.File("home/sub/secret")), "secret");
}

TEST(LinkSafety, ALookThatFailsIsNeverTakenForNothingThere) {
    test::TempDir dir;
    Put(dir.File("a.jpg"), "old");
    test::RefusedLook refused("a.jpg");
    const ExistingEntry entry = LookAtOutput(dir.File("a.jpg"));
    EXPECT_EQ(entry.kind, ExistingEntry::Kind::Unknown);
    EXPECT_EQ(entry.error.code, EACCES);
    FileError error;
    EXPECT_FALSE(Replace(dir.File("a.jpg"), "new", &error));
    EXPECT_EQ(error.code, EACCES);
    EXPECT_EQ(Text(dir.File("a.jpg")), "old");
    EXPECT_EQ(Entries(dir.path()), 1u);
    // Nothing there is still nothing there.
    EXPECT_EQ(LookAtOutput(dir.File("b.jpg")).kind, ExistingEntry::Kind::Absent);
}

class Umask {
public:
    explicit Umask(mode_t mask) : previous_(::umask(mask)) {}
    ~Umask() { ::umask(previous_); }

private:
    mode_t previous_;
};

mode_t ModeOf(const std::string& path) {
    struct stat info;
    return ::stat(path.c_str(), &info) == 0 ? info.st_mode & 07777 : 0;
}

TEST(LinkSafety, NewFilesTakeTheUmaskAndReplacementsNoSpecialBits) {
    const struct {
        mode_t umask;
        int replaced;  // mode of the file replaced, -1 for a new file
        mode_t expected;
    } cases[] = {
        {022, -1, 0644},    {077, -1, 0600},    {0, -1, 0666},
        {077, 04777, 0777}, {022, 02750, 0750}, {022, 01644, 0644},
        {077, 0640, 0640},  {0, 06755, 0755},   {022, 0400, 0400},
    };
    for (const auto& c : cases) {
        test::TempDir dir;
        const std::string path = dir.File("a.png");
        if (c.replaced >= 0) {
            Put(path, "old");
            ASSERT_EQ(::chmod(path.c_str(), static_cast<mode_t>(c.replaced)), 0);
        }
        const Umask mask(c.umask);
        ASSERT_TRUE(Replace(path, "new")) << std::oct << c.replaced;
        EXPECT_EQ(ModeOf(path), c.expected) << std::oct << c.umask << " " << c.replaced;
    }
}

TEST(LinkSafety, TheSuperuserKeepsTheReplacedFilesOwner) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "only the superuser may give a file to another user";
    }
    test::TempDir dir;
    const std::string path = dir.File("a.png");
    Put(path, "old");
    ASSERT_EQ(::chown(path.c_str(), kOtherUser, kOtherUser), 0);
    ASSERT_TRUE(Replace(path, "new"));
    struct stat info;
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_uid, kOtherUser);
    EXPECT_EQ(info.st_gid, kOtherUser);
    Put(dir.File("b.png"), "old");
    ASSERT_TRUE(Replace(dir.File("b.png"), "new"));
    ASSERT_EQ(::stat(dir.File("b.png").c_str(), &info), 0);
    EXPECT_EQ(info.st_uid, 0u);
}

TEST(LinkSafety, TwoWritersOfANewNameNeverReplaceEachOther) {
    test::TempDir dir;
    const std::string path = dir.File("s01.png");
    constexpr int kRounds = 300;
    int lost = 0;
    for (int round = 0; round < kRounds; ++round) {
        fs::remove(path);
        std::atomic<int> ready{0};
        bool committed[2] = {};
        bool taken[2] = {};
        AtomicFile files[2];
        std::thread writers[2];
        for (int w = 0; w < 2; ++w) {
            writers[w] = std::thread([&, w] {
                const std::string text(1, static_cast<char>('a' + w));
                ASSERT_TRUE(files[w].Open(path));
                ASSERT_TRUE(files[w].Write(text.data(), text.size()));
                ++ready;
                while (ready.load() < 2) {
                }
                committed[w] = files[w].Commit(/*mayReplace=*/false);
                taken[w] = files[w].takenMeanwhile();
            });
        }
        for (std::thread& writer : writers) {
            writer.join();
        }
        // Exactly one took the name; the other was told, and still has its bytes.
        ASSERT_NE(committed[0], committed[1]) << round;
        const int winner = committed[0] ? 0 : 1;
        ASSERT_TRUE(taken[1 - winner]) << round;
        lost += Text(path) != std::string(1, static_cast<char>('a' + winner));
        ASSERT_EQ(Entries(dir.path()), 2u) << round;
        if (round % 2 == 0) {
            ASSERT_TRUE(files[1 - winner].Commit(/*mayReplace=*/true));
            EXPECT_EQ(Text(path), std::string(1, static_cast<char>('a' + 1 - winner)));
        } else {
            files[1 - winner].Discard();
        }
        ASSERT_EQ(Entries(dir.path()), 1u) << round;
    }
    EXPECT_EQ(lost, 0);
}

TEST(LinkSafety, AFolderOfTheNameStillFailsAsAFolder) {
    test::TempDir dir;
    fs::create_directories(dir.File("a.jpg"));
    AtomicFile file;
    ASSERT_TRUE(file.Open(dir.File("a.jpg")));
    EXPECT_FALSE(file.Commit(/*mayReplace=*/false));
    EXPECT_EQ(file.error().code, EISDIR);
    EXPECT_FALSE(file.takenMeanwhile());
    EXPECT_EQ(LookAtOutput(dir.File("a.jpg")).kind, ExistingEntry::Kind::Folder);
    EXPECT_EQ(Entries(dir.path()), 1u);
}

}  // namespace
}  // namespace korvale
