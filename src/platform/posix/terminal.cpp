// Telling a terminal from a file or pipe on POSIX.
#include <unistd.h>

#include "platform/platform.h"

namespace catpack::platform {

bool isTerminal(Descriptor stream) { return ::isatty(stream) == 1; }

}  // namespace catpack::platform
