// The one read path for file bytes: a byte range at a 64-bit offset, or a
// whole file. Every failure prints one "[Load] " message on standard error.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "util/byte_buffer.h"

namespace catpack {

// `size` bytes of the file at `path` from `offset` on; nothing on failure.
std::optional<ByteBuffer> loadRange(const std::string& path, std::uint32_t size,
                                    std::uint64_t offset);

// The whole file: loadRange(path, fileSize(path), 0) with the size unsigned.
std::optional<ByteBuffer> loadFile(const std::string& path);

}  // namespace catpack
