// Key bytes read as numbers that compare like the bytes, and the runs of
// keys that still agree on their first bytes: what every way of putting
// keys in order works with.
#pragma once

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

}  // namespace keyorder

}  // namespace catpack
