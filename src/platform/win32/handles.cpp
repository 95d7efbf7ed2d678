// Descriptors over system handles.
#include "platform/win32/handles.h"

#include <fcntl.h>
#include <io.h>

#include <cstdint>

namespace catpack::platform::win32 {

Descriptor adoptHandle(HANDLE handle, int flags) {
  if (handle == INVALID_HANDLE_VALUE) return noDescriptor;
  const int file = ::_open_osfhandle(reinterpret_cast<std::intptr_t>(handle), flags | _O_BINARY);
  if (file < 0) {
    ::CloseHandle(handle);
    return noDescriptor;
  }
  return file;
}

HANDLE handleOf(Descriptor file) { return reinterpret_cast<HANDLE>(::_get_osfhandle(file)); }

}  // namespace catpack::platform::win32
