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
#include "util/large_blocks.h"

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

// How a stored entry's digest is held: right behind the NUL of its name.
enum class DigestForm : std::uint32_t {
  none = 0,
  plain = 1,           // digestLength bytes and a NUL
  lengthPrefixed = 2,  // its length (4 bytes, native order), its bytes and a NUL
};

// One entry as it is stored, its texts given by offsets in its segment:
// 32 bytes, two to a cache line.
struct StoredEntry {
  std::uint32_t segmentAndForm;  // segment (bits 0-28), digest form (29-30), wide time (31)
  std::uint32_t name;            // followed by a NUL and the digest, if any
  std::uint32_t key;             // the name's offset when the name has no capital
  std::uint32_t nameLength;
  std::int32_t size;
  std::int32_t time;             // the time, or its place among the wide times
  std::uint32_t offsetLow;       // where a member's bytes begin in its data file
  std::uint32_t offsetHigh;

  std::uint32_t segment() const { return segmentAndForm & segmentBits; }
  DigestForm digestForm() const { return static_cast<DigestForm>((segmentAndForm >> 29) & 3); }
  bool hasWideTime() const { return (segmentAndForm & wideTimeBit) != 0; }
  std::uint64_t offset() const { return std::uint64_t{offsetHigh} << 32 | offsetLow; }
  void setOffset(std::uint64_t offset) {
    offsetLow = static_cast<std::uint32_t>(offset);
    offsetHigh = static_cast<std::uint32_t>(offset >> 32);
  }

  static constexpr std::uint32_t segmentBits = (std::uint32_t{1} << 29) - 1;
  static constexpr std::uint32_t wideTimeBit = std::uint32_t{1} << 31;
  // The first word of an entry of `segment` with the given digest form.
  static std::uint32_t segmentWord(std::uint32_t segment, DigestForm form) {
    return segment | static_cast<std::uint32_t>(form) << 29;
  }
};

static_assert(sizeof(StoredEntry) == 32);

// Whether `time` is held in the entry itself, not among the wide times.
inline bool fitsNarrow(std::int64_t time) {
  return time >= std::numeric_limits<std::int32_t>::min() &&
         time <= std::numeric_limits<std::int32_t>::max();
}

// An allocator that leaves new elements of a trivial type uninitialised
// until they are written, so that room made for entries costs nothing
// before it is used; big blocks are backed by large pages.
template <typename T>
struct UninitialisedAllocator : LargeBlockAllocator<T> {
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
