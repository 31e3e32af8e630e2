// Loading the preset file (first-run copy, error counting, messages) and saving it safely.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "AtomicFile.h"
#include "PresetStore.h"
#include "RecordingInteraction.h"
#include "TestFiles.h"

namespace korvale {
namespace {

namespace fs = std::filesystem;

const char kOpenFailed[] = "プリセットデータの読み出しに失敗しました。(Open)";
const char kReadError[] = "プリセットデータの読み出しでエラーが発生しました。";

std::string ReadErrorCount(int count) {
    return "プリセットデータの読み出しでエラーが発生しました。（" + std::to_string(count) + " 回）";
}

void WriteText(const std::string& path, const std::string& text) {
    test::WriteFile(path, test::Bytes(text.begin(), text.end()));
}

std::string ReadText(const std::string& path) {
    const test::Bytes bytes = test::ReadFile(path);
    return std::string(bytes.begin(), bytes.end());
}

// A home of its own: the preset folder below "data", default files in "bin" and "share".
class PresetStoreTest : public ::testing::Test {
protected:
    PresetStoreTest() {
        location.folder = dir.File("data/Brenvik/Korvale/");
        location.defaultFileFolders = {dir.File("bin/"), dir.File("share/korvale/")};
    }
    std::string PresetFile() const { return location.folder + kPresetFileName; }
    std::string TempFile() const { return location.folder + kPresetTempFileName; }
    void WritePresetFile(const std::string& content) {
        fs::create_directories(location.folder);
        WriteText(PresetFile(), content);
    }
    LoadedPresets Load() { return LoadPresets(location, ui); }

    test::TempDir dir;
    PresetLocation location;
    test::RecordingInteraction ui;
};

struct LoadCase {
    const char* name;
    std::string content;
    PresetList expected;
    std::vector<std::string> messages;
};

void PrintTo(const LoadCase& c, std::ostream* os) {
    *os << c.name;
}

class PresetLoad : public PresetStoreTest, public ::testing::WithParamInterface<LoadCase> {};

TEST_P(PresetLoad, LoadsValidRecordsAndReports) {
    WritePresetFile(GetParam().content);
    const LoadedPresets loaded = Load();
    EXPECT_EQ(loaded.presets, GetParam().expected);
    EXPECT_EQ(ui.MessageTexts(), GetParam().messages);
}

const LoadCase kLoadCases[] = {
    {"EmptyFileIsValid", "", {}, {}},
    {"LastLineWithoutLineEnd",
     "\"A\",100,200,300\n\"B\",400,500,600",
     {{"A", 100, 200, 300}, {"B", 400, 500, 600}},
     {}},
    {"HeaderLineIsAnError",
     "name,width,height,dpi\n\"A4\",2480,3508,300\n",
     {{"A4", 2480, 3508, 300}},
     {ReadErrorCount(1)}},
    {"BlankLineAndThreeFieldsAreErrors",
     "\"A\",100,100,100\n\n\"B\",100,100\n",
     {{"A", 100, 100, 100}},
     {ReadErrorCount(2)}},
    {"Bounds",
     "x,31,100,100\nx,32,65535,0\nx,100,100,-1\nx,100,65536,1\n"
     "x,100,100,10001\ny,100,100,10000\n,100,100,100\n",
     {{"x", 32, 65535, 0}, {"y", 100, 100, 10000}},
     {ReadErrorCount(5)}},
    {"NumbersReadLikeAtoi", "x, 100px,+0200,0050\n", {{"x", 100, 200, 50}}, {}},
    {"FieldsAfterTheFourthAreIgnored",
     "x,100,100,100,99999999999,extra\n",
     {{"x", 100, 100, 100}},
     {}},
    {"NumberBeyond32BitsWinsOverTheCount",
     "x,99999999999,100,100\n\nshort\n\"ok\",100,100,100\n",
     {{"ok", 100, 100, 100}},
     {kReadError}},
    {"NegativeNumberBeyond32Bits", "x,100,100,-99999999999\n", {}, {kReadError}},
    {"ByteOrderMarkBeforeTheFirstName",
     "\xEF\xBB\xBF\"A4 300dpi\",2480,3508,300\n",
     {{"A4 300dpi", 2480, 3508, 300}},
     {}},
    {"SixtyFourFieldsAreAPreset",
     "x,100,100,100" + std::string(60, ',') + "\n",
     {{"x", 100, 100, 100}},
     {}},
    {"MoreThanSixtyFourFieldsAreAnError",
     "x,100,100,100" + std::string(61, ',') + "\n\"ok\",100,100,100\n",
     {{"ok", 100, 100, 100}},
     {ReadErrorCount(1)}},
};

INSTANTIATE_TEST_SUITE_P(Cases, PresetLoad, ::testing::ValuesIn(kLoadCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(PresetStoreTest, LoadStopsAt1025Presets) {
    std::string content;
    for (int i = 0; i < 2000; ++i) {
        content += "\"p" + std::to_string(i) + "\",100,100,100\n";
    }
    WritePresetFile(content + "broken\n");
    const LoadedPresets loaded = Load();
    ASSERT_EQ(loaded.presets.size(), 1025u);
    EXPECT_EQ(loaded.presets.back().name, "p1024");
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(PresetStoreTest, MegabytesOfCommasAndBlankLinesAreCountedLines) {
    WritePresetFile(std::string(3 << 20, ',') + "\n\"ok\",100,100,100\n" +
                    std::string(100000, '\n'));
    const LoadedPresets loaded = Load();
    EXPECT_EQ(loaded.presets, (PresetList{{"ok", 100, 100, 100}}));
    EXPECT_EQ(ui.MessageTexts(), std::vector<std::string>{ReadErrorCount(100001)});
    EXPECT_TRUE(loaded.hadProblems);
}

TEST_F(PresetStoreTest, LongNameKeepsItsFirst1023Bytes) {
    WritePresetFile(std::string(2000, 'n') + ",100,100,100\n");
    const LoadedPresets loaded = Load();
    ASSERT_EQ(loaded.presets.size(), 1u);
    EXPECT_EQ(loaded.presets[0].name, std::string(1023, 'n'));
}

TEST_F(PresetStoreTest, FirstRunCopiesTheDefaultBesideTheProgram) {
    const std::string defaults = "\"A4\",2480,3508,300\n\"B5\",2150,3035,300\n";
    fs::create_directories(dir.File("bin"));
    fs::create_directories(dir.File("share/korvale"));
    WriteText(dir.File("bin/KVPreset.csv"), defaults);
    WriteText(dir.File("share/korvale/KVPreset.csv"), "\"other\",100,100,100\n");
    const LoadedPresets loaded = Load();
    EXPECT_EQ(loaded.folder, location.folder);
    EXPECT_EQ(loaded.presets, (PresetList{{"A4", 2480, 3508, 300}, {"B5", 2150, 3035, 300}}));
    EXPECT_EQ(ReadText(PresetFile()), defaults);
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(PresetStoreTest, FirstRunFallsBackToTheSharedFolder) {
    fs::create_directories(dir.File("share/korvale"));
    WriteText(dir.File("share/korvale/KVPreset.csv"), "\"A4\",2480,3508,300\n");
    location.folder.pop_back();  // a folder given without its trailing "/"
    const LoadedPresets loaded = Load();
    EXPECT_EQ(loaded.folder, dir.File("data/Brenvik/Korvale/"));
    EXPECT_EQ(loaded.presets.size(), 1u);
    EXPECT_EQ(ReadText(loaded.folder + kPresetFileName), "\"A4\",2480,3508,300\n");
}

TEST_F(PresetStoreTest, NoDefaultFileGivesTheOpenMessage) {
    const LoadedPresets loaded = Load();
    EXPECT_TRUE(loaded.presets.empty());
    EXPECT_EQ(ui.MessageTexts(), std::vector<std::string>{kOpenFailed});
    EXPECT_TRUE(fs::is_directory(location.folder));  // the folder was made all the same
}

TEST_F(PresetStoreTest, EmptyPresetFileIsNotReplacedByTheDefault) {
    fs::create_directories(dir.File("bin"));
    WriteText(dir.File("bin/KVPreset.csv"), "\"A4\",2480,3508,300\n");
    WritePresetFile("");
    EXPECT_TRUE(Load().presets.empty());
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(ReadText(PresetFile()), "");
}

TEST_F(PresetStoreTest, UnusablePlacesGiveTheOpenMessage) {
    fs::create_directories(dir.File("bin"));
    WriteText(dir.File("bin/KVPreset.csv"), "\"A4\",2480,3508,300\n");
    // The preset file's name taken by a folder.
    const std::string takenName = PresetFile();
    fs::create_directories(takenName);
    EXPECT_TRUE(Load().presets.empty());
    // A file where the preset folder's parent should be.
    location.folder = dir.File("blocked/Korvale/");
    WriteText(dir.File("blocked"), "");
    EXPECT_TRUE(Load().presets.empty());
    EXPECT_EQ(ui.MessageTexts(), (std::vector<std::string>{kOpenFailed, kOpenFailed}));
    EXPECT_TRUE(fs::is_directory(takenName));
}

TEST_F(PresetStoreTest, UnknownDataFolderGivesTheGetFolderMessage) {
    location.folder.clear();
    const LoadedPresets loaded = Load();
    EXPECT_TRUE(loaded.folder.empty());
    EXPECT_TRUE(loaded.presets.empty());
    EXPECT_EQ(ui.MessageTexts(),
              std::vector<std::string>{"プリセットデータの読み出しに失敗しました。(GetFolder)"});
}

const PresetList kSaved = {{"A4", 2480, 3508, 300}, {"say \"hi\", twice", 32, 65535, 0}};
const char kSavedText[] = "\"A4\",2480,3508,300\n\"say \"\"hi\"\", twice\",32,65535,0\n";

TEST_F(PresetStoreTest, SaveReplacesTheFileAndLoadsBack) {
    WritePresetFile("\"old\",100,100,100\n");
    ::chmod(PresetFile().c_str(), 0640);
    EXPECT_TRUE(SavePresets(location.folder, kSaved, ui));
    EXPECT_EQ(ReadText(PresetFile()), kSavedText);
    EXPECT_FALSE(fs::exists(TempFile()));
    struct stat info;
    ASSERT_EQ(::stat(PresetFile().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
    EXPECT_EQ(Load().presets, kSaved);

    EXPECT_TRUE(SavePresets(location.folder, {}, ui));
    EXPECT_EQ(ReadText(PresetFile()), "");
    EXPECT_TRUE(ui.messages.empty());
}

struct SaveFailure {
    const char* name;
    std::function<bool(const PresetStoreTest&)> arrange;  // false: cannot be arranged here
    std::string message;
};

void PrintTo(const SaveFailure& c, std::ostream* os) {
    *os << c.name;
}

// Every write fails as on a full disk.
class FullDevice : public FileCalls {
public:
    ssize_t Write(int, const void*, size_t) override {
        errno = ENOSPC;
        return -1;
    }
};

class PresetSaveFailure : public PresetStoreTest,
                          public ::testing::WithParamInterface<SaveFailure> {
public:
    ~PresetSaveFailure() override { SetFileCalls(nullptr); }
    std::string TempPath() const { return TempFile(); }
    std::string FolderPath() const { return location.folder; }
};

TEST_P(PresetSaveFailure, LeavesTheOldFileAndNoTemporaryFile) {
    WritePresetFile("\"old\",100,100,100\n");
    if (!GetParam().arrange(*this)) {
        GTEST_SKIP() << "cannot be arranged on this machine";
    }
    const bool tempExisted = fs::exists(fs::symlink_status(TempFile()));
    EXPECT_FALSE(SavePresets(location.folder, kSaved, ui));
    EXPECT_EQ(ui.MessageTexts(), std::vector<std::string>{GetParam().message});
    EXPECT_EQ(ReadText(PresetFile()), "\"old\",100,100,100\n");
    // A temporary file made by the save is gone; a folder in its place is left alone.
    if (!tempExisted || fs::is_symlink(fs::symlink_status(TempFile()))) {
        EXPECT_FALSE(fs::exists(fs::symlink_status(TempFile())));
    }
    // Never leave a link to a device for the folder clean-up to follow.
    if (fs::is_symlink(fs::symlink_status(TempFile()))) {
        fs::remove(TempFile());
    }
}

const SaveFailure kSaveFailures[] = {
    {"TemporaryNameTakenByAFolder",
     [](const PresetStoreTest& t) {
         return fs::create_directory(static_cast<const PresetSaveFailure&>(t).TempPath());
     },
     "プリセットの保存に失敗しました。(fopen)"},
    {"ReadOnlyFolder",
     [](const PresetStoreTest& t) {
         // The superuser writes anyway; there the other cases stand for this one.
         return ::geteuid() != 0 &&
                ::chmod(static_cast<const PresetSaveFailure&>(t).FolderPath().c_str(), 0500) == 0;
     },
     "プリセットの保存に失敗しました。(fopen)"},
    {"DeviceFull",
     [](const PresetStoreTest&) {
         static FullDevice full;
         SetFileCalls(&full);
         return true;
     },
     "プリセットの保存に失敗しました。(fwrite)"},
};

INSTANTIATE_TEST_SUITE_P(Cases, PresetSaveFailure, ::testing::ValuesIn(kSaveFailures),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(PresetStoreTest, FailedRenameRemovesTheTemporaryFile) {
    fs::create_directories(PresetFile() + "/inside");  // a folder that rename cannot replace
    EXPECT_FALSE(SavePresets(location.folder, kSaved, ui));
    EXPECT_EQ(ui.MessageTexts(),
              std::vector<std::string>{"プリセットの保存に失敗しました。(MoveFile)"});
    EXPECT_FALSE(fs::exists(TempFile()));
    EXPECT_TRUE(fs::exists(PresetFile() + "/inside"));
}

const char kOriginalKept[] =
    "プリセットを保存しました。読み出しでエラーが発生した元のファイルは KVPreset.csv.bak として"
    "残してあります。";

TEST_F(PresetStoreTest, OnlyAFileWithProblemsNeedsItsOriginalKept) {
    const struct {
        const char* content;
        bool problems;
    } cases[] = {
        {"\"A\",100,100,100\n", false},
        {"", false},
        {"\"A\",100,100,100\nbroken\n", true},
        {"\"A\",99999999999,100,100\n", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.content);
        WritePresetFile(c.content);
        EXPECT_EQ(Load().hadProblems, c.problems);
    }
}

TEST_F(PresetStoreTest, SaveAfterAPartialLoadKeepsTheOriginalBeside) {
    const std::string original = "\"A\",100,100,100\nbroken line\n\"B\",31,100,100\n";
    WritePresetFile(original);
    const LoadedPresets loaded = Load();
    ASSERT_TRUE(loaded.hadProblems);
    ui.messages.clear();
    ui.details.clear();
    EXPECT_TRUE(SavePresets(location.folder, kSaved, ui, /*keepOriginal=*/true));
    EXPECT_EQ(ReadText(PresetFile()), kSavedText);
    EXPECT_EQ(ReadText(location.folder + kPresetBackupFileName), original);
    EXPECT_FALSE(fs::exists(location.folder + kPresetBackupTempFileName));
    EXPECT_EQ(ui.MessageTexts(), std::vector<std::string>{kOriginalKept});
    EXPECT_EQ(ui.details, std::vector<std::string>{location.folder + kPresetBackupFileName});

    // A later save of the same session keeps nothing more: the copy stays the original.
    EXPECT_TRUE(SavePresets(location.folder, {}, ui));
    EXPECT_EQ(ReadText(location.folder + kPresetBackupFileName), original);
    EXPECT_EQ(ui.messages.size(), 1u);
}

TEST_F(PresetStoreTest, KeepingAMissingOriginalSavesWithoutACopy) {
    fs::create_directories(location.folder);
    EXPECT_TRUE(SavePresets(location.folder, kSaved, ui, /*keepOriginal=*/true));
    EXPECT_EQ(ReadText(PresetFile()), kSavedText);
    EXPECT_FALSE(fs::exists(location.folder + kPresetBackupFileName));
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(PresetStoreTest, AFailedCopyOfTheOriginalSavesNothing) {
    const std::string original = "\"A\",100,100,100\nbroken\n";
    WritePresetFile(original);
    fs::create_directories(location.folder + kPresetBackupFileName + "/inside");
    EXPECT_FALSE(SavePresets(location.folder, kSaved, ui, /*keepOriginal=*/true));
    EXPECT_EQ(ui.MessageTexts(),
              std::vector<std::string>{"プリセットの保存に失敗しました。(CopyFile)"});
    EXPECT_EQ(ReadText(PresetFile()), original);
    EXPECT_FALSE(fs::exists(TempFile()));
    EXPECT_FALSE(fs::exists(location.folder + kPresetBackupTempFileName));
}

TEST_F(PresetStoreTest, SaveNeverWritesThroughALinkAtTheTemporaryName) {
    fs::create_directories(location.folder);
    fs::create_symlink("/dev/full", TempFile());
    EXPECT_TRUE(SavePresets(location.folder, kSaved, ui));
    EXPECT_EQ(ReadText(PresetFile()), kSavedText);
    EXPECT_FALSE(fs::exists(fs::symlink_status(TempFile())));
}

TEST_F(PresetStoreTest, SaveWritesThroughALinkAtThePresetFile) {
    fs::create_directories(dir.File("elsewhere"));
    WriteText(dir.File("elsewhere/mine.csv"), "\"old\",100,100,100\n");
    fs::create_directories(location.folder);
    fs::create_symlink(dir.File("elsewhere/mine.csv"), PresetFile());
    EXPECT_TRUE(SavePresets(location.folder, kSaved, ui));
    EXPECT_TRUE(fs::is_symlink(PresetFile()));
    EXPECT_EQ(ReadText(dir.File("elsewhere/mine.csv")), kSavedText);
}

TEST_F(PresetStoreTest, ANamedPipeForThePresetFileGivesTheOpenMessageAtOnce) {
    fs::create_directories(dir.File("bin"));
    WriteText(dir.File("bin/KVPreset.csv"), "\"A4\",2480,3508,300\n");
    fs::create_directories(location.folder);
    ASSERT_EQ(::mkfifo(PresetFile().c_str(), 0600), 0);
    EXPECT_TRUE(Load().presets.empty());
    EXPECT_EQ(ui.MessageTexts(), std::vector<std::string>{kOpenFailed});
    EXPECT_EQ(ui.details,
              std::vector<std::string>{PresetFile() + "\n通常のファイルではありません。"});
    EXPECT_TRUE(fs::is_fifo(PresetFile()));
}

TEST_F(PresetStoreTest, SaveIntoAMissingFolderFailsAtOpen) {
    EXPECT_FALSE(SavePresets(dir.File("gone/"), kSaved, ui));
    EXPECT_EQ(ui.MessageTexts(),
              std::vector<std::string>{"プリセットの保存に失敗しました。(fopen)"});
    EXPECT_FALSE(fs::exists(dir.File("gone")));
}

}  // namespace
}  // namespace korvale
