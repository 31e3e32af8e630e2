// Patching the resolution into a freshly written BMP, JPEG, PNG or TIFF file.
#pragma once

#include <cstdint>
#include <string>

namespace korvale {

// Picks the branch by extension, in any case: ".bmp" BMP, ".png" PNG, ".tif" and ".tiff" TIFF,
// everything else JPEG. Every failure is silent and leaves the file as it was.
void StampResolution(const std::string& path, uint32_t dpi);

// Writes both pixels-per-metre fields of a BMP with an info header of at least 40 bytes.
void StampBmpResolution(const std::string& path, uint32_t dpi);

// Writes units (dots per inch) and both densities of the first APP0 segment of a JPEG.
void StampJpegResolution(const std::string& path, uint32_t dpi);

// PNG pHYs and TIFF resolution tags as ResolutionEdit.h plans them: updated in place where they
// exist, otherwise the file is replaced (temporary file and rename) by one with them inserted.
void StampPngResolution(const std::string& path, uint32_t dpi);
void StampTiffResolution(const std::string& path, uint32_t dpi);

// DPI to BMP pixels per metre, rounded half up, brought into the signed 32-bit field.
int32_t BmpPixelsPerMetre(uint32_t dpi);

}  // namespace korvale
