// Keys built from one input are put in order both ways the index can: by
// counting their leading values and in the general way. Either must give
// exactly what a plain stable sort gives: bytewise unsigned order, equal
// keys by slot, all but the last slot of a key replaced.
//
// Input: one byte of mode (bit 0: two threads; bit 1: the general way; bit
// 2: the slots come shuffled), one byte of copies (each key is added that
// many times plus one, copy c with c more bytes of the mode byte behind
// it, so that keys share long prefixes), then keys: a length byte (low six
// bits) and that many bytes.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "fuzz_check.h"
#include "index/key_order.h"
#include "support/plain_key_order.h"

namespace {

using catpack::fuzzing::check;
using catpack::testing::ListedKeys;

// The keys the input describes, each followed by its copies.
std::vector<std::string> keysOf(const std::uint8_t* data, std::size_t size, unsigned copies,
                                char filler) {
  std::vector<std::string> originals;
  for (std::size_t at = 0; at < size;) {
    const std::size_t asked = data[at] & 0x3F;
    ++at;
    const std::size_t length = std::min(asked, size - at);
    originals.emplace_back(reinterpret_cast<const char*>(data + at), length);
    at += length;
  }
  std::vector<std::string> keys;
  for (unsigned copy = 0; copy <= copies; ++copy) {
    for (const std::string& original : originals) keys.push_back(original + std::string(copy, filler));
  }
  return keys;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const std::uint8_t mode = data[0];
  const unsigned copies = data[1] % 48;
  const std::vector<std::string> keys =
      keysOf(data + 2, size - 2, copies, static_cast<char>(mode));
  const bool twoThreads = (mode & 1) != 0;

  std::vector<std::uint32_t> slots(keys.size());
  for (std::uint32_t slot = 0; slot < keys.size(); ++slot) slots[slot] = slot;
  if ((mode & 4) != 0) {
    // A fixed shuffle: reversed halves.
    std::reverse(slots.begin(), slots.begin() + static_cast<std::ptrdiff_t>(slots.size() / 2));
    std::reverse(slots.begin() + static_cast<std::ptrdiff_t>(slots.size() / 2), slots.end());
  }
  std::vector<std::uint32_t> replaced;
  if ((mode & 2) != 0) {
    catpack::sortSlotsByKey(slots, ListedKeys{keys}, replaced, twoThreads ? 1 : 0);
  } else {
    check(catpack::keyorder::sortByLeadingValues(slots, ListedKeys{keys}, replaced, twoThreads),
          "a few keys always have few leading values");
  }
  std::sort(replaced.begin(), replaced.end());
  check(std::make_pair(slots, replaced) == catpack::testing::plainKeyOrder(keys),
        "the order and the replaced slots are those of a plain stable sort");
  return 0;
}
