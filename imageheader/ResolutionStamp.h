// Patching the resolution into a freshly written image file, whatever its format.
#pragma once

#include <cstdint>
#include <string>

#include "ResolutionEdit.h"  // BmpPixelsPerMetre

namespace korvale {

// What a stamp did to a file.
struct StampOutcome {
    enum class Kind {
        Stamped,      // bytes of the file changed
        AlreadySet,   // the fields already held the values: nothing written
        NoJfif,       // a JPEG without an APP0 segment that could hold the fields
        NotStamped,   // not a file of the kind its name says, or its fields cannot be reached
        Unsupported,  // a format whose resolution is not changed without re-encoding it
        Failed,       // the system refused to open, read or write it: `error`
    };
    Kind kind = Kind::NotStamped;
    int error = 0;  // the system's error number when Failed
};

// Picks the branch of the format the name is read as (FormatOfName in ImageFormats.h): by
// extension in any case, ".bmp" BMP, ".png" PNG, ".tif" and ".tiff" TIFF, everything else JPEG.
// Every failure leaves the file as it was. A file is opened only when it is a regular file with a
// write permission bit: otherwise Failed with EISDIR for a folder, ENXIO for another kind of entry
// and EACCES for a read-only file.
StampOutcome StampResolution(const std::string& path, uint32_t dpi);

// Writes both pixels-per-metre fields of a BMP with an info header of at least 40 bytes.
StampOutcome StampBmpResolution(const std::string& path, uint32_t dpi);

// Writes units (dots per inch) and both densities of the APP0 segment the probe reads: the first
// JFIF one, else the first that is no JFXX extension.
StampOutcome StampJpegResolution(const std::string& path, uint32_t dpi);

// PNG pHYs and TIFF resolution tags as ResolutionEdit.h plans them: updated in place where they
// exist, otherwise the file is replaced (temporary file and rename) by one with them inserted.
StampOutcome StampPngResolution(const std::string& path, uint32_t dpi);
StampOutcome StampTiffResolution(const std::string& path, uint32_t dpi);

// WebP: its Exif resolution (WebpEdit.h), the file always replaced.
StampOutcome StampWebpResolution(const std::string& path, uint32_t dpi);

// HEIF and AVIF: their Exif item's resolution (HeifEdit.h), the file always replaced.
StampOutcome StampHeifResolution(const std::string& path, uint32_t dpi);

// JPEG XL: its Exif box's resolution (JxlEdit.h), the file always replaced.
StampOutcome StampJxlResolution(const std::string& path, uint32_t dpi);

}  // namespace korvale
