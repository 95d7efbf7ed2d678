#include "util/byte_buffer.h"

#include <cstring>

namespace catpack {

ByteBuffer ByteBuffer::allocate(std::uint32_t size) {
  ByteBuffer buffer;
  buffer.size_ = size;
  if (size == 0) return buffer;
  buffer.bytes_.reset(static_cast<unsigned char*>(std::malloc(size)));
  return buffer;
}

void xorBytes(unsigned char* bytes, std::size_t count, unsigned char key) {
  const std::uint64_t wide = 0x0101010101010101ULL * key;
  std::size_t index = 0;
  for (; index + 8 <= count; index += 8) {
    std::uint64_t word;
    std::memcpy(&word, bytes + index, 8);
    word ^= wide;
    std::memcpy(bytes + index, &word, 8);
  }
  for (; index < count; ++index) bytes[index] ^= key;
}

}  // namespace catpack
