#include "util/byte_buffer.h"

#include <cstring>
#include <new>

#include "util/large_pages.h"

namespace catpack {

ByteBuffer ByteBuffer::allocate(std::uint32_t size) {
  ByteBuffer buffer;
  buffer.size_ = size;
  if (size == 0) return buffer;
  buffer.bytes_.reset(new (std::nothrow) unsigned char[size]);
  // A big buffer (an index text) is read all over at random, by name:
  // large pages spare the address-translation misses.
  adviseLargePagesFor(buffer.bytes_.get(), size);
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
