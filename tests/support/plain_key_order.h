// Keys in a plain list, and the order the index must give them worked out
// the plain way, for the tests and the fuzz target of key ordering.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace catpack::testing {

// Keys held in a plain list, looked up by slot.
struct ListedKeys {
  const std::vector<std::string>& list;
  std::string_view key(std::uint32_t slot) const { return list[slot]; }
  void prefetchEntry(std::uint32_t) const {}
};

// The slots 0 to keys.size() - 1 that survive, in bytewise unsigned order of
// their keys, and the replaced ones (all but the last slot of each key) in
// slot order: worked out with a stable sort.
inline std::pair<std::vector<std::uint32_t>, std::vector<std::uint32_t>> plainKeyOrder(
    const std::vector<std::string>& keys) {
  std::vector<std::uint32_t> slots(keys.size());
  for (std::uint32_t slot = 0; slot < keys.size(); ++slot) slots[slot] = slot;
  std::stable_sort(slots.begin(), slots.end(), [&](std::uint32_t one, std::uint32_t other) {
    return keys[one] < keys[other];  // std::string compares bytes as unsigned
  });
  std::vector<std::uint32_t> survivors;
  std::vector<std::uint32_t> replaced;
  for (std::size_t at = 0; at < slots.size(); ++at) {
    const bool later = at + 1 < slots.size() && keys[slots[at + 1]] == keys[slots[at]];
    (later ? replaced : survivors).push_back(slots[at]);
  }
  std::sort(replaced.begin(), replaced.end());
  return {survivors, replaced};
}

}  // namespace catpack::testing
