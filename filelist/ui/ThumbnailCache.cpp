// The freedesktop thumbnail cache: names, freshness, reading and writing.
#include "ThumbnailCache.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QBuffer>
#include <QCryptographicHash>
#include <QFile>
#include <QImageReader>
#include <QImageWriter>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

#include "korvale/Version.h"

namespace korvale {
namespace {

constexpr char kUriKey[] = "Thumb::URI";
constexpr char kMTimeKey[] = "Thumb::MTime";
constexpr char kSizeKey[] = "Thumb::Size";

bool KeptInUri(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
           std::strchr("!$&'()*+,-./:=@_~", c) != nullptr;
}

// Makes `folder` and its missing parents below `root` with mode 0700.
bool MakeFolders(const std::filesystem::path& folder) {
    std::error_code error;
    if (std::filesystem::is_directory(folder, error)) {
        return true;
    }
    if (folder.has_parent_path() && folder.parent_path() != folder &&
        !MakeFolders(folder.parent_path())) {
        return false;
    }
    return ::mkdir(folder.c_str(), 0700) == 0 || errno == EEXIST;
}

bool WriteAll(int fd, const QByteArray& bytes) {
    const char* data = bytes.constData();
    size_t left = static_cast<size_t>(bytes.size());
    while (left > 0) {
        const ssize_t written = ::write(fd, data, left);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return false;
        }
        data += written;
        left -= static_cast<size_t>(written);
    }
    return true;
}

}  // namespace

std::string FileUri(const std::string& path) {
    std::error_code error;
    std::filesystem::path absolute = std::filesystem::absolute(path, error);
    if (error) {
        absolute = path;
    }
    const std::string bytes = absolute.lexically_normal().string();
    static const char kHex[] = "0123456789ABCDEF";
    std::string uri = "file://";
    for (const char byte : bytes) {
        const auto c = static_cast<unsigned char>(byte);
        if (KeptInUri(c)) {
            uri += byte;
        } else {
            uri += '%';
            uri += kHex[c >> 4];
            uri += kHex[c & 0xF];
        }
    }
    return uri;
}

std::string ThumbnailCacheRoot(const char* xdgCacheHome, const char* home) {
    if (xdgCacheHome != nullptr && xdgCacheHome[0] == '/') {
        return std::string(xdgCacheHome) + "/thumbnails";
    }
    if (home != nullptr && home[0] == '/') {
        return std::string(home) + "/.cache/thumbnails";
    }
    return {};
}

std::string ThumbnailCacheRoot() {
    return ThumbnailCacheRoot(std::getenv("XDG_CACHE_HOME"), std::getenv("HOME"));
}

std::string ThumbnailPath(const std::string& cacheRoot, int side, const std::string& uri) {
    const QByteArray md5 =
        QCryptographicHash::hash(QByteArray::fromStdString(uri), QCryptographicHash::Md5).toHex();
    return cacheRoot + (side <= kNormalThumbnailSide ? "/normal/" : "/large/") + md5.toStdString() +
           ".png";
}

std::optional<ThumbnailKey> KeyOf(const std::string& path) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) {
        return std::nullopt;
    }
    return ThumbnailKey{FileUri(path), static_cast<int64_t>(status.st_mtim.tv_sec),
                        static_cast<uint64_t>(status.st_size)};
}

std::optional<Thumbnail> ReadFreshThumbnail(const std::string& file, const ThumbnailKey& key) {
    QFile in(QFile::decodeName(QByteArray::fromStdString(file)));
    if (!in.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    // A thumbnail is a few dozen kilobytes; anything far larger is not one.
    if (in.size() > 16 * 1024 * 1024) {
        return std::nullopt;
    }
    Thumbnail thumbnail;
    thumbnail.png = in.readAll();
    QBuffer buffer(&thumbnail.png);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "png");
    // The text chunks may follow the pixels, so they are read with the image.
    if (!reader.read(&thumbnail.image)) {
        return std::nullopt;
    }
    const QImage& image = thumbnail.image;
    if (image.text(kUriKey).toStdString() != key.uri) {
        return std::nullopt;
    }
    bool ok = false;
    const qlonglong mtime = image.text(kMTimeKey).toLongLong(&ok);
    if (!ok || mtime != key.mtime) {
        return std::nullopt;
    }
    const QString size = image.text(kSizeKey);
    if (!size.isEmpty() && size.toULongLong() != key.size) {
        return std::nullopt;
    }
    return thumbnail;
}

std::optional<QByteArray> WriteThumbnail(const std::string& file, const QImage& image,
                                         const ThumbnailKey& key) {
    QImage tagged = image;
    tagged.setText(kUriKey, QString::fromStdString(key.uri));
    tagged.setText(kMTimeKey, QString::number(key.mtime));
    tagged.setText(kSizeKey, QString::number(key.size));
    tagged.setText(QStringLiteral("Thumb::Image::Width"), QString::number(image.width()));
    tagged.setText(QStringLiteral("Thumb::Image::Height"), QString::number(image.height()));
    tagged.setText(QStringLiteral("Software"), QStringLiteral("Korvale " KORVALE_VERSION));
    QByteArray png;
    {
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        QImageWriter writer(&buffer, "png");
        if (!writer.write(tagged)) {
            return std::nullopt;
        }
    }
    const std::filesystem::path target(file);
    if (!MakeFolders(target.parent_path())) {
        return std::nullopt;
    }
    std::string name = (target.parent_path() / ("." + target.filename().string() + ".XXXXXX"));
    std::vector<char> temporary(name.begin(), name.end());
    temporary.push_back('\0');
    const int fd = ::mkstemp(temporary.data());  // made 0600
    if (fd < 0) {
        return std::nullopt;
    }
    const bool written = ::fchmod(fd, 0600) == 0 && WriteAll(fd, png);
    const bool closed = ::close(fd) == 0;
    if (!written || !closed || ::rename(temporary.data(), file.c_str()) != 0) {
        ::unlink(temporary.data());
        return std::nullopt;
    }
    return png;
}

ThumbnailLookUp CachedOrMadeThumbnail(const std::string& path, const std::string& cacheRoot,
                                      const MakeThumbnail& make) {
    ThumbnailLookUp found;
    const std::optional<ThumbnailKey> key = KeyOf(path);
    if (!key) {
        return found;
    }
    const bool useCache = !cacheRoot.empty();
    if (useCache) {
        for (int side : {kLargeThumbnailSide, kNormalThumbnailSide}) {
            found.thumbnail = ReadFreshThumbnail(ThumbnailPath(cacheRoot, side, key->uri), *key);
            if (found.thumbnail) {
                found.origin = ThumbnailOrigin::Cache;
                return found;
            }
        }
    }
    std::optional<QImage> made = make ? make(path, kLargeThumbnailSide) : std::nullopt;
    if (!made || made->isNull()) {
        return found;
    }
    found.origin = ThumbnailOrigin::Made;
    // Thumbnails of thumbnails would fill the cache with itself.
    const bool inCache = useCache && FileUri(path).rfind(FileUri(cacheRoot) + "/", 0) == 0;
    std::optional<QByteArray> png;
    if (useCache && !inCache) {
        png = WriteThumbnail(ThumbnailPath(cacheRoot, kLargeThumbnailSide, key->uri), *made, *key);
    }
    if (!png) {
        png.emplace();
        QBuffer buffer(&*png);
        buffer.open(QIODevice::WriteOnly);
        made->save(&buffer, "png");
    }
    found.thumbnail = Thumbnail{*made, *png};
    return found;
}

}  // namespace korvale
