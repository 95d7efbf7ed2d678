// An owned block of file bytes of exactly the length that was asked for.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

namespace catpack {

// XORs each of `count` bytes with `key`.
void xorBytes(unsigned char* bytes, std::size_t count, unsigned char key);

class ByteBuffer {
 public:
  ByteBuffer() = default;

  // Allocates `size` bytes, left uninitialised; an empty buffer when the
  // allocation fails (check with allocated()). A failure here is the
  // caller's to report, so it never ends the run as exhausted memory does.
  static ByteBuffer allocate(std::uint32_t size);

  bool allocated() const { return size_ == 0 || bytes_ != nullptr; }
  unsigned char* data() { return bytes_.get(); }
  const unsigned char* data() const { return bytes_.get(); }
  std::uint32_t size() const { return size_; }

  // XORs every byte with `key`.
  void xorWith(unsigned char key) { xorBytes(bytes_.get(), size_, key); }

 private:
  // Frees what malloc gave.
  struct FreeBytes {
    void operator()(unsigned char* bytes) const { std::free(bytes); }
  };

  std::unique_ptr<unsigned char, FreeBytes> bytes_;
  std::uint32_t size_ = 0;
};

}  // namespace catpack
