// The thumbnail cache as the desktop's file managers share it: names, freshness, what a written
// thumbnail carries, and a worker that keeps up with a fast mouse.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QImage>
#include <QImageReader>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <vector>

#include "TestFiles.h"
#include "ThumbnailCache.h"
#include "ThumbnailQueue.h"

namespace korvale {
namespace {

namespace fs = std::filesystem;

TEST(ThumbnailNames, UrisEscapeAsGlibDoesAndNamesAreTheirMd5) {
    const struct {
        const char* path;
        const char* uri;
    } cases[] = {
        {"/home/jens/photos/me.png", "file:///home/jens/photos/me.png"},
        {"/tmp/two words.jpg", "file:///tmp/two%20words.jpg"},
        {"/写真/ねこ.png", "file:///%E5%86%99%E7%9C%9F/%E3%81%AD%E3%81%93.png"},
        {"/a/100%#?;\"<>[]^`{|}\\.bmp",
         "file:///a/100%25%23%3F%3B%22%3C%3E%5B%5D%5E%60%7B%7C%7D%5C.bmp"},
        {"/a/!$&'()*+,-.:=@_~.tif", "file:///a/!$&'()*+,-.:=@_~.tif"},
        {"/a/./b/../c.jpg", "file:///a/c.jpg"},
        {"/a/\xff.jpg", "file:///a/%FF.jpg"},  // not UTF-8: its bytes as they are
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FileUri(c.path), c.uri) << c.path;
    }
    EXPECT_EQ(FileUri("rel.jpg"), FileUri(fs::current_path().string() + "/rel.jpg"));
    // The freedesktop thumbnail standard's own example.
    EXPECT_EQ(ThumbnailPath("/c", 256, "file:///home/jens/photos/me.png"),
              "/c/large/c6ee772d9e49320e97ec29a7eb5b1697.png");
    EXPECT_EQ(ThumbnailPath("/c", 128, "file:///home/jens/photos/me.png"),
              "/c/normal/c6ee772d9e49320e97ec29a7eb5b1697.png");
}

TEST(ThumbnailNames, TheCacheLiesInXdgCacheHomeElseInHome) {
    EXPECT_EQ(ThumbnailCacheRoot("/x/cache", "/home/u"), "/x/cache/thumbnails");
    EXPECT_EQ(ThumbnailCacheRoot("relative", "/home/u"), "/home/u/.cache/thumbnails");
    EXPECT_EQ(ThumbnailCacheRoot("", "/home/u"), "/home/u/.cache/thumbnails");
    EXPECT_EQ(ThumbnailCacheRoot(nullptr, "/home/u"), "/home/u/.cache/thumbnails");
    EXPECT_EQ(ThumbnailCacheRoot(nullptr, nullptr), "");
}

QImage Picture(int width, int height, QRgb colour) {
    QImage image(width, height, QImage::Format_RGBA8888);
    image.fill(QColor::fromRgb(colour));
    return image;
}

mode_t ModeOf(const std::string& path) {
    struct stat status {};
    EXPECT_EQ(::stat(path.c_str(), &status), 0) << path;
    return status.st_mode & 07777;
}

TEST(ThumbnailFile, WrittenPrivatelyInOneStepAndReadBackWithItsChunks) {
    test::TempDir home;
    const std::string root = home.File("cache/thumbnails");
    const ThumbnailKey key{"file:///p/a%20b.jpg", 1700000000, 12345};
    const std::string file = ThumbnailPath(root, 256, key.uri);
    const auto png = WriteThumbnail(file, Picture(200, 150, qRgb(10, 200, 30)), key);
    ASSERT_TRUE(png);

    QImageReader reader(QString::fromStdString(file));
    const QImage read = reader.read();
    ASSERT_FALSE(read.isNull());
    EXPECT_EQ(read.size(), QSize(200, 150));
    EXPECT_EQ(read.text("Thumb::URI"), QString::fromStdString(key.uri));
    EXPECT_EQ(read.text("Thumb::MTime"), "1700000000");
    EXPECT_EQ(read.text("Thumb::Size"), "12345");
    EXPECT_EQ(ModeOf(file), 0600u);
    EXPECT_EQ(ModeOf(root), 0700u);
    EXPECT_EQ(ModeOf(root + "/large"), 0700u);
    // Nothing but the thumbnail: the temporary file took its name.
    EXPECT_EQ(std::distance(fs::directory_iterator(root + "/large"), fs::directory_iterator()), 1);

    const struct {
        const char* what;
        ThumbnailKey key;
        bool fresh;
    } cases[] = {
        {"the same file", key, true},
        {"modified since", {key.uri, key.mtime + 1, key.size}, false},
        {"another file's", {"file:///p/other.jpg", key.mtime, key.size}, false},
        {"another size", {key.uri, key.mtime, key.size + 1}, false},
    };
    for (const auto& c : cases) {
        const auto fresh = ReadFreshThumbnail(file, c.key);
        EXPECT_EQ(fresh.has_value(), c.fresh) << c.what;
        if (fresh) {
            EXPECT_EQ(fresh->png, *png) << c.what;
            EXPECT_EQ(fresh->image.pixel(5, 5), qRgb(10, 200, 30)) << c.what;
        }
    }
    EXPECT_FALSE(ReadFreshThumbnail(root + "/large/missing.png", key));
}

TEST(ThumbnailFile, AThumbnailThatCannotBeKeptLeavesNothingBehind) {
    test::TempDir home;
    test::WriteFile(home.File("thumbnails"), {'x'});  // a file where the folder belongs
    const ThumbnailKey key{"file:///p/a.jpg", 1, 1};
    EXPECT_FALSE(WriteThumbnail(ThumbnailPath(home.File("thumbnails"), 256, key.uri),
                                Picture(4, 4, qRgb(0, 0, 0)), key));
    EXPECT_EQ(std::distance(fs::directory_iterator(home.path()), fs::directory_iterator()), 1);
}

class CachedOrMade : public ::testing::Test {
protected:
    CachedOrMade() {
        test::WriteFile(source_, {1, 2, 3});
        SetMTime(1600000000);
    }
    void SetMTime(time_t seconds) {
        const timespec times[2] = {{seconds, 0}, {seconds, 0}};
        ASSERT_EQ(::utimensat(AT_FDCWD, source_.c_str(), times, 0), 0);
    }
    ThumbnailLookUp LookUp(const std::string& path) {
        return CachedOrMadeThumbnail(path, root_, [this](const std::string&, int side) {
            ++made_;
            EXPECT_EQ(side, kLargeThumbnailSide);
            return std::optional<QImage>(Picture(side, side * 3 / 4, qRgb(made_, 0, 0)));
        });
    }

    test::TempDir home_;
    const std::string root_ = home_.File("thumbnails");
    const std::string source_ = home_.File("photo one.jpg");
    int made_ = 0;
};

TEST_F(CachedOrMade, MadeOnceKeptAndMadeAgainWhenTheFileChanges) {
    const ThumbnailLookUp first = LookUp(source_);
    EXPECT_EQ(first.origin, ThumbnailOrigin::Made);
    ASSERT_TRUE(first.thumbnail);
    EXPECT_EQ(first.thumbnail->image.size(), QSize(256, 192));
    EXPECT_TRUE(fs::exists(ThumbnailPath(root_, 256, FileUri(source_))));

    const ThumbnailLookUp second = LookUp(source_);
    EXPECT_EQ(second.origin, ThumbnailOrigin::Cache);
    EXPECT_EQ(made_, 1);
    EXPECT_EQ(second.thumbnail->png, first.thumbnail->png);

    SetMTime(1600000100);
    const ThumbnailLookUp third = LookUp(source_);
    EXPECT_EQ(third.origin, ThumbnailOrigin::Made);
    EXPECT_EQ(made_, 2);
    EXPECT_EQ(LookUp(source_).origin, ThumbnailOrigin::Cache);
}

TEST_F(CachedOrMade, AFreshNormalThumbnailServesWhenThereIsNoLargeOne) {
    const auto key = KeyOf(source_);
    ASSERT_TRUE(key);
    ASSERT_TRUE(WriteThumbnail(ThumbnailPath(root_, 128, key->uri), Picture(128, 96, 0), *key));
    const ThumbnailLookUp found = LookUp(source_);
    EXPECT_EQ(found.origin, ThumbnailOrigin::Cache);
    EXPECT_EQ(found.thumbnail->image.size(), QSize(128, 96));
    EXPECT_EQ(made_, 0);
}

TEST_F(CachedOrMade, MissingFilesAndFoldersAskNothingAndTheCacheIsNotThumbnailed) {
    EXPECT_EQ(LookUp(home_.File("gone.jpg")).origin, ThumbnailOrigin::None);
    EXPECT_EQ(LookUp(home_.path()).origin, ThumbnailOrigin::None);
    EXPECT_EQ(made_, 0);

    LookUp(source_);
    const std::string inCache = ThumbnailPath(root_, 256, FileUri(source_));
    EXPECT_EQ(LookUp(inCache).origin, ThumbnailOrigin::Made);
    EXPECT_EQ(std::distance(fs::directory_iterator(root_ + "/large"), fs::directory_iterator()), 1);
}

TEST(ThumbnailQueue, OnlyTheRowInHandAndTheLastRequestedAreMade) {
    std::mutex mutex;
    std::condition_variable changed;
    bool release = false;
    std::vector<std::string> made;
    std::vector<std::string> done;
    {
        ThumbnailQueue queue(
            [&](const std::string& path) {
                std::unique_lock<std::mutex> lock(mutex);
                made.push_back(path);
                changed.notify_all();
                changed.wait(lock, [&] { return release; });
                return ThumbnailLookUp{};
            },
            [&](const std::string& path, const ThumbnailLookUp&) {
                std::lock_guard<std::mutex> lock(mutex);
                done.push_back(path);
                changed.notify_all();
            });
        queue.Request("row 0");
        {
            std::unique_lock<std::mutex> lock(mutex);
            changed.wait(lock, [&] { return !made.empty(); });
        }
        // A mouse run over ten thousand rows while the first is being made.
        for (int row = 1; row < 10000; ++row) {
            queue.Request("row " + std::to_string(row));
        }
        {
            std::unique_lock<std::mutex> lock(mutex);
            release = true;
            changed.notify_all();
            changed.wait(lock, [&] { return done.size() == 2; });
        }
    }
    EXPECT_EQ(made, (std::vector<std::string>{"row 0", "row 9999"}));
    EXPECT_EQ(done, made);
}

}  // namespace
}  // namespace korvale
