// The batch seen as a whole: outputs that are one file, outputs that replace a source still to
// be read, and the sources that a run converts in place.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "BatchClashes.h"
#include "TestFiles.h"

namespace korvale {
namespace {

namespace fs = std::filesystem;

struct Expected {
    BatchClash::Kind kind;
    std::string job;  // source names relative to the test folder
    std::string other;
};

TEST(BatchClashes, OutputsAreComparedAsFolderEntries) {
    const struct {
        const char* name;
        std::vector<std::string> sources;  // created, listed in sorted order
        std::string outputFolder;          // relative; "." for the sources' own folder
        SaveFormat format;
        std::function<void(const test::TempDir&)> arrange;
        std::vector<Expected> clashes;
        std::vector<std::string> replaced;
    } cases[] = {
        {"one name from two folders",
         {"a/photo.jpg", "b/photo.jpg"},
         "out",
         SaveFormat::SameAsSource,
         {},
         {{BatchClash::Kind::SameOutput, "b/photo.jpg", "a/photo.jpg"}},
         {}},
        {"different names", {"a/one.jpg", "b/two.jpg"}, "out", SaveFormat::Bmp, {}, {}, {}},
        {"two formats become one",
         {"a/scan.bmp", "a/scan.png"},
         "out",
         SaveFormat::Jpeg,
         {},
         {{BatchClash::Kind::SameOutput, "a/scan.png", "a/scan.bmp"}},
         {}},
        {"a link in the output folder names another output",
         {"a/one.jpg", "a/two.jpg"},
         "out",
         SaveFormat::SameAsSource,
         [](const test::TempDir& dir) { fs::create_symlink("one.jpg", dir.File("out/two.jpg")); },
         {{BatchClash::Kind::SameOutput, "a/two.jpg", "a/one.jpg"}},
         {}},
        {"an output replaces a later source",
         {"a/scan.bmp", "a/scan.jpg"},
         "a",
         SaveFormat::Jpeg,
         {},
         // scan.jpg, converted in place, also writes the output scan.bmp writes.
         {{BatchClash::Kind::ReplacesSource, "a/scan.bmp", "a/scan.jpg"},
          {BatchClash::Kind::SameOutput, "a/scan.jpg", "a/scan.bmp"}},
         {"a/scan.jpg"}},
        {"converted in place",
         {"a/one.jpg", "a/two.jpg"},
         "a",
         SaveFormat::SameAsSource,
         {},
         {},
         {"a/one.jpg", "a/two.jpg"}},
        {"an earlier source, read already, is replaced",
         {"a/scan.jpg", "a/scan.png"},
         "a",
         SaveFormat::Jpeg,
         {},
         {{BatchClash::Kind::SameOutput, "a/scan.png", "a/scan.jpg"}},
         {"a/scan.jpg"}},
        {"a source reached through a link is replaced before it is read",
         {"a/first.bmp", "b/second.jpg"},
         "a",
         SaveFormat::Jpeg,
         [](const test::TempDir& dir) {
             fs::create_symlink(dir.File("b/second.jpg"), dir.File("a/first.jpg"));
         },
         {{BatchClash::Kind::ReplacesSource, "a/first.bmp", "b/second.jpg"}},
         {}},
    };
    for (const auto& c : cases) {
        test::TempDir dir;
        FileList list;
        std::vector<FileEntry> batch;
        for (const std::string& source : c.sources) {
            fs::create_directories(fs::path(dir.File(source)).parent_path());
            test::WriteFile(dir.File(source), {1});
            batch.push_back({dir.File(source), 1, 1, 0});
        }
        list.MergeBatch(batch);
        fs::create_directories(dir.File(c.outputFolder));
        if (c.arrange) {
            c.arrange(dir);
        }
        BatchRequest request;
        request.outputFolder = dir.File(c.outputFolder);
        request.saveFormat = c.format;
        const std::vector<std::string> outputs = OutputPaths(request, list);
        const OutputOverlaps overlaps = FindOverlaps(list, outputs);
        std::vector<Expected> found;
        for (const BatchClash& clash : overlaps.clashes) {
            found.push_back({clash.kind, list[clash.job].path.substr(dir.path().size() + 1),
                             list[clash.other].path.substr(dir.path().size() + 1)});
        }
        ASSERT_EQ(found.size(), c.clashes.size()) << c.name;
        for (size_t i = 0; i < found.size(); ++i) {
            EXPECT_EQ(found[i].kind, c.clashes[i].kind) << c.name;
            EXPECT_EQ(found[i].job, c.clashes[i].job) << c.name;
            EXPECT_EQ(found[i].other, c.clashes[i].other) << c.name;
        }
        std::vector<std::string> replaced;
        for (const size_t k : overlaps.replacedSources) {
            replaced.push_back(list[k].path.substr(dir.path().size() + 1));
        }
        EXPECT_EQ(replaced, c.replaced) << c.name;
    }
}

TEST(BatchClashes, DpiOnlyKeepsNamesAndNamelessFilesAreLeftToTheirTurn) {
    test::TempDir dir;
    fs::create_directories(dir.File("a"));
    fs::create_directories(dir.File("b"));
    fs::create_directories(dir.File("out"));
    FileList list;
    list.MergeBatch({{dir.File("a/x.jpg"), 1, 1, 0},
                     {dir.File("b/x.jpg"), 1, 1, 0},
                     {dir.File("a/noext"), 1, 1, 0},
                     {dir.File("b/noext"), 1, 1, 0}});
    BatchRequest request;
    request.outputFolder = dir.File("out");
    request.saveFormat = SaveFormat::Bmp;
    request.method = BatchMethod::DpiOnly;
    // In list order: a/noext, a/x.jpg, b/noext, b/x.jpg.
    ASSERT_EQ(list[1].path, dir.File("a/x.jpg"));
    const std::vector<std::string> outputs = OutputPaths(request, list);
    EXPECT_EQ(outputs[0], dir.File("out/noext"));
    EXPECT_EQ(outputs[1], dir.File("out/x.jpg"));
    EXPECT_EQ(FindOverlaps(list, outputs).clashes.size(), 2u);
    request.method = BatchMethod::Resize;
    const std::vector<std::string> renamed = OutputPaths(request, list);
    EXPECT_EQ(renamed[1], dir.File("out/x.bmp"));
    EXPECT_EQ(renamed[0], "");  // no extension to replace: the run stops there, as before
    const OutputOverlaps overlaps = FindOverlaps(list, renamed);
    ASSERT_EQ(overlaps.clashes.size(), 1u);
    EXPECT_EQ(overlaps.clashes[0].job, 3u);
    EXPECT_EQ(overlaps.clashes[0].other, 1u);
}

}  // namespace
}  // namespace korvale
