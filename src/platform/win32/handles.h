// Between the runtime library's descriptors, which the platform interface
// hands out, and the system handles underneath them.
#pragma once

#include <windows.h>

#include "platform/platform.h"

namespace catpack::platform::win32 {

// Wraps an open handle in a binary descriptor (with the runtime library's
// `flags`) that owns it; closes the handle and gives `noDescriptor` when
// that fails.
Descriptor adoptHandle(HANDLE handle, int flags = 0);

// The system handle under a descriptor.
HANDLE handleOf(Descriptor file);

}  // namespace catpack::platform::win32
