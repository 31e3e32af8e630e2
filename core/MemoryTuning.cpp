// Keeping image-sized memory mapped between images.
#include "MemoryTuning.h"

#include <malloc.h>

namespace korvale {

void KeepImageMemoryMapped() {
    // Large blocks come from the heap instead of separate mappings, and freeing them does not
    // shrink the heap, so their pages stay mapped for the next image. One heap for all
    // threads: an image is often freed by another thread than the one that made it, and the
    // bounded heaps of per-thread arenas would keep mapping fresh memory.
    mallopt(M_MMAP_MAX, 0);
    mallopt(M_TRIM_THRESHOLD, 1 << 30);
    mallopt(M_ARENA_MAX, 1);
}

void ReleaseUnusedMemory() {
    malloc_trim(0);
}

}  // namespace korvale
