// Telling a console from a file, pipe or device on Windows: only a console
// has a console mode (the NUL device, which _isatty would count, has none).
#include <windows.h>

#include "platform/platform.h"
#include "platform/win32/handles.h"

namespace catpack::platform {

bool isTerminal(Descriptor stream) {
  DWORD mode = 0;
  return GetConsoleMode(win32::handleOf(stream), &mode) != 0;
}

}  // namespace catpack::platform
