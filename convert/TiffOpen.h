// A TIFF source opened with libtiff, quietly: the readers say themselves what is wrong.
#pragma once

#include <tiffio.h>

#include <cstdint>
#include <memory>
#include <string>

namespace korvale {

struct TiffCloser {
    void operator()(TIFF* tiff) const { TIFFClose(tiff); }
};
using TiffHandle = std::unique_ptr<TIFF, TiffCloser>;

// Opens `path` for reading, never mapped, when it is a regular file libtiff opens (a named pipe
// never blocks the open); the handle owns the descriptor. `fileSize`, when given, is the file's
// size. nullptr otherwise.
TiffHandle OpenQuietTiff(const std::string& path, uint64_t* fileSize = nullptr);

}  // namespace korvale
