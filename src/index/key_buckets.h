// Puts keys in order when their first eight bytes take few values, as the
// names of files under a few folders do: the keys are counted and placed
// by those bytes in two passes in slot order, and each place carries the
// next sixteen key bytes, so that most keys are never looked up again in
// the scattered order.
#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "index/key_chunks.h"
#include "util/workers.h"

namespace catpack {

namespace keyorder {

// Sixteen key bytes from some depth on, how the key goes on after them and
// its slot: a key's place in the order being worked out.
struct BucketPlace {
  std::uint32_t words[4];     // the bytes, four to a word, as in Chunk
  std::uint32_t tailAndSlot;  // tail (bits 27-31), replaced (bit 26), slot (bits 0-25)

  std::uint64_t high() const { return std::uint64_t{words[0]} << 32 | words[1]; }
  std::uint64_t low() const { return std::uint64_t{words[2]} << 32 | words[3]; }
  bool operator<(const BucketPlace& other) const {
    if (high() != other.high()) return high() < other.high();
    if (low() != other.low()) return low() < other.low();
    return tailAndSlot < other.tailAndSlot;
  }
};

// A tail of 17 means the key goes on after the sixteen bytes; 0 to 16 how
// many of them it still has (the rest read as 0).
inline constexpr std::uint32_t placeContinues = 17;
inline constexpr std::uint32_t placeReplacedBit = std::uint32_t{1} << 26;
inline constexpr std::uint32_t placeSlotMask = placeReplacedBit - 1;
// Slots from this on do not fit a place.
inline constexpr std::uint64_t placeSlotLimit = placeReplacedBit;

inline std::uint32_t slotOf(const BucketPlace& place) { return place.tailAndSlot & placeSlotMask; }
inline std::uint32_t tailOf(const BucketPlace& place) { return place.tailAndSlot >> 27; }
inline bool isReplaced(const BucketPlace& place) {
  return (place.tailAndSlot & placeReplacedBit) != 0;
}

// The place of the key in `slot`, holding its bytes from `depth` on.
inline BucketPlace placeAt(std::string_view key, std::size_t depth, std::uint32_t slot) {
  const std::size_t remaining = key.size() > depth ? key.size() - depth : 0;
  const std::uint64_t high = remaining > 0 ? chunkAt(key, depth, 0).bytes : 0;
  const std::uint64_t low = remaining > 8 ? chunkAt(key, depth + 8, 0).bytes : 0;
  const auto tail = static_cast<std::uint32_t>(remaining > 16 ? placeContinues : remaining);
  return {{static_cast<std::uint32_t>(high >> 32), static_cast<std::uint32_t>(high),
           static_cast<std::uint32_t>(low >> 32), static_cast<std::uint32_t>(low)},
          tail << 27 | slot};
}

// Byte `at` (0 to 15) of the sixteen a place holds.
inline unsigned byteOf(const BucketPlace& place, unsigned at) {
  return (place.words[at >> 2] >> (24 - 8 * (at & 3))) & 0xFFu;
}

// The first byte from `at` on in which the places from `begin` to `end`
// do not all agree; 16 when they agree in all.
inline unsigned firstDifferingByte(const BucketPlace* begin, const BucketPlace* end, unsigned at) {
  std::uint32_t differ[4] = {};
  for (const BucketPlace* place = begin; place != end; ++place) {
    for (unsigned word = 0; word < 4; ++word) {
      differ[word] |= place->words[word] ^ begin->words[word];
    }
  }
  const BucketPlace differences{{differ[0], differ[1], differ[2], differ[3]}, 0};
  while (at < 16 && byteOf(differences, at) == 0) ++at;
  return at;
}

// Places of runs this short are sorted by comparing them whole.
inline constexpr std::ptrdiff_t shortPlaceRun = 32;

// Sorts the places from `begin` to `end` as std::sort does by their
// operator<, whose bytes before `at` are known to agree: byte by byte from
// the first in which they differ (each byte's places counted and moved in
// place into their groups), and comparing whole once a group is short.
inline void sortPlacesFromByte(BucketPlace* begin, BucketPlace* end, unsigned at) {
  if (end - begin > shortPlaceRun) at = firstDifferingByte(begin, end, at);
  // Short runs, and runs that agree in all their bytes (ordered then by how
  // the keys go on, and by slot), are compared whole.
  if (end - begin <= shortPlaceRun || at == 16) {
    std::sort(begin, end);
    return;
  }
  std::size_t counts[256] = {};
  for (const BucketPlace* place = begin; place != end; ++place) ++counts[byteOf(*place, at)];
  BucketPlace* groupEnd[256];
  BucketPlace* next[256];
  BucketPlace* filled = begin;
  for (unsigned value = 0; value < 256; ++value) {
    next[value] = filled;
    filled += counts[value];
    groupEnd[value] = filled;
  }
  for (unsigned value = 0; value < 256; ++value) {
    while (next[value] != groupEnd[value]) {
      const unsigned belongs = byteOf(*next[value], at);
      if (belongs == value) {
        ++next[value];
      } else {
        std::swap(*next[value], *next[belongs]++);
      }
    }
  }
  BucketPlace* groupBegin = begin;
  for (unsigned value = 0; value < 256; ++value) {
    if (groupEnd[value] - groupBegin > 1) sortPlacesFromByte(groupBegin, groupEnd[value], at + 1);
    groupBegin = groupEnd[value];
  }
}

// The distinct first-eight-byte values (with their tails, as chunkAt gives
// them at depth 0) of a stretch of keys, each with a number: first how many
// keys have it, later where the next of them goes. Holds up to a limit.
class LeadingValues {
 public:
  struct Cell {
    std::uint64_t bytes;
    std::uint32_t tail;  // emptyTail for a cell not in use
    std::uint32_t number;
  };
  static constexpr std::uint32_t emptyTail = 0xFF;

  explicit LeadingValues(std::size_t limit) : limit_(limit), cells_(64, Cell{0, emptyTail, 0}) {}

  // Counts one key of the value of `chunk`; false when that value is one
  // more than the limit.
  bool count(const Chunk& chunk) {
    Cell* cell = &cellOf(chunk);
    if (cell->tail == emptyTail) {
      if (used_ == limit_) return false;
      if (2 * (used_ + 1) > cells_.size()) {
        grow();
        cell = &cellOf(chunk);
      }
      ++used_;
      *cell = {chunk.bytes, static_cast<std::uint32_t>(tailOf(chunk)), 0};
    }
    ++cell->number;
    return true;
  }

  // The cell of the value of `chunk`, or the empty cell where it would go.
  Cell& cellOf(const Chunk& chunk) {
    const auto tail = static_cast<std::uint32_t>(tailOf(chunk));
    std::size_t at = hash(chunk.bytes, tail);
    while (cells_[at].tail != emptyTail &&
           (cells_[at].bytes != chunk.bytes || cells_[at].tail != tail)) {
      at = (at + 1) & (cells_.size() - 1);
    }
    return cells_[at];
  }

  std::vector<Cell>& cells() { return cells_; }

 private:
  // Doubles the cells, so that at most half are in use.
  void grow() {
    std::vector<Cell> old(2 * cells_.size(), Cell{0, emptyTail, 0});
    old.swap(cells_);
    for (const Cell& cell : old) {
      if (cell.tail != emptyTail) cellOf({cell.bytes, std::uint64_t{cell.tail} << 32}) = cell;
    }
  }

  std::size_t hash(std::uint64_t bytes, std::uint32_t tail) const {
    const std::uint64_t mixed = (bytes ^ (std::uint64_t{tail} << 59)) * 0x9E3779B97F4A7C15u;
    return static_cast<std::size_t>(mixed >> 32) & (cells_.size() - 1);
  }

  std::size_t limit_;
  std::size_t used_ = 0;
  std::vector<Cell> cells_;
};

// More distinct first-eight-byte values than this, and keys are put in
// order the general way: counting and placing by them would then cost
// more than it saves.
inline constexpr std::size_t leadingValueLimit = 1 << 16;

// Counts the first-eight-byte values of the keys of slots `begin` to `end`;
// false when they are too many or a slot does not fit a place.
template <typename Keys>
bool countLeadingValues(const std::vector<std::uint32_t>& slots, const Keys& keys,
                        std::size_t begin, std::size_t end, LeadingValues& values) {
  for (std::size_t at = begin; at < end; ++at) {
    loadAhead(slots, keys, at, end);
    if (slots[at] >= placeSlotLimit || !values.count(chunkAt(keys.key(slots[at]), 0, 0))) {
      return false;
    }
  }
  return true;
}

// Puts the keys of slots `begin` to `end` at the places their values'
// cells number, each with its bytes 8 to 23, moving the numbers on.
template <typename Keys>
void placeByLeadingValue(const std::vector<std::uint32_t>& slots, const Keys& keys,
                         std::size_t begin, std::size_t end, LeadingValues& values,
                         BucketPlace* places) {
  for (std::size_t at = begin; at < end; ++at) {
    loadAhead(slots, keys, at, end);
    const std::string_view key = keys.key(slots[at]);
    LeadingValues::Cell& cell = values.cellOf(chunkAt(key, 0, 0));
    places[cell.number++] = placeAt(key, 8, slots[at]);
  }
}

// Sorts each run of places by the sixteen bytes they hold from the run's
// depth (read first, unless `read` says they are there), and the runs that
// still agree after them sixteen bytes deeper, until every key stands in
// its place; marks every place whose key a later slot holds too as
// replaced.
template <typename Keys>
void sortPlaceRuns(BucketPlace* places, std::vector<Run> runs, const Keys& keys, bool read) {
  std::vector<Run> deeper;
  while (!runs.empty()) {
    LevelLoadsAhead<Keys> loads(runs, keys);
    for (const Run& run : runs) {
      BucketPlace* const begin = places + run.begin;
      BucketPlace* const end = places + run.end;
      for (BucketPlace* place = begin; !read && place != end; ++place) {
        loads.step(places);
        const std::uint32_t slot = slotOf(*place);
        *place = placeAt(keys.key(slot), run.depth, slot);
      }
      sortPlacesFromByte(begin, end, 0);
      for (BucketPlace* same = begin; same != end;) {
        BucketPlace* sameEnd = same + 1;
        while (sameEnd != end && sameEnd->high() == same->high() && sameEnd->low() == same->low() &&
               tailOf(*sameEnd) == tailOf(*same)) {
          ++sameEnd;
        }
        if (tailOf(*same) != placeContinues) {
          // Equal keys, in slot order: all but the last are replaced.
          for (BucketPlace* equal = same; equal + 1 != sameEnd; ++equal) {
            equal->tailAndSlot |= placeReplacedBit;
          }
        } else if (sameEnd - same > 1) {
          deeper.push_back({static_cast<std::size_t>(same - places),
                            static_cast<std::size_t>(sameEnd - places), run.depth + 16});
        }
        same = sameEnd;
      }
    }
    runs.swap(deeper);
    deeper.clear();
    read = false;
  }
}

// Orders `slots` as sortSlotsByKey does, when the keys' first eight bytes
// take at most leadingValueLimit values; gives false, leaving everything
// as it was, when they take more. With `twoThreads`, each pass runs on two.
template <typename Keys>
bool sortByLeadingValues(std::vector<std::uint32_t>& slots, const Keys& keys,
                         std::vector<std::uint32_t>& replaced, bool twoThreads) {
  const std::size_t count = slots.size();
  if (count >= placeSlotLimit) return false;
  const std::size_t limit = std::min(leadingValueLimit, count);
  const std::size_t half = twoThreads ? count / 2 : count;
  LeadingValues first(limit);
  LeadingValues second(twoThreads ? limit : 0);
  bool secondFits = true;
  {
    HelperThreads helper(twoThreads ? 1 : 0, [&] {
      secondFits = countLeadingValues(slots, keys, half, count, second);
    });
    if (!countLeadingValues(slots, keys, 0, half, first)) return false;
  }
  if (!secondFits) return false;

  // The values in order, each numbered with where its keys go: those of the
  // first half of the slots before those of the second.
  struct Value {
    std::uint64_t bytes;
    std::uint32_t tail;
    LeadingValues::Cell* inFirst;
    LeadingValues::Cell* inSecond;
  };
  std::vector<Value> values;
  // Where each cell of the first half's values stands in `values`.
  std::vector<std::uint32_t> valueOfCell(first.cells().size());
  for (LeadingValues::Cell& cell : first.cells()) {
    if (cell.tail == LeadingValues::emptyTail) continue;
    valueOfCell[static_cast<std::size_t>(&cell - first.cells().data())] =
        static_cast<std::uint32_t>(values.size());
    values.push_back({cell.bytes, cell.tail, &cell, nullptr});
  }
  for (LeadingValues::Cell& cell : second.cells()) {
    if (cell.tail == LeadingValues::emptyTail) continue;
    LeadingValues::Cell& match = first.cellOf({cell.bytes, std::uint64_t{cell.tail} << 32});
    if (match.tail == LeadingValues::emptyTail) {
      values.push_back({cell.bytes, cell.tail, nullptr, &cell});
    } else {
      values[valueOfCell[static_cast<std::size_t>(&match - first.cells().data())]].inSecond = &cell;
    }
  }
  std::sort(values.begin(), values.end(), [](const Value& one, const Value& other) {
    return one.bytes != other.bytes ? one.bytes < other.bytes : one.tail < other.tail;
  });
  // Each value of two or more keys makes a run of places at depth 8.
  std::vector<Run> runs;
  std::uint32_t next = 0;
  for (const Value& value : values) {
    const std::uint32_t begin = next;
    for (LeadingValues::Cell* cell : {value.inFirst, value.inSecond}) {
      if (cell == nullptr) continue;
      const std::uint32_t keysOfValue = cell->number;
      cell->number = next;
      next += keysOfValue;
    }
    if (next - begin > 1) runs.push_back({begin, next, 8});
  }

  // Every place is written once below; none is read before.
  const std::unique_ptr<BucketPlace[]> places(new BucketPlace[count]);
  {
    HelperThreads helper(twoThreads ? 1 : 0, [&] {
      placeByLeadingValue(slots, keys, half, count, second, places.get());
    });
    placeByLeadingValue(slots, keys, 0, half, first, places.get());
  }
  // The runs are shared out by how many keys they hold.
  std::size_t cut = runs.size();
  if (twoThreads) {
    std::size_t held = 0;
    for (cut = 0; cut < runs.size() && held < count / 2; ++cut) {
      held += runs[cut].end - runs[cut].begin;
    }
  }
  {
    const std::vector<Run> secondRuns(runs.begin() + static_cast<std::ptrdiff_t>(cut), runs.end());
    runs.resize(cut);
    HelperThreads helper(secondRuns.empty() ? 0 : 1,
                         [&] { sortPlaceRuns(places.get(), secondRuns, keys, true); });
    sortPlaceRuns(places.get(), std::move(runs), keys, true);
  }

  slots.clear();
  for (const BucketPlace* place = places.get(); place != places.get() + count; ++place) {
    (isReplaced(*place) ? replaced : slots).push_back(slotOf(*place));
  }
  return true;
}

}  // namespace keyorder

}  // namespace catpack
