#include "support/AllocatorTuning.h"

#include <malloc.h>

namespace notch {

void keepFreedMemoryForReuse() {
  // Large blocks from the heap rather than fresh mappings, and no trimming.
  mallopt(M_MMAP_THRESHOLD, 64 * 1024 * 1024);
  mallopt(M_TRIM_THRESHOLD, 256 * 1024 * 1024);
}

} // namespace notch
