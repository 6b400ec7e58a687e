#include "support/AllocatorTuning.h"

namespace notch {

// The system allocator keeps freed memory in its zones already.
void keepFreedMemoryForReuse() {}

} // namespace notch
