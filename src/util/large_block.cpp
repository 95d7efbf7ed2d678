#include "util/large_block.h"

#include "platform/platform.h"

namespace catpack {

void adviseLargeBlock(void* block, std::size_t size) {
  if (block != nullptr && size >= largeBlockSize) platform::adviseLargePages(block, size);
}

}  // namespace catpack
