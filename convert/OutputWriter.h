// The writer: one output job's image prepared (decoded and scaled or placed), encoded with what
// its format carries of the source, and written atomically with its resolution; or, for the
// DPI-only method, the source's bytes copied with only the resolution set.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "AtomicFile.h"
#include "BatchRequest.h"
#include "Conversion.h"
#include "FileList.h"
#include "JpegMetadata.h"
#include "OutputJob.h"

namespace korvale {

// The output image of `job`: decoded and scaled or placed as the request says, not yet written.
PreparedImage PrepareOutput(const BatchRequest& request, const OutputJob& job);
PreparedImage PrepareOutput(const BatchRequest& request, const FileEntry& entry);

// What `job`'s output carries of its source: nothing for BMP.
SourceMetadata OutputMetadata(const OutputJob& job);
SourceMetadata OutputMetadata(SaveFormat format, const FileEntry& entry);

// `image` encoded in `job`'s output format, with what that format carries of `metadata`: the
// profile into JPEG, PNG and TIFF, Exif and IPTC into JPEG, XMP into all three.
// `lackedMemory`, when given, says whether a failure was an allocation.
ConvertResult EncodeOutput(const BatchRequest& request, const OutputJob& job, const cv::Mat& image,
                           const SourceMetadata& metadata, std::vector<unsigned char>& bytes,
                           bool* lackedMemory = nullptr);

// The bytes of a prepared output: those it was made with, else its image encoded into
// `scratch` by EncodeOutput. nullptr when the encoding fails.
const std::vector<unsigned char>* OutputBytes(const BatchRequest& request, const OutputJob& job,
                                              const PreparedImage& prepared,
                                              const SourceMetadata& metadata,
                                              std::vector<unsigned char>& scratch,
                                              bool* lackedMemory = nullptr);

// Writes `bytes` into `file`'s temporary file, opened for `job`'s output, and stamps the job's
// DPI into it; the name is given by Commit. false when the write failed (the file is then
// discarded).
bool WriteEncoded(AtomicFile& file, const OutputJob& job, const std::vector<unsigned char>& bytes);

// Encodes the prepared image (unless its bytes are made already) with what its format carries
// of `metadata`, writes it into a hidden temporary file beside the job's output (or
// beside the file a link there names), stamps the DPI into it and renames it over that file.
// Every write is checked, and a replaced file is flushed to the device first: nothing partial
// is ever left at the output. A read-only output is not replaced. Without `mayReplace`, the
// output takes its name only while it is free; when a file took it meanwhile, `taken` (when
// given) is set and nothing is written. On failure `error`, when given, says which file and why.
ConvertResult WriteOutput(const BatchRequest& request, const OutputJob& job,
                          const PreparedImage& prepared, FileError* error = nullptr,
                          const SourceMetadata& metadata = SourceMetadata{}, bool mayReplace = true,
                          bool* taken = nullptr);
// The same for an image written to `outputPath` in the format its name says.
ConvertResult WriteOutput(const BatchRequest& request, const cv::Mat& image,
                          const std::string& outputPath, uint32_t dpi, FileError* error = nullptr,
                          const SourceMetadata& metadata = SourceMetadata{});
ConvertResult WriteOutput(const BatchRequest& request, const PreparedImage& prepared,
                          const std::string& outputPath, uint32_t dpi, FileError* error = nullptr,
                          const SourceMetadata& metadata = SourceMetadata{}, bool mayReplace = true,
                          bool* taken = nullptr);

// The DPI-only method: the source's bytes with only the resolution set to the job's DPI,
// written over its output as WriteOutput writes (which may be the source itself).
ConvertResult CopyWithResolution(const OutputJob& job, FileError* error = nullptr,
                                 bool mayReplace = true, bool* taken = nullptr);

}  // namespace korvale
