#include "util/large_blocks.h"

#include <cstdlib>

#include "platform/platform.h"
#include "util/memory_exhaustion.h"

namespace catpack {

void preferLargePagesFor(void* block, std::size_t size) {
  if (size >= largeBlockSize) platform::preferLargePages(block, size);
}

void* zeroedRoom(std::size_t count, std::size_t size) {
  if (count == 0) return nullptr;
  // A big block comes straight from the system, whose fresh pages are zero
  // until written: the allocator then leaves them untouched.
  void* room = std::calloc(count, size);
  if (room == nullptr) endForExhaustedMemory();
  preferLargePagesFor(room, count * size);
  return room;
}

void freeZeroedRoom(void* room) { std::free(room); }

}  // namespace catpack
