// Key bytes read as numbers that compare like the bytes, and the runs of
// keys that still agree on their first bytes: what every way of putting
// keys in order works with.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

#include "util/prefetch.h"

namespace catpack {

namespace keyorder {

// Eight key bytes from some depth on, as one number that compares like the
// bytes, plus how the key goes on and the slot that holds it.
struct Chunk {
  std::uint64_t bytes;
  std::uint64_t tailAndSlot;  // tail (bits 32-35), slot (bits 0-31), replaced (bit 63)

  bool operator<(const Chunk& other) const {
    return bytes != other.bytes ? bytes < other.bytes : tailAndSlot < other.tailAndSlot;
  }
};

// A tail of 9 means the key goes on after these eight bytes; 0 to 8 how
// many of them the key still has (the rest read as 0).
inline constexpr std::uint64_t continues = 9;
inline constexpr std::uint64_t replacedBit = std::uint64_t{1} << 63;

inline std::uint32_t slotOf(const Chunk& chunk) { return static_cast<std::uint32_t>(chunk.tailAndSlot); }
inline std::uint64_t tailOf(const Chunk& chunk) { return (chunk.tailAndSlot >> 32) & 0xF; }

inline Chunk chunkAt(std::string_view key, std::size_t depth, std::uint32_t slot) {
  const std::size_t remaining = key.size() - depth;
  std::uint64_t value = 0;
  if (remaining >= 8) {
    unsigned char bytes[8];
    std::memcpy(bytes, key.data() + depth, 8);
    for (const unsigned char byte : bytes) value = (value << 8) | byte;
  } else {
    for (std::size_t at = 0; at < 8; ++at) {
      value = (value << 8) | (at < remaining ? static_cast<unsigned char>(key[depth + at]) : 0u);
    }
  }
  const std::uint64_t tail = remaining > 8 ? continues : remaining;
  return {value, (tail << 32) | slot};
}

// A stretch of chunks whose keys agree on their first `depth` bytes.
struct Run {
  std::size_t begin;
  std::size_t end;
  std::size_t depth;
};

// Goes through the positions of a list of runs in order.
class RunCursor {
 public:
  // Starts `ahead` positions in.
  RunCursor(const std::vector<Run>& runs, std::size_t ahead) : runs_(runs) {
    if (!runs_.empty()) at_ = runs_.front().begin;
    for (; ahead > 0 && valid(); --ahead) advance();
  }
  bool valid() const { return run_ < runs_.size(); }
  std::size_t position() const { return at_; }
  // The depth of the run the position is in.
  std::size_t depth() const { return runs_[run_].depth; }
  void advance() {
    if (!valid()) return;
    if (++at_ < runs_[run_].end) return;
    if (++run_ < runs_.size()) at_ = runs_[run_].begin;
  }

 private:
  const std::vector<Run>& runs_;
  std::size_t run_ = 0;
  std::size_t at_ = 0;
};

// Starts, during a pass over `slots` in order, the loads the pass will soon
// need: the entry of the slot 32 places after `at`, and the key of the one
// 16 places after it.
template <typename Keys>
void loadAhead(const std::vector<std::uint32_t>& slots, const Keys& keys, std::size_t at,
               std::size_t end) {
  constexpr std::size_t entryAhead = 32;
  constexpr std::size_t keyAhead = 16;
  if (at + entryAhead < end) keys.prefetchEntry(slots[at + entryAhead]);
  if (at + keyAhead < end) prefetch(keys.key(slots[at + keyAhead]).data());
}

// Starts, during a pass over the positions of a level's runs in order, the
// loads the pass will soon need: the entries well ahead, and a little less
// far ahead the key bytes the level reads, which may reach into a second
// line. The keys lie all over memory.
template <typename Keys>
class LevelLoadsAhead {
 public:
  LevelLoadsAhead(const std::vector<Run>& runs, const Keys& keys)
      : keys_(keys), entryAhead_(runs, 64), keyAhead_(runs, 32) {}

  // Called once for each position of the pass; `elements` (chunks or
  // places) hold the slots.
  template <typename Element>
  void step(const Element* elements) {
    if (entryAhead_.valid()) keys_.prefetchEntry(slotOf(elements[entryAhead_.position()]));
    if (keyAhead_.valid()) {
      const std::string_view key = keys_.key(slotOf(elements[keyAhead_.position()]));
      const std::size_t depth = keyAhead_.depth();
      if (depth < key.size()) {
        prefetch(key.data() + depth);
        prefetch(key.data() + std::min(key.size(), depth + 16) - 1);
      }
    }
    entryAhead_.advance();
    keyAhead_.advance();
  }

 private:
  const Keys& keys_;
  RunCursor entryAhead_;
  RunCursor keyAhead_;
};

}  // namespace keyorder

}  // namespace catpack
