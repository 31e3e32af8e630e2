// The batch run: start checks, then every listed image in order is named, asked about when its
// output exists, converted, stamped with its DPI and counted, with the user interface serviced
// between images.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "AtomicFile.h"
#include "BatchRequest.h"
#include "Conversion.h"
#include "FileList.h"
#include "JpegMetadata.h"
#include "RunHost.h"
#include "UserInteraction.h"

namespace korvale {

// The output image of one listed file: decoded and scaled or placed as the request says, not
// yet written.
PreparedImage PrepareOutput(const BatchRequest& request, const FileEntry& entry);

// What an output of `format` carries of `entry`'s source: nothing for BMP.
SourceMetadata OutputMetadata(SaveFormat format, const FileEntry& entry);

// `image` encoded for `outputPath`'s extension, with what a JPEG output carries of `metadata`.
// `lackedMemory`, when given, says whether a failure was an allocation.
ConvertResult EncodeOutput(const BatchRequest& request, const cv::Mat& image,
                           const std::string& outputPath, uint32_t dpi,
                           const SourceMetadata& metadata, std::vector<unsigned char>& bytes,
                           bool* lackedMemory = nullptr);

// The bytes of a prepared output: those it was made with, else its image encoded into
// `scratch` by EncodeOutput. nullptr when the encoding fails.
const std::vector<unsigned char>* OutputBytes(const BatchRequest& request,
                                              const PreparedImage& prepared,
                                              const std::string& outputPath, uint32_t dpi,
                                              const SourceMetadata& metadata,
                                              std::vector<unsigned char>& scratch,
                                              bool* lackedMemory = nullptr);

// Writes `bytes` into `file`'s temporary file, opened for `outputPath`, and stamps `dpi` into it;
// the name is given by Commit. false when the write failed (the file is then discarded).
bool WriteEncoded(AtomicFile& file, const std::string& outputPath,
                  const std::vector<unsigned char>& bytes, uint32_t dpi);

// Encodes `image` into memory with what a JPEG output carries of `metadata`, writes it into a
// hidden temporary file beside `outputPath` (or beside the file a link there names), stamps
// `dpi` into it and renames it over that file. Every write is checked, and a replaced file is
// flushed to the device first: nothing partial is ever left at `outputPath`. A read-only output
// is not replaced. On failure `error`, when given, says which file and why.
ConvertResult WriteOutput(const BatchRequest& request, const cv::Mat& image,
                          const std::string& outputPath, uint32_t dpi, FileError* error = nullptr,
                          const SourceMetadata& metadata = SourceMetadata{});
// The same for a prepared output, whose bytes may be encoded already. Without `mayReplace`,
// the output takes its name only while it is free; when a file took it meanwhile, `taken`
// (when given) is set and nothing is written.
ConvertResult WriteOutput(const BatchRequest& request, const PreparedImage& prepared,
                          const std::string& outputPath, uint32_t dpi, FileError* error = nullptr,
                          const SourceMetadata& metadata = SourceMetadata{}, bool mayReplace = true,
                          bool* taken = nullptr);

// The DPI-only method: the source's bytes with only the resolution set to `dpi`, written over
// `outputPath` as WriteOutput writes (which may be the source itself).
ConvertResult CopyWithResolution(const std::string& sourcePath, const std::string& outputPath,
                                 uint32_t dpi, FileError* error = nullptr, bool mayReplace = true,
                                 bool* taken = nullptr);

// Runs the batch over `list`. After the start checks and before the first image, the output
// folder is checked: a missing one is offered for creation (declined: the run does not start),
// and one that is not a folder or cannot be written is reported with the reason. `running` is set
// for the run and cleared at its end; clearing it from outside (the stop button, while the
// interface is serviced) ends the run after the image in hand. `request.outputFolder` keeps the
// separator the run appended. While one image is given its name, the next ones are decoded,
// scaled, encoded and written into hidden temporary files on other threads, as far as free memory
// allows; none takes its name before its turn, and each is done again in its turn if its file or
// its output changed meanwhile or its work ahead failed. A failed write is tried once more after
// the work ahead has let go of its files. The run returns without waiting for work ahead that it
// no longer needs, whose temporary files are removed (see WorkAhead.h). Temporary files that
// ended processes left in the output folder, and beside the target of each link the run writes
// through, are removed (RemoveStaleTemporaries).
BatchEnd RunBatch(const FileList& list, BatchRequest& request, bool& running, BatchHost& host,
                  UserInteraction& ui);

}  // namespace korvale
