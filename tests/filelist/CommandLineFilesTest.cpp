// Image paths from the command line.
#include <gtest/gtest.h>
#include <unistd.h>

#include "CommandLineFiles.h"
#include "RecordingInteraction.h"
#include "TestFiles.h"

namespace korvale {
namespace {

TEST(CommandLineFiles, KeepsExistingNonFoldersInOrderAsWritten) {
    test::TempDir dir;
    test::WriteFile(dir.File("x y.jpg"), {});
    test::WriteFile(dir.File("z.jpg"), {});
    test::WriteFile(dir.File("-dash.jpg"), {});
    ASSERT_EQ(::mkdir(dir.File("folder.jpg").c_str(), 0700), 0);
    const struct {
        const char* name;
        std::vector<std::string> arguments;
        std::vector<std::string> kept;
    } cases[] = {
        {"plain paths with a blank",
         {dir.File("z.jpg"), dir.File("x y.jpg")},
         {dir.File("z.jpg"), dir.File("x y.jpg")}},
        {"options are skipped", {"-q", dir.File("z.jpg"), "--style=x"}, {dir.File("z.jpg")}},
        {"double dash ends options", {"-q", "--", "-dash.jpg", "z.jpg"}, {"-dash.jpg", "z.jpg"}},
        {"missing and folders are dropped",
         {dir.File("missing.jpg"), dir.File("folder.jpg"), dir.path(), "", "z.jpg"},
         {"z.jpg"}},
        {"wildcards are not expanded", {"*.jpg"}, {}},
        {"nothing", {}, {}},
    };
    char previous[4096];
    ASSERT_NE(::getcwd(previous, sizeof previous), nullptr);
    ASSERT_EQ(::chdir(dir.path().c_str()), 0);
    for (const auto& c : cases) {
        EXPECT_EQ(CommandLineFiles(c.arguments), c.kept) << c.name;
    }
    ASSERT_EQ(::chdir(previous), 0);
}

TEST(CommandLineFiles, AddsNothingAndSaysNothingWhenNoneExists) {
    struct Host : FileListHost {
        void RefreshFileList() override { ++refreshes; }
        void UpdateControlStates(bool) override {}
        int refreshes = 0;
    } host;
    test::RecordingInteraction ui;
    FileList list;
    AddCommandLineFiles({"/no/such/file.jpg", "/no/such/folder/"}, list, ui, host);
    EXPECT_TRUE(ui.events.empty());
    EXPECT_EQ(host.refreshes, 0);
}

}  // namespace
}  // namespace korvale
