// Keeping image-sized memory mapped between images.
#pragma once

namespace korvale {

// A batch allocates and frees buffers of tens of megabytes for every image. Memory fresh from
// the system costs a page fault per 4 KiB on first touch, which on virtual machines takes as
// long as decoding; keeping freed blocks in the heap lets the next image reuse mapped pages.
// Call once at start-up, before other threads exist.
void KeepImageMemoryMapped();

// Gives memory that the heap keeps but does not use back to the system (after a run).
void ReleaseUnusedMemory();

}  // namespace korvale
