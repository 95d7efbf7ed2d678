// Memory settings on Windows.
#include "platform/platform.h"

namespace catpack::platform {

// The system heap gives big blocks back to the system by itself.
void returnBigBlocksToSystem() {}

// Large pages need a privilege ordinary users do not hold: no hint.
void adviseLargePages(void* block, std::size_t size) {
  (void)block;
  (void)size;
}

}  // namespace catpack::platform
