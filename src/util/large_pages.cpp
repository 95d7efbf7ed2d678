#include "util/large_pages.h"

#include "platform/platform.h"

namespace catpack {

namespace {

// Blocks from this size on get the hint.
constexpr std::size_t largePagesFrom = std::size_t{4} << 20;

}  // namespace

void adviseLargePagesFor(void* block, std::size_t size) {
  if (block != nullptr && size >= largePagesFrom) platform::adviseLargePages(block, size);
}

}  // namespace catpack
