// The list order, its statistics, the texts shown for it, and the removals.
#include <gtest/gtest.h>

#include "ListStatistics.h"
#include "RegisterFiles.h"

namespace korvale {
namespace {

FileList ListOf(const std::vector<FileEntry>& entries) {
    FileList list;
    list.MergeBatch(entries);
    return list;
}

FileList Numbered(int count) {
    std::vector<FileEntry> entries;
    for (int i = 1; i <= count; ++i) {
        entries.push_back({"/img/" + std::string(1, static_cast<char>('a' + i - 1)) + ".jpg",
                           static_cast<uint32_t>(i), 1, 1});
    }
    return ListOf(entries);
}

std::vector<uint32_t> Widths(const FileList& list) {
    std::vector<uint32_t> widths;
    for (const FileEntry& e : list) {
        widths.push_back(e.width);
    }
    return widths;
}

std::vector<std::string> Paths(const FileList& list) {
    std::vector<std::string> paths;
    for (const FileEntry& e : list) {
        paths.push_back(e.path);
    }
    return paths;
}

// Letters fold to lower case, so "_" (0x5F) sorts before every letter.
TEST(FileListOrder, SortsIgnoringAsciiCaseWithHighBytesAfterLetters) {
    FileList list = ListOf({{"/x/b.jpg"},
                            {"/x/C.jpg"},
                            {"/x/\xC3\xA9.jpg"},
                            {"/x/A.jpg"},
                            {"/x/z.jpg"},
                            {"/x/_.jpg"}});
    EXPECT_EQ(Paths(list), (std::vector<std::string>{"/x/_.jpg", "/x/A.jpg", "/x/b.jpg", "/x/C.jpg",
                                                     "/x/z.jpg", "/x/\xC3\xA9.jpg"}));
}

TEST(FileListOrder, ListedEntrySurvivesANewcomerThatDiffersOnlyInCase) {
    FileList list = ListOf({{"/x/IMG/A.JPG", 1, 1, 1}, {"/x/b.jpg", 2, 2, 2}});
    EXPECT_EQ(list.MergeBatch({{"/x/img/a.jpg", 9, 9, 9}, {"/x/0.jpg", 3, 3, 3}}), 1);
    EXPECT_EQ(Paths(list), (std::vector<std::string>{"/x/0.jpg", "/x/b.jpg", "/x/IMG/A.JPG"}));
    EXPECT_EQ(list[2].width, 1u);
}

TEST(FileListOrder, FirstNewcomerSurvivesAmongEqualNewcomers) {
    FileList list;
    EXPECT_EQ(list.MergeBatch({{"/x/a.jpg", 1}, {"/x/A.jpg", 2}, {"/x/a.JPG", 3}}), 2);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].width, 1u);
    EXPECT_EQ(list[0].path, "/x/a.jpg");
}

struct StatisticsCase {
    const char* name;
    std::vector<uint32_t> widths;
    std::vector<uint32_t> dpis;
    QuantityStatistics expectedWidth;
    QuantityStatistics expectedDpi;
};

TEST(ListStatistics, MinimumMaximumTruncatedAverageAndModeWithTiesToTheLargest) {
    const StatisticsCase cases[] = {
        {"single", {640}, {72}, {640, 640, 640, 640}, {72, 72, 72, 72}},
        {"tie goes to the largest",
         {800, 600, 600, 800},
         {1, 1, 1, 1},
         {600, 800, 700, 800},
         {1, 1, 1, 1}},
        {"average truncates", {3, 4}, {0, 300}, {3, 4, 3, 4}, {0, 300, 150, 300}},
        {"average of 100 101 101",
         {100, 101, 101},
         {72, 72, 96},
         {100, 101, 100, 101},
         {72, 96, 80, 72}},
        {"mode among several",
         {1, 2, 3, 4, 5},
         {72, 72, 96, 96, 300},
         {1, 5, 3, 5},
         {72, 300, 127, 96}},
        {"sum beyond 32 bits",
         {65535, 65535},
         {UINT32_MAX, UINT32_MAX},
         {65535, 65535, 65535, 65535},
         {UINT32_MAX, UINT32_MAX, UINT32_MAX, UINT32_MAX}},
    };
    for (const auto& c : cases) {
        std::vector<FileEntry> entries;
        for (size_t i = 0; i < c.widths.size(); ++i) {
            entries.push_back({"/f" + std::to_string(i), c.widths[i], 7, c.dpis[i]});
        }
        ListStatistics s;
        ComputeListStatistics(ListOf(entries), s);
        const auto check = [&c](const QuantityStatistics& got, const QuantityStatistics& want,
                                const char* quantity) {
            EXPECT_EQ(got.minimum, want.minimum) << c.name << " " << quantity;
            EXPECT_EQ(got.maximum, want.maximum) << c.name << " " << quantity;
            EXPECT_EQ(got.average, want.average) << c.name << " " << quantity;
            EXPECT_EQ(got.mode, want.mode) << c.name << " " << quantity;
        };
        check(s.width, c.expectedWidth, "width");
        check(s.dpi, c.expectedDpi, "dpi");
        check(s.height, {7, 7, 7, 7}, "height");
    }
}

TEST(ListStatistics, TextsCarryOneTrailingBlankAndAreEmptyForAnEmptyList) {
    ListStatistics s;
    ComputeListStatistics(ListOf({{"/a", 640, 480, 72}}), s);
    const auto texts = StatisticTexts(s, false);
    EXPECT_EQ(texts[0], "640 ");
    EXPECT_EQ(texts[5], "480 ");
    EXPECT_EQ(texts[11], "72 ");
    ComputeListStatistics(FileList(), s);
    for (const std::string& text : StatisticTexts(s, true)) {
        EXPECT_EQ(text, "");
    }
    EXPECT_EQ(s.width.minimum, UINT32_MAX);
    EXPECT_EQ(s.width.maximum, 0u);
    EXPECT_EQ(s.width.average, 640u);  // kept from the former list; unused while empty
    EXPECT_EQ(FileCountText(0), "0 ");
    EXPECT_EQ(FileCountText(10000), "10000 ");
}

TEST(FileCellText, NumberNameAndValues) {
    const FileList list = ListOf({{"/img/sub/a.jpg", 640, 480, 0}, {"relative.bmp", 1, 2, 300}});
    EXPECT_EQ(FileCellText(list, 0, FileColumn::Number), "1");
    EXPECT_EQ(FileCellText(list, 0, FileColumn::Name), "a.jpg");
    EXPECT_EQ(FileCellText(list, 0, FileColumn::Width), "640");
    EXPECT_EQ(FileCellText(list, 0, FileColumn::Height), "480");
    EXPECT_EQ(FileCellText(list, 0, FileColumn::Dpi), "0");
    EXPECT_EQ(FileCellText(list, 1, FileColumn::Number), "2");
    EXPECT_EQ(FileCellText(list, 1, FileColumn::Name), "relative.bmp");
}

class CountingHost : public FileListHost {
public:
    void RefreshFileList() override { calls.push_back("refresh"); }
    void UpdateControlStates(bool interactive) override {
        calls.push_back(interactive ? "update(true)" : "update(false)");
    }
    std::vector<std::string> calls;
};

struct RemovalCase {
    const char* name;
    int count;
    std::function<void(FileList&, FileListHost&)> remove;
    std::vector<uint32_t> remaining;  // the former numbers
};

TEST(Removal, KeepsTheOthersInOrderThenRefreshesAndUpdates) {
    const RemovalCase cases[] = {
        {"odd of 5", 5, RemoveOddNumberedFiles, {2, 4}},
        {"even of 5", 5, RemoveEvenNumberedFiles, {1, 3, 5}},
        {"odd of 1", 1, RemoveOddNumberedFiles, {}},
        {"even of 1", 1, RemoveEvenNumberedFiles, {1}},
        {"odd twice of 8",
         8,
         [](FileList& l, FileListHost& h) {
             RemoveOddNumberedFiles(l, h);
             RemoveOddNumberedFiles(l, h);
         },
         {4, 8}},
        {"all", 3, RemoveAllFiles, {}},
        {"selected 2, 3 and 7 of 8",
         8,
         [](FileList& l, FileListHost& h) {
             RemoveSelectedFiles(l, {1, 2, 6}, h);
         },
         {1, 4, 5, 6, 8}},
        {"nothing selected",
         3,
         [](FileList& l, FileListHost& h) { RemoveSelectedFiles(l, {}, h); },
         {1, 2, 3}},
        {"every row selected",
         4,
         [](FileList& l, FileListHost& h) {
             RemoveSelectedFiles(l, {0, 1, 2, 3}, h);
         },
         {}},
    };
    for (const auto& c : cases) {
        FileList list = Numbered(c.count);
        CountingHost host;
        c.remove(list, host);
        EXPECT_EQ(Widths(list), c.remaining) << c.name;
        ASSERT_GE(host.calls.size(), 2u) << c.name;
        EXPECT_EQ(host.calls[0], "refresh") << c.name;
        EXPECT_EQ(host.calls[1], "update(true)") << c.name;
    }
}

}  // namespace
}  // namespace korvale
