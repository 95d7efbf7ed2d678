#include "util/byte_buffer.h"

#include <cstring>
#include <new>

namespace catpack {

ByteBuffer ByteBuffer::allocate(std::uint32_t size) {
  ByteBuffer buffer;
  buffer.size_ = size;
  if (size == 0) return buffer;
  buffer.bytes_.reset(new (std::nothrow) unsigned char[size]);
  return buffer;
}

void ByteBuffer::xorWith(unsigned char key) {
  unsigned char* bytes = bytes_.get();
  std::uint64_t wide = 0x0101010101010101ULL * key;
  std::uint32_t index = 0;
  for (; index + 8 <= size_; index += 8) {
    std::uint64_t word;
    std::memcpy(&word, bytes + index, 8);
    word ^= wide;
    std::memcpy(bytes + index, &word, 8);
  }
  for (; index < size_; ++index) bytes[index] ^= key;
}

}  // namespace catpack
