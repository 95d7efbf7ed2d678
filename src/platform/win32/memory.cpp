// Memory settings on Windows.
#include "platform/platform.h"

namespace catpack::platform {

// The system heap gives big blocks back to the system by itself.
void returnBigBlocksToSystem() {}

}  // namespace catpack::platform
