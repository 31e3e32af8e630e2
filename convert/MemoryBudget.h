// What preparing an image holds at its peak, and what memory the process may still take: the
// bounds within which the run works ahead and a decoder is allowed to start.
#pragma once

#include <cstdint>

#include "BatchRequest.h"
#include "FileList.h"
#include "OutputJob.h"

namespace korvale {

// Bytes that preparing `job` holds at its peak: the decoded source, the output image, the
// decoder's working memory and the encoded output, from the header sizes and, for PNG and TIFF,
// the pixel their header states (the largest one when it states none).
uint64_t PreparationBytes(const OutputJob& job);
uint64_t PreparationBytes(const BatchRequest& request, const FileEntry& entry);

// Memory this process may still take: the smaller of what the system has available and what
// the address-space limit leaves, plus what the heap holds free for reuse.
uint64_t MemoryHeadroom();

}  // namespace korvale
