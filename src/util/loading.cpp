#include "util/loading.h"

#include "platform/platform.h"
#include "util/console.h"
#include "util/file_status.h"

namespace catpack {

namespace {

// Closes a descriptor when the load is over, on every path.
class OpenFile {
 public:
  explicit OpenFile(platform::Descriptor file) : file_(file) {}
  ~OpenFile() { platform::closeDescriptor(file_); }
  OpenFile(const OpenFile&) = delete;
  OpenFile& operator=(const OpenFile&) = delete;
  platform::Descriptor get() const { return file_; }

 private:
  platform::Descriptor file_;
};

constexpr std::uint32_t firstImpossibleSize = 0x80000000u;
constexpr std::size_t largestRead = 1u << 30;

bool readFully(platform::Descriptor file, unsigned char* into, std::uint32_t size) {
  std::uint32_t arrived = 0;
  while (arrived < size) {
    const std::size_t missing = size - arrived;
    const std::int64_t got =
        platform::readSome(file, into + arrived, missing < largestRead ? missing : largestRead);
    if (got <= 0) return false;
    arrived += static_cast<std::uint32_t>(got);
  }
  return true;
}

}  // namespace

std::optional<ByteBuffer> loadRange(const std::string& path, std::uint32_t size,
                                    std::uint64_t offset) {
  const platform::Descriptor descriptor = platform::openForReading(path);
  if (descriptor == platform::noDescriptor) {
    printErr("[Load] Failed to open file %s\n", path.c_str());
    return std::nullopt;
  }
  OpenFile file(descriptor);
  const std::int64_t position = platform::seekFromStart(file.get(), offset);
  if (position < 0 || static_cast<std::uint64_t>(position) != offset) {
    printErr("[Load] Failed to seek to absolute offset in file %s\n", path.c_str());
    return std::nullopt;
  }
  if (size >= firstImpossibleSize) {
    printErr("[Load] Failed to allocate %d bytes for file %s\n", static_cast<std::int32_t>(size),
             path.c_str());
    return std::nullopt;
  }
  // A range that runs past the end of a regular file cannot be read whole;
  // it fails as a short read without first allocating room for it.
  const std::int64_t length = platform::regularFileSize(file.get());
  if (length >= 0 && offset + size > static_cast<std::uint64_t>(length)) {
    printErr("[Load] Failed to read from file %s\n", path.c_str());
    return std::nullopt;
  }
  ByteBuffer buffer = ByteBuffer::allocate(size);
  if (!buffer.allocated()) {
    printErr("[Load] Failed to allocate %d bytes for file %s\n", static_cast<std::int32_t>(size),
             path.c_str());
    return std::nullopt;
  }
  if (!readFully(file.get(), buffer.data(), size)) {
    printErr("[Load] Failed to read from file %s\n", path.c_str());
    return std::nullopt;
  }
  return buffer;
}

std::optional<ByteBuffer> loadFile(const std::string& path) {
  return loadRange(path, static_cast<std::uint32_t>(fileSize(path)), 0);
}

}  // namespace catpack
