// How a FileIndex holds its entries: one fixed-size record per entry, whose
// texts lie in the storage of their source (a segment), addressed by 32-bit
// offsets.
#pragma once

#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "util/byte_buffer.h"

namespace catpack {

namespace indexstorage {

// Where a segment's entries have their bytes.
enum class SourceKind : std::uint8_t { none, folder, catalog };

// Offsets within a segment are 32 bits wide; NUL bytes and prefixes included.
inline constexpr std::uint64_t segmentCapacity = std::numeric_limits<std::uint32_t>::max() - 1;
// The length of a digest held without a length prefix.
inline constexpr std::size_t digestLength = 32;

// The storage of one source: an adopted index text and an arena behind
// it, addressed by one run of 32-bit offsets.
struct Segment {
  std::string path;  // folder or catalog base; empty for deletion markers
  SourceKind kind = SourceKind::none;
  bool scrambled = false;
  ByteBuffer text;
  std::vector<char> arena;

  const char* at(std::uint32_t offset) const {
    return offset < text.size() ? reinterpret_cast<const char*>(text.data()) + offset
                                : arena.data() + (offset - text.size());
  }
  std::uint64_t used() const { return std::uint64_t{text.size()} + arena.size(); }
};

// One entry as it is stored, its texts given by offsets in its segment.
struct StoredEntry {
  std::uint32_t segment;  // low 31 bits; the top bit: the digest has a length prefix
  std::uint32_t name;
  std::uint32_t key;
  std::uint32_t nameLength;
  std::int32_t size;
  std::uint32_t digest;
  std::int64_t time;
  std::uint64_t offset;
};

inline constexpr std::uint32_t segmentMask = 0x7FFFFFFF;
inline constexpr std::uint32_t lengthPrefixedDigest = 0x80000000;

// An allocator that leaves new elements of a trivial type uninitialised
// until they are written, so that room made for entries costs nothing
// before it is used.
template <typename T>
struct UninitialisedAllocator : std::allocator<T> {
  template <typename U>
  struct rebind {
    using other = UninitialisedAllocator<U>;
  };
  UninitialisedAllocator() = default;
  template <typename U>
  UninitialisedAllocator(const UninitialisedAllocator<U>&) {}
  template <typename U>
  void construct(U* place) {
    ::new (static_cast<void*>(place)) U;
  }
  template <typename U, typename... Arguments>
  void construct(U* place, Arguments&&... arguments) {
    ::new (static_cast<void*>(place)) U(std::forward<Arguments>(arguments)...);
  }
};

// The entries of an index, in the order they were added.
using EntryStorage = std::vector<StoredEntry, UninitialisedAllocator<StoredEntry>>;

// Appends `text` and a NUL to `arena`, whose first byte has the offset
// `base`; gives the offset of the text.
std::uint32_t appendTo(std::vector<char>& arena, std::uint64_t base, std::string_view text);

}  // namespace indexstorage

}  // namespace catpack
