// Puts entries in key order: bytewise unsigned, a key before every longer
// key it begins.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

#include "index/key_buckets.h"
#include "index/key_chunks.h"
#include "util/workers.h"

namespace catpack {

namespace keyorder {

// Sixteen key bytes from some depth on, for sorting a short run at once.
struct WideChunk {
  std::uint64_t high;
  std::uint64_t low;
  std::uint64_t tailAndSlot;  // tail (bits 32-36: 0 to 16, or 17 when the key goes on), slot

  bool operator<(const WideChunk& other) const {
    if (high != other.high) return high < other.high;
    if (low != other.low) return low < other.low;
    return tailAndSlot < other.tailAndSlot;
  }
};

inline constexpr std::uint64_t wideContinues = 17;
// Runs up to this long are sorted sixteen bytes at a time in a small buffer
// of their own: one pass over their scattered keys instead of two.
inline constexpr std::size_t wideRunLimit = 1 << 16;

inline WideChunk wideChunkAt(std::string_view key, std::size_t depth, std::uint32_t slot) {
  const std::size_t remaining = key.size() - depth;
  const std::uint64_t high = chunkAt(key, depth, slot).bytes;
  const std::uint64_t low = remaining > 8 ? chunkAt(key, depth + 8, slot).bytes : 0;
  const std::uint64_t tail = remaining > 16 ? wideContinues : remaining;
  return {high, low, (tail << 32) | slot};
}

// Sorts each run by the chunks read at its depth, and collects in `deeper`
// the stretches that still agree after them; marks every chunk whose key a
// later slot holds too as replaced.
inline void sortRuns(std::vector<Chunk>& chunks, const std::vector<Run>& runs, std::vector<Run>& deeper) {
  for (const Run& run : runs) {
    Chunk* const begin = chunks.data() + run.begin;
    Chunk* const end = chunks.data() + run.end;
    std::sort(begin, end);
    for (Chunk* same = begin; same != end;) {
      Chunk* sameEnd = same + 1;
      while (sameEnd != end && sameEnd->bytes == same->bytes && tailOf(*sameEnd) == tailOf(*same)) {
        ++sameEnd;
      }
      if (tailOf(*same) != continues) {
        // Equal keys, in slot order: all but the last are replaced.
        for (Chunk* equal = same; equal + 1 != sameEnd; ++equal) equal->tailAndSlot |= replacedBit;
      } else if (sameEnd - same > 1) {
        deeper.push_back({static_cast<std::size_t>(same - chunks.data()),
                          static_cast<std::size_t>(sameEnd - chunks.data()), run.depth + 8});
      }
      same = sameEnd;
    }
  }
}

// Sorts the chunks of `runs`, read at their depth, level by level: each
// level sorts the runs of the one before by their next bytes, until every
// key stands in its place; marks every chunk whose key a later slot holds
// too as replaced. `keys` as for sortSlotsByKey.
template <typename Keys>
void sortLevels(std::vector<Chunk>& chunks, std::vector<Run> runs, const Keys& keys) {
  std::vector<Run> deeper;
  std::vector<WideChunk> wide;
  sortRuns(chunks, runs, deeper);
  while (!deeper.empty()) {
    runs.swap(deeper);
    deeper.clear();
    // The keys of a level's runs are read in one pass in run order.
    LevelLoadsAhead<Keys> loads(runs, keys);
    for (const Run& run : runs) {
      if (run.end - run.begin > wideRunLimit) {
        for (std::size_t at = run.begin; at < run.end; ++at) {
          loads.step(chunks.data());
          const std::uint32_t slot = slotOf(chunks[at]);
          chunks[at] = chunkAt(keys.key(slot), run.depth, slot);
        }
        sortRuns(chunks, {run}, deeper);
        continue;
      }
      wide.clear();
      for (std::size_t at = run.begin; at < run.end; ++at) {
        loads.step(chunks.data());
        const std::uint32_t slot = slotOf(chunks[at]);
        wide.push_back(wideChunkAt(keys.key(slot), run.depth, slot));
      }
      std::sort(wide.begin(), wide.end());
      for (std::size_t same = 0; same < wide.size();) {
        std::size_t sameEnd = same + 1;
        const auto tail = [&](std::size_t at) { return (wide[at].tailAndSlot >> 32) & 0x1F; };
        while (sameEnd < wide.size() && wide[sameEnd].high == wide[same].high &&
               wide[sameEnd].low == wide[same].low && tail(sameEnd) == tail(same)) {
          ++sameEnd;
        }
        const bool continues = tail(same) == wideContinues;
        for (std::size_t at = same; at < sameEnd; ++at) {
          Chunk& chunk = chunks[run.begin + at];
          chunk.tailAndSlot = wide[at].tailAndSlot & 0xFFFFFFFF;
          // Equal keys, in slot order: all but the last are replaced.
          if (!continues && at + 1 < sameEnd) chunk.tailAndSlot |= replacedBit;
        }
        if (continues && sameEnd - same > 1) {
          deeper.push_back({run.begin + same, run.begin + sameEnd, run.depth + 16});
        }
        same = sameEnd;
      }
    }
  }
}

// Fills chunks `begin` to `end` with the first eight key bytes of the slots
// there, starting the loads of entries and keys a little ahead.
template <typename Keys>
void readFirstChunks(const std::vector<std::uint32_t>& slots, const Keys& keys, std::size_t begin,
                     std::size_t end, std::vector<Chunk>& chunks) {
  for (std::size_t at = begin; at < end; ++at) {
    loadAhead(slots, keys, at, end);
    chunks[at] = chunkAt(keys.key(slots[at]), 0, slots[at]);
  }
}

// Keys from this many on are first tried by their leading values.
inline constexpr std::size_t leadingValueMinimum = 1 << 12;

// Chunks from this many on are sorted on two threads.
inline constexpr std::size_t twoThreadMinimum = 1 << 15;

// Cuts the unsorted chunks of level 0 into two stretches, reordering them,
// such that every chunk of the first is less in its eight bytes than every
// chunk of the second; gives them, or the whole when no cut leaves each
// stretch at least a quarter of the chunks.
inline std::vector<Run> cutInTwo(std::vector<Chunk>& chunks) {
  const std::size_t count = chunks.size();
  const auto byBytes = [](const Chunk& one, const Chunk& other) { return one.bytes < other.bytes; };
  Chunk* const begin = chunks.data();
  Chunk* const middle = begin + count / 2;
  std::nth_element(begin, middle, begin + count, byBytes);
  const std::uint64_t pivot = middle->bytes;
  // Below the middle all are at most the pivot, from it on at least.
  const auto below = static_cast<std::size_t>(
      std::partition(begin, middle, [&](const Chunk& chunk) { return chunk.bytes < pivot; }) - begin);
  if (below >= count / 4) return {{0, below, 0}, {below, count, 0}};
  const auto upTo = static_cast<std::size_t>(
      std::partition(middle, begin + count, [&](const Chunk& chunk) { return chunk.bytes <= pivot; }) -
      begin);
  if (count - upTo >= count / 4) return {{0, upTo, 0}, {upTo, count, 0}};
  return {{0, count, 0}};
}

}  // namespace keyorder

// Orders `slots` by key, equal keys by slot. Of equal keys only the last
// slot stays in `slots`; the others are appended to `replaced`. `keys`
// gives key(slot) (a view that stays put while sorting), and takes the
// hint prefetchEntry(slot) a while before key(slot) is asked for;
// with `helpers`, it is called from two threads at once.
template <typename Keys>
void sortSlotsByKey(std::vector<std::uint32_t>& slots, const Keys& keys,
                    std::vector<std::uint32_t>& replaced, unsigned helpers) {
  using keyorder::Chunk;
  using keyorder::Run;
  const bool twoThreads = helpers > 0 && slots.size() >= keyorder::twoThreadMinimum;
  if (slots.size() >= keyorder::leadingValueMinimum &&
      keyorder::sortByLeadingValues(slots, keys, replaced, twoThreads)) {
    return;
  }
  std::vector<Chunk> chunks(slots.size());
  if (twoThreads) {
    const std::size_t half = slots.size() / 2;
    HelperThreads helper(1, [&] { keyorder::readFirstChunks(slots, keys, half, slots.size(), chunks); });
    keyorder::readFirstChunks(slots, keys, 0, half, chunks);
  } else {
    keyorder::readFirstChunks(slots, keys, 0, slots.size(), chunks);
  }

  // Two stretches apart in key order are sorted side by side.
  const std::vector<Run> parts =
      twoThreads ? keyorder::cutInTwo(chunks) : std::vector<Run>{{0, chunks.size(), 0}};
  if (parts.size() == 1) {
    keyorder::sortLevels(chunks, parts, keys);
  } else {
    HelperThreads helper(1, [&] { keyorder::sortLevels(chunks, {parts[1]}, keys); });
    keyorder::sortLevels(chunks, {parts[0]}, keys);
  }

  slots.clear();
  for (const Chunk& chunk : chunks) {
    if ((chunk.tailAndSlot & keyorder::replacedBit) != 0) {
      replaced.push_back(keyorder::slotOf(chunk));
    } else {
      slots.push_back(keyorder::slotOf(chunk));
    }
  }
}

}  // namespace catpack
