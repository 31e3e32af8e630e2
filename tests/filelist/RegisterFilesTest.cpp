// Adding files: the limit, the probe, the merge and the three counted messages in their order.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "RecordingInteraction.h"
#include "RegisterFiles.h"
#include "TestFiles.h"

namespace korvale {
namespace {

// Records the host calls into the same event list as the messages, to check their order.
class EventHost : public FileListHost {
public:
    explicit EventHost(test::RecordingInteraction& ui) : ui_(ui) {}
    void RefreshFileList() override { ui_.events.push_back("refresh"); }
    void UpdateControlStates(bool interactive) override {
        ui_.events.push_back(interactive ? "update(true)" : "update(false)");
    }

private:
    test::RecordingInteraction& ui_;
};

class RegisterFilesTest : public ::testing::Test {
protected:
    std::string Bmp(const std::string& name, int32_t width = 64, int32_t height = 48) {
        const std::string path = dir_.File(name);
        test::WriteFile(path, test::MakeBmp({40, width, height, 0, 3780, 3780, 0}));
        return path;
    }
    std::string Missing(const std::string& name) { return dir_.File(name); }

    // A list of `count` entries that exist only in the list.
    static FileList ListedOnly(size_t count) {
        std::vector<FileEntry> entries;
        for (size_t i = 0; i < count; ++i) {
            entries.push_back({"/listed/" + std::to_string(100000 + i) + ".jpg", 1, 1, 0});
        }
        FileList list;
        list.MergeBatch(entries);
        return list;
    }

    test::TempDir dir_;
    test::RecordingInteraction ui_;
    EventHost host_{ui_};
};

TEST_F(RegisterFilesTest, LimitRefusesTheWholeBatchBeforeReadingAnything) {
    FileList list = ListedOnly(9999);
    // Both newcomers duplicate listed paths and are missing on disk: neither counts, the batch
    // is refused as a whole.
    const auto outcome =
        RegisterFiles(list, {"/listed/100000.jpg", "/listed/100001.jpg"}, ui_, host_);
    EXPECT_TRUE(outcome.refused);
    EXPECT_EQ(ui_.MessageTexts(), std::vector<std::string>{"ファイル数は最大 10000 です。"});
    EXPECT_EQ(list.size(), 9999u);
    EXPECT_EQ(ui_.waitBegins, 0);
    EXPECT_EQ(std::count(ui_.events.begin(), ui_.events.end(), "refresh"), 0);
}

TEST_F(RegisterFilesTest, ReachingExactlyTheLimitIsAccepted) {
    FileList list = ListedOnly(9999);
    const auto outcome = RegisterFiles(list, {Bmp("new.bmp")}, ui_, host_);
    EXPECT_FALSE(outcome.refused);
    EXPECT_EQ(list.size(), 10000u);
    EXPECT_TRUE(ui_.messages.empty());
    EXPECT_EQ(ui_.events.back(), "wait-");
}

TEST_F(RegisterFilesTest, ListedEntryKeepsItsValuesAgainstACaseVariant) {
    const std::string upper = Bmp("A.BMP", 10, 20);
    const std::string lower = Bmp("a.bmp", 30, 40);  // a distinct file on this file system
    FileList list;
    RegisterFiles(list, {upper}, ui_, host_);
    const auto outcome = RegisterFiles(list, {lower}, ui_, host_);
    EXPECT_EQ(outcome.duplicates, 1);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].path, upper);
    EXPECT_EQ(list[0].width, 10u);
    EXPECT_EQ(ui_.MessageTexts(), std::vector<std::string>{"重複するファイルが 1 個ありました。"});
}

TEST_F(RegisterFilesTest, MessagesInOrderThenRefreshThenUpdateUnderTheWaitCursor) {
    const std::string a = Bmp("a.bmp");
    FileList list;
    RegisterFiles(list, {a}, ui_, host_);
    ui_.events.clear();
    // An unreadable file that would also duplicate counts as unreadable only.
    const auto outcome = RegisterFiles(
        list, {Bmp("b.bmp"), Missing("A.bmp"), Bmp("b.bmp"), dir_.path()}, ui_, host_);
    EXPECT_EQ(outcome.unreadable, 2);
    EXPECT_EQ(outcome.duplicates, 1);
    EXPECT_EQ(outcome.added, 1);
    EXPECT_EQ(ui_.events,
              (std::vector<std::string>{"wait+", "message:読み取れないファイルが 2 個ありました。",
                                        "message:重複するファイルが 1 個ありました。", "refresh",
                                        "update(true)", "wait-"}));
    EXPECT_EQ(list.size(), 2u);
}

TEST_F(RegisterFilesTest, RefreshesWhenAllReadableFilesWereDuplicates) {
    const std::string a = Bmp("a.bmp");
    FileList list;
    RegisterFiles(list, {a}, ui_, host_);
    ui_.events.clear();
    RegisterFiles(list, {a}, ui_, host_);
    EXPECT_EQ(ui_.events,
              (std::vector<std::string>{"wait+", "message:重複するファイルが 1 個ありました。",
                                        "refresh", "update(true)", "wait-"}));
}

TEST_F(RegisterFilesTest, NothingReadableLeavesListAndViewAlone) {
    FileList list;
    RegisterFiles(list, {Missing("x.jpg"), dir_.path()}, ui_, host_);
    EXPECT_EQ(ui_.events,
              (std::vector<std::string>{"wait+", "message:読み取れないファイルが 2 個ありました。",
                                        "wait-"}));
    ui_.events.clear();
    RegisterFiles(list, {}, ui_, host_);
    EXPECT_EQ(ui_.events, (std::vector<std::string>{"wait+", "wait-"}));
    EXPECT_TRUE(list.empty());
}

TEST_F(RegisterFilesTest, LaterAddedNameSortsFirst) {
    FileList list;
    RegisterFiles(list, {Bmp("b.bmp")}, ui_, host_);
    RegisterFiles(list, {Bmp("a.bmp")}, ui_, host_);
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].path, dir_.File("a.bmp"));
    EXPECT_EQ(list[1].path, dir_.File("b.bmp"));
    EXPECT_EQ(ui_.waitDepth, 0);
}

// The count stays the message; each entry that exists but cannot be listed gets a line with
// its escaped name and the reason, in batch order.
TEST_F(RegisterFilesTest, UnreadableEntriesAreNamedWithTheirReasonsInTheDetail) {
    const std::string folder = dir_.File("folder.bmp"), fifo = dir_.File("pipe.jpg"),
                      dangling = dir_.File("dangling.jpg"), text = dir_.File("a\tb\nc.jpg"),
                      locked = dir_.File("locked.bmp");
    ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    ASSERT_EQ(::symlink(dir_.File("nowhere.jpg").c_str(), dangling.c_str()), 0);
    test::WriteFile(text, {'h', 'i'});
    test::WriteFile(locked, {'h', 'i'});
    ASSERT_EQ(::chmod(locked.c_str(), 0), 0);
    // A privileged user reads any file: the permission row applies to others only.
    const std::string lockedReason =
        ::geteuid() == 0 ? "画像として読み取れませんでした。" : "アクセスが拒否されました。";
    FileList list;
    const auto outcome = RegisterFiles(
        list, {folder, Bmp("ok.bmp"), fifo, dangling, Missing("none.jpg"), text, locked}, ui_,
        host_);
    EXPECT_EQ(outcome.unreadable, 6);
    ASSERT_EQ(ui_.MessageTexts(),
              std::vector<std::string>{"読み取れないファイルが 6 個ありました。"});
    ASSERT_EQ(ui_.details.size(), 1u);
    EXPECT_EQ(ui_.details[0],
              folder + ": フォルダです。\n" + fifo + ": 通常のファイルではありません。\n" +
                  dangling + ": リンク先のファイルがありません。\n" + dir_.File("a\\tb\\nc.jpg") +
                  ": 画像として読み取れませんでした。\n" + locked + ": " + lockedReason);
    EXPECT_EQ(list.size(), 1u);
}

TEST_F(RegisterFilesTest, MissingNamesAloneGiveTheCountWithoutDetail) {
    FileList list;
    RegisterFiles(list, {Missing("a.jpg"), Missing("b.bmp")}, ui_, host_);
    ASSERT_EQ(ui_.details.size(), 1u);
    EXPECT_EQ(ui_.details[0], "");
}

}  // namespace
}  // namespace korvale
