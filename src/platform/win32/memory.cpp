// Memory hints on Windows: large pages need a privilege ordinary users do
// not hold, so the hint is ignored.
#include "platform/platform.h"

namespace catpack::platform {

void adviseLargePages(void* block, std::size_t size) {
  (void)block;
  (void)size;
}

}  // namespace catpack::platform
