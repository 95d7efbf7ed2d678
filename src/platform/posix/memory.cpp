// Memory settings on POSIX.
#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include "platform/platform.h"

namespace catpack::platform {

void returnBigBlocksToSystem() {
#if defined(__GLIBC__) && defined(M_MMAP_THRESHOLD)
  // Fixing the threshold keeps the allocator from raising it after a big
  // block is freed and then serving big blocks from a heap it keeps.
  constexpr int bigBlockSize = 128 << 10;
  ::mallopt(M_MMAP_THRESHOLD, bigBlockSize);
#endif
}

}  // namespace catpack::platform
