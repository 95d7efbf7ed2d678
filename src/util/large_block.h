// Storage for the big arrays of a run (a million entries, their order, the
// loaded index text), which are read all over at random: large ones are
// backed by large memory pages where the system offers them, so that
// reaching a far-away element costs fewer address-translation misses.
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

namespace catpack {

// Blocks from this size on get the large-page hint.
inline constexpr std::size_t largeBlockSize = std::size_t{4} << 20;

// Gives the hint for `size` bytes at `block` when they are that many.
void adviseLargeBlock(void* block, std::size_t size);

// An allocator like std::allocator that gives large blocks the hint.
template <typename T>
struct LargeBlockAllocator {
  using value_type = T;

  LargeBlockAllocator() = default;
  template <typename U>
  LargeBlockAllocator(const LargeBlockAllocator<U>&) {}

  T* allocate(std::size_t count) {
    T* block = std::allocator<T>().allocate(count);
    adviseLargeBlock(block, count * sizeof(T));
    return block;
  }
  void deallocate(T* block, std::size_t count) { std::allocator<T>().deallocate(block, count); }

  template <typename U>
  bool operator==(const LargeBlockAllocator<U>&) const {
    return true;
  }
};

// A vector whose storage gets the hint once it is large.
template <typename T>
using LargeVector = std::vector<T, LargeBlockAllocator<T>>;

}  // namespace catpack
