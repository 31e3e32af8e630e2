// Thumbnails shared with the desktop's file managers: the freedesktop thumbnail cache
// ($XDG_CACHE_HOME/thumbnails), where each file's thumbnail is a PNG named by the MD5 of the
// file's URI that carries that URI and the file's modification time, so a changed file is
// thumbnailed again. Qt Core and Gui only, usable off the user-interface thread.
#pragma once

#include <QByteArray>
#include <QImage>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace korvale {

// The longer side of the thumbnails kept in the cache's "large" folder, and at most shown.
constexpr int kLargeThumbnailSide = 256;
constexpr int kNormalThumbnailSide = 128;

// "file://" and the absolute path, its bytes outside A-Z a-z 0-9 and !$&'()*+,-./:=@_~
// percent-encoded, as GLib writes a file's URI; a relative path is taken from the working
// folder.
std::string FileUri(const std::string& path);

// The cache's folder: $XDG_CACHE_HOME/thumbnails when that is an absolute path, else
// $HOME/.cache/thumbnails; empty when neither is known.
std::string ThumbnailCacheRoot(const char* xdgCacheHome, const char* home);
// The same from this process's environment.
std::string ThumbnailCacheRoot();

// The file of `uri`'s thumbnail in the folder for `side` ("normal" for 128, "large" for 256).
std::string ThumbnailPath(const std::string& cacheRoot, int side, const std::string& uri);

// What the cache needs to know of a file: its URI, modification time (whole seconds) and size.
struct ThumbnailKey {
    std::string uri;
    int64_t mtime = 0;
    uint64_t size = 0;
};
// The key of `path` as it is now on disk; nullopt when it cannot be read (gone, not a file).
std::optional<ThumbnailKey> KeyOf(const std::string& path);

struct Thumbnail {
    QImage image;
    QByteArray png;  // the image as PNG, for showing it without encoding it again
};

// The thumbnail at `file` when it is one of `key` and as new as it: its URI and modification
// time are the file's (and its size, when it names one).
std::optional<Thumbnail> ReadFreshThumbnail(const std::string& file, const ThumbnailKey& key);

// Writes `image` as the thumbnail of `key` at `file`: folders made 0700, the file 0600, written
// into a temporary file beside it and renamed over it, so a reader never sees half of one.
// The PNG bytes written, or nullopt when it could not be written (nothing is left behind).
std::optional<QByteArray> WriteThumbnail(const std::string& file, const QImage& image,
                                         const ThumbnailKey& key);

// Makes a thumbnail whose longer side is at most the given one; nullopt when the file cannot
// be decoded.
using MakeThumbnail = std::function<std::optional<QImage>(const std::string& path, int side)>;

enum class ThumbnailOrigin { Cache, Made, None };

struct ThumbnailLookUp {
    std::optional<Thumbnail> thumbnail;
    ThumbnailOrigin origin = ThumbnailOrigin::None;
};

// The fresh thumbnail of `path` from the cache (large, then normal), or one made by `make` and
// then kept in the large folder. An empty `cacheRoot` uses no cache; files inside the cache are
// thumbnailed but not kept.
ThumbnailLookUp CachedOrMadeThumbnail(const std::string& path, const std::string& cacheRoot,
                                      const MakeThumbnail& make);

}  // namespace korvale
