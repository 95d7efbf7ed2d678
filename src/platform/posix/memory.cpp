// Memory hints on POSIX.
#include <sys/mman.h>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include <cstdint>

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

void adviseLargePages(void* block, std::size_t size) {
#ifdef MADV_HUGEPAGE
  // The hint takes whole pages; the block's partial pages at either end
  // are left out.
  constexpr std::uintptr_t pageSize = 4096;
  const auto start = reinterpret_cast<std::uintptr_t>(block);
  const std::uintptr_t first = (start + pageSize - 1) & ~(pageSize - 1);
  const std::uintptr_t last = (start + size) & ~(pageSize - 1);
  if (last > first) ::madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
#else
  (void)block;
  (void)size;
#endif
}

}  // namespace catpack::platform
