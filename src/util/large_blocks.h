// Big blocks of memory that are filled whole or walked at random (index
// texts, entry tables, hash tables), backed by large pages where the
// system allows it.
#pragma once

#include <cstddef>
#include <memory>

namespace catpack {

// Blocks from this size on are worth large pages; smaller ones would only
// be rounded up to them.
inline constexpr std::size_t largeBlockSize = std::size_t{4} << 20;

// Asks for large pages behind the `size` bytes at `block` when they are at
// least largeBlockSize; a hint only.
void preferLargePagesFor(void* block, std::size_t size);

// An allocator whose big blocks are backed by large pages where it can.
template <typename T>
struct LargeBlockAllocator : std::allocator<T> {
  template <typename U>
  struct rebind {
    using other = LargeBlockAllocator<U>;
  };
  LargeBlockAllocator() = default;
  template <typename U>
  LargeBlockAllocator(const LargeBlockAllocator<U>&) {}

  // Room for `count` elements, not yet constructed.
  T* allocate(std::size_t count) {
    T* block = std::allocator<T>::allocate(count);
    preferLargePagesFor(block, count * sizeof(T));
    return block;
  }
};

// Room for `count` elements of `size` bytes, all zero, with large pages
// asked for as preferLargePagesFor asks; ends the run as exhausted memory
// does when it cannot be had.
void* zeroedRoom(std::size_t count, std::size_t size);
// Frees what zeroedRoom gave.
void freeZeroedRoom(void* room);

// A block of `size` elements of a trivial type, every byte zero at first:
// fresh memory from the system is zero already, so its pages are first
// touched by whoever first writes them, not all at once by a fill.
template <typename T>
class ZeroedBlock {
 public:
  ZeroedBlock() = default;
  explicit ZeroedBlock(std::size_t size)
      : elements_(static_cast<T*>(zeroedRoom(size, sizeof(T)))), size_(size) {}

  T& operator[](std::size_t index) { return elements_.get()[index]; }
  const T& operator[](std::size_t index) const { return elements_.get()[index]; }
  std::size_t size() const { return size_; }

 private:
  // Frees what zeroedRoom gave.
  struct Free {
    void operator()(T* elements) const { freeZeroedRoom(elements); }
  };

  std::unique_ptr<T, Free> elements_;
  std::size_t size_ = 0;
};

}  // namespace catpack
