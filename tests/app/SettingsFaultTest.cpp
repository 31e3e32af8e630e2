// The settings store where its file cannot be used: a named pipe reads as the defaults and is
// never written into, and a failed save says which file and why.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "MessageWords.h"
#include "OptionStore.h"
#include "TestFiles.h"

namespace korvale {
namespace {

namespace fs = std::filesystem;

TEST(SettingsFaults, ANamedPipeReadsAsTheDefaultsAndIsNotWritten) {
    test::TempDir dir;
    const std::string path = dir.File("korvale.conf");
    ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
    SettingsStore store = SettingsStore::ForFile(path);  // returns at once
    EXPECT_EQ(store.ReadInt("SizeX"), std::nullopt);
    const BatchOptions options = LoadBatchOptions(store, 0);
    EXPECT_EQ(options.targetWidth, 2480);
    const std::optional<FileError> failure = SaveBatchOptions(ControlsShowing(options), store);
    ASSERT_TRUE(failure);
    EXPECT_EQ(FailureDetail(*failure), path + "\n通常のファイルではありません。");
    EXPECT_TRUE(fs::is_fifo(path));
}

TEST(SettingsFaults, ANamedPipeInTheConfigurationFolderIsNotWaitedFor) {
    test::TempDir dir;
    fs::create_directories(dir.File("Brenvik"));
    ASSERT_EQ(::mkfifo(dir.File("Brenvik/korvale-test.conf").c_str(), 0600), 0);
    ::setenv("XDG_CONFIG_HOME", dir.path().c_str(), 1);
    SettingsStore store = SettingsStore::ForApplication("korvale-test");
    EXPECT_EQ(store.ReadText("Folder"), std::nullopt);
    EXPECT_TRUE(store.Flush());
    ::unsetenv("XDG_CONFIG_HOME");
}

TEST(SettingsFaults, ASaveThatCannotBeWrittenIsReported) {
    test::TempDir dir;
    const std::string path = dir.File("gone/korvale.conf");
    SettingsStore store = SettingsStore::ForFile(path);
    fs::create_directories(dir.File("gone"));
    test::WriteFile(path, {});
    // A folder in place of the file: the new file cannot take its name.
    fs::remove(path);
    fs::create_directories(path + "/inside");
    EXPECT_TRUE(SaveBatchOptions(ControlsShowing(BatchOptions{}), store));

    SettingsStore written = SettingsStore::ForFile(dir.File("ok.conf"));
    EXPECT_EQ(SaveBatchOptions(ControlsShowing(BatchOptions{}), written), std::nullopt);
}

}  // namespace
}  // namespace korvale
