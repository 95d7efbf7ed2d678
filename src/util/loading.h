// The one read path for file bytes: a byte range at a 64-bit offset, read
// whole or piece by piece, or a whole file. Every failure prints one
// "[Load] " message on standard error.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/platform.h"
#include "util/byte_buffer.h"

namespace catpack {

// An open range of a file's bytes, read from its start to its end.
class RangeReader {
 public:
  // Opens the `size` bytes of `path` that start at `offset`; nothing after
  // the loader's message when the file cannot be opened, the offset cannot
  // be reached, the size can never be held, or the file is too short.
  static std::optional<RangeReader> open(const std::string& path, std::uint32_t size,
                                         std::uint64_t offset);

  RangeReader(RangeReader&& other) noexcept;
  RangeReader& operator=(RangeReader&& other) noexcept;
  ~RangeReader();

  // Reads the next `count` bytes of the range; false after the loader's
  // message when the file ends or fails before them.
  bool read(unsigned char* into, std::uint32_t count);

  const std::string& path() const { return path_; }
  std::uint32_t remaining() const { return remaining_; }

 private:
  RangeReader(const std::string& path, platform::Descriptor file, std::uint32_t size)
      : path_(path), file_(file), remaining_(size) {}

  std::string path_;
  platform::Descriptor file_;
  std::uint32_t remaining_;
};

// `size` bytes of the file at `path` from `offset` on; nothing on failure.
std::optional<ByteBuffer> loadRange(const std::string& path, std::uint32_t size,
                                    std::uint64_t offset);

// The whole file: loadRange(path, fileSize(path), 0) with the size unsigned.
std::optional<ByteBuffer> loadFile(const std::string& path);

}  // namespace catpack
