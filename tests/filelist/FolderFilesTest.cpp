// Adding folders: which files a folder tree brings, links and loops, the limit, stopping.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "CommandLineFiles.h"
#include "FolderFiles.h"
#include "MessageWords.h"
#include "RecordingInteraction.h"
#include "TestFiles.h"

namespace korvale {
namespace {

class CountingHost : public FileListHost {
public:
    void RefreshFileList() override { ++refreshes; }
    void UpdateControlStates(bool) override {}
    int refreshes = 0;
};

class FolderFilesTest : public ::testing::Test {
protected:
    // A readable BMP header at `relative`, its folders made as needed.
    std::string Image(const std::string& relative) {
        const std::string path = dir_.File(relative);
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        test::WriteFile(path, test::MakeBmp({}));
        return path;
    }
    void Link(const std::string& target, const std::string& relative) {
        ASSERT_EQ(::symlink(target.c_str(), dir_.File(relative).c_str()), 0) << relative;
    }
    std::vector<std::string> Expanded(const std::vector<std::string>& paths) {
        auto found = ExpandFolders(paths, ui_, FileList::kMaxEntries);
        EXPECT_TRUE(found);
        std::sort(found->begin(), found->end());
        return *found;
    }

    test::TempDir dir_;
    test::TempDir elsewhere_;
    test::RecordingInteraction ui_;
    CountingHost host_;
};

TEST_F(FolderFilesTest, TreeBringsItsImagesOnlyOnceEachWithoutHiddenOnes) {
    std::vector<std::string> wanted = {Image("root/a.bmp"),           Image("root/UPPER.JPG"),
                                       Image("root/sub/b.png"),       Image("root/sub/deep/c.TIFF"),
                                       Image("root/sub/deep/d.jpeg"), Image("root/sub/e.tif")};
    Image("root/.hidden.bmp");
    Image("root/.cache/f.bmp");
    Image("root/sub/.git/g.jpg");
    test::WriteFile(dir_.File("root/notes.txt"), {'x'});
    test::WriteFile(dir_.File("root/noext"), test::MakeBmp({}));
    ASSERT_EQ(::mkfifo(dir_.File("root/pipe.bmp").c_str(), 0600), 0);
    std::sort(wanted.begin(), wanted.end());
    EXPECT_EQ(Expanded({dir_.File("root")}), wanted);
    // A trailing separator names the same folder and the same files.
    EXPECT_EQ(Expanded({dir_.File("root") + "/"}), wanted);
    EXPECT_EQ(ui_.walkEnds, 2);
    EXPECT_EQ(ui_.waitDepth, 0);
}

TEST_F(FolderFilesTest, LinksAreFollowedButEveryFolderIsWalkedOnce) {
    const std::string outside = elsewhere_.File("shared");
    std::filesystem::create_directories(outside);
    test::WriteFile(outside + "/s.bmp", test::MakeBmp({}));
    const std::string inside = Image("root/in/i.bmp");
    Link(outside, "root/to-shared");
    Link(outside, "root/to-shared-again");
    Link(dir_.File("root"), "root/in/loop");  // back to the top: a loop
    Link("..", "root/in/up");                 // the same loop, relative
    Link(dir_.File("root/in/i.bmp"), "root/file-link.bmp");
    Link(dir_.File("nothing"), "root/dangling.bmp");
    const std::vector<std::string> found = Expanded({dir_.File("root")});
    EXPECT_EQ(found, (std::vector<std::string>{dir_.File("root/file-link.bmp"), inside,
                                               dir_.File("root/to-shared/s.bmp")}));
}

TEST_F(FolderFilesTest, FilesBesideFoldersStayInPlaceAndFolderlessBatchesAreUntouched) {
    const std::string file = Image("a.bmp");
    const std::string inner = Image("f/b.bmp");
    std::vector<std::string> batch = {dir_.File("missing.jpg"), file, dir_.File("f")};
    auto found = ExpandFolders(batch, ui_, FileList::kMaxEntries);
    ASSERT_TRUE(found);
    EXPECT_EQ(*found, (std::vector<std::string>{dir_.File("missing.jpg"), file, inner}));
    // Without a folder there is no walk and no wait cursor.
    ui_ = test::RecordingInteraction();
    EXPECT_EQ(*ExpandFolders({file}, ui_, 5), std::vector<std::string>{file});
    EXPECT_TRUE(ui_.events.empty());
    EXPECT_EQ(ui_.walkEnds, 0);
}

TEST_F(FolderFilesTest, RegisteringAFolderProbesAndCountsAsFilesDo) {
    Image("f/a.bmp");
    Image("f/B.BMP");
    test::WriteFile(dir_.File("f/broken.jpg"), {0xFF, 0xD8});
    FileList list;
    const RegisterOutcome outcome = RegisterPaths(list, {dir_.File("f")}, ui_, host_);
    EXPECT_EQ(outcome.added, 2);
    EXPECT_EQ(outcome.unreadable, 1);
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].path, dir_.File("f/a.bmp"));
    EXPECT_EQ(list[1].path, dir_.File("f/B.BMP"));
    EXPECT_EQ(ui_.MessageTexts(),
              std::vector<std::string>{"読み取れないファイルが 1 個ありました。"});
    // Adding the folder again brings only duplicates.
    ui_ = test::RecordingInteraction();
    RegisterPaths(list, {dir_.File("f")}, ui_, host_);
    EXPECT_EQ(list.size(), 2u);
    EXPECT_EQ(ui_.MessageTexts(),
              (std::vector<std::string>{"読み取れないファイルが 1 個ありました。",
                                        "重複するファイルが 2 個ありました。"}));
}

TEST_F(FolderFilesTest, TheListKnowsTheOneFolderThatWasAdded) {
    Image("f/sub/a.bmp");
    Image("g/b.bmp");
    Image("loose.bmp");
    FileList list;
    RegisterPaths(list, {dir_.File("f/")}, ui_, host_);
    EXPECT_EQ(list.AddedFolder(), dir_.File("f"));
    RegisterPaths(list, {dir_.File("loose.bmp"), dir_.File("f")}, ui_, host_);
    EXPECT_EQ(list.AddedFolder(), dir_.File("f"));  // a file or the same folder again
    RegisterPaths(list, {dir_.File("g")}, ui_, host_);
    EXPECT_EQ(list.AddedFolder(), "");  // two folders: none is the base
    list.RemovePositions([](size_t) { return true; });
    RegisterPaths(list, {dir_.File("g")}, ui_, host_);
    EXPECT_EQ(list.AddedFolder(), dir_.File("g"));  // an emptied list starts again
    list.Clear();
    RegisterPaths(list, {dir_.File("empty-or-missing")}, ui_, host_);
    EXPECT_EQ(list.AddedFolder(), "");  // nothing added, nothing noted
}

TEST_F(FolderFilesTest, AFolderWithoutImagesIsSaidSo) {
    Image("empty/.hidden.bmp");
    FileList list;
    RegisterPaths(list, {dir_.File("empty")}, ui_, host_);
    EXPECT_EQ(ui_.MessageTexts(), std::vector<std::string>{Japanese(kNoImagesInFolder)});
    EXPECT_EQ(host_.refreshes, 0);
}

TEST_F(FolderFilesTest, MoreThanTheLimitIsRefusedBeforeAnyHeaderIsRead) {
    // 12000 files in 40 folders; their bytes are not images, so a probe would count them.
    for (int folder = 0; folder < 40; ++folder) {
        const std::string path = dir_.File("big/" + std::to_string(folder));
        std::filesystem::create_directories(path);
        for (int i = 0; i < 300; ++i) {
            test::WriteFile(path + "/" + std::to_string(i) + ".jpg", {});
        }
    }
    FileList list;
    const RegisterOutcome outcome = RegisterPaths(list, {dir_.File("big")}, ui_, host_);
    EXPECT_TRUE(outcome.refused);
    EXPECT_TRUE(list.empty());
    EXPECT_EQ(ui_.MessageTexts(), std::vector<std::string>{"ファイル数は最大 10000 です。"});
    EXPECT_EQ(host_.refreshes, 0);
    // A list with room for fewer is refused likewise, the walk ending early.
    FileList nearlyFull;
    std::vector<FileEntry> entries;
    for (int i = 0; i < 9990; ++i) {
        entries.push_back({"/listed/" + std::to_string(100000 + i) + ".jpg", 1, 1, 0});
    }
    nearlyFull.MergeBatch(std::move(entries));
    ui_ = test::RecordingInteraction();
    EXPECT_TRUE(RegisterPaths(nearlyFull, {dir_.File("big/0")}, ui_, host_).refused);
    EXPECT_EQ(nearlyFull.size(), 9990u);
    EXPECT_TRUE(ui_.walkReports.empty());
}

TEST_F(FolderFilesTest, StoppingTheWalkAddsNothingAndSaysNothing) {
    for (int i = 0; i < 600; ++i) {
        Image("many/" + std::to_string(i) + ".bmp");
    }
    ui_.stopWalkAt = 512;
    FileList list;
    RegisterPaths(list, {dir_.File("many")}, ui_, host_);
    EXPECT_TRUE(list.empty());
    EXPECT_TRUE(ui_.messages.empty());
    EXPECT_EQ(ui_.walkReports, (std::vector<size_t>{256, 512}));
    EXPECT_EQ(ui_.walkEnds, 1);
    EXPECT_EQ(ui_.waitDepth, 0);
}

TEST_F(FolderFilesTest, AFolderNamedOnTheWindowsCommandLineBringsItsImages) {
    const std::string inner = Image("cmd/sub/a.bmp");
    const std::string file = Image("b.bmp");
    FileList list;
    AddCommandLineFiles({"-q", dir_.File("cmd"), file, dir_.File("missing")}, list, ui_, host_);
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].path, file);
    EXPECT_EQ(list[1].path, inner);
    EXPECT_TRUE(ui_.messages.empty());
}

}  // namespace
}  // namespace korvale
