// Memory settings on Windows.
#include "platform/platform.h"

namespace catpack::platform {

// The system heap gives big blocks back to the system by itself.
void returnBigBlocksToSystem() {}

// Large pages need a privilege few accounts hold and memory set aside when
// the block is allocated: blocks keep the pages they have.
void preferLargePages(void*, std::size_t) {}

}  // namespace catpack::platform
