// Memory settings on POSIX.
#if defined(__GLIBC__)
#include <malloc.h>
#endif
#include <sys/mman.h>
#include <unistd.h>

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

void preferLargePages(void* block, std::size_t size) {
#if defined(MADV_HUGEPAGE)
  // Only whole pages can be advised: those that lie inside the block.
  const auto page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
  const auto start = reinterpret_cast<std::uintptr_t>(block);
  const std::uintptr_t first = (start + page - 1) / page * page;
  const std::uintptr_t end = (start + size) / page * page;
  if (end > first) ::madvise(reinterpret_cast<void*>(first), end - first, MADV_HUGEPAGE);
#else
  (void)block;
  (void)size;
#endif
}

}  // namespace catpack::platform
