#include "index/key_order.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

namespace catpack {
namespace {

// Keys held in a plain list, looked up by slot.
struct ListedKeys {
  const std::vector<std::string>& list;
  std::string_view key(std::uint32_t slot) const { return list[slot]; }
  void prefetchEntry(std::uint32_t) const {}
};

// Sorts slots 0 to keys.size() - 1; gives the survivors and the replaced.
std::pair<std::vector<std::uint32_t>, std::vector<std::uint32_t>> sortAll(
    const std::vector<std::string>& keys, unsigned helpers) {
  std::vector<std::uint32_t> slots(keys.size());
  for (std::uint32_t slot = 0; slot < keys.size(); ++slot) slots[slot] = slot;
  std::vector<std::uint32_t> replaced;
  sortSlotsByKey(slots, ListedKeys{keys}, replaced, helpers);
  std::sort(replaced.begin(), replaced.end());
  return {std::vector<std::uint32_t>(slots.begin(), slots.end()), replaced};
}

// The same, worked out plainly: bytewise unsigned order, the last slot of
// a key survives.
std::pair<std::vector<std::uint32_t>, std::vector<std::uint32_t>> sortPlainly(
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

// Random keys over a few shapes: a shared prefix of `prefixLength` bytes,
// then short random parts from an alphabet with high bytes and NULs, so
// that keys repeat, begin one another and differ at every depth.
std::vector<std::string> randomKeys(std::size_t count, std::size_t prefixLength,
                                    std::mt19937& random) {
  const std::string alphabet("ab/\x01\x7f\x80\xff\0z", 9);
  std::vector<std::string> keys;
  keys.reserve(count);
  for (std::size_t made = 0; made < count; ++made) {
    std::string key(prefixLength, 'p');
    const std::size_t length = random() % 24;
    for (std::size_t at = 0; at < length; ++at) key += alphabet[random() % alphabet.size()];
    keys.push_back(key);
  }
  return keys;
}

TEST(KeyOrder, MatchesAPlainStableSortOnOneOrTwoThreads) {
  std::mt19937 random(11);
  // Large enough to be cut in two; the long shared prefix leaves nothing
  // to cut by the first eight bytes.
  for (const std::size_t prefixLength : {0u, 3u, 8u, 21u}) {
    const std::vector<std::string> keys = randomKeys(40000, prefixLength, random);
    const auto expected = sortPlainly(keys);
    EXPECT_FALSE(expected.second.empty());
    for (const unsigned helpers : {0u, 1u, 3u}) {
      EXPECT_EQ(sortAll(keys, helpers), expected)
          << "prefix " << prefixLength << ", " << helpers << " helpers";
    }
  }
}

TEST(KeyOrder, CutsInTwoOnlyWhereTheFirstBytesDiffer) {
  using keyorder::Chunk;
  std::mt19937 random(5);
  std::vector<std::string> keys = randomKeys(10000, 0, random);
  for (int copy = 0; copy < 6000; ++copy) keys.push_back("ab/ab/ab/ab");  // one heavy value
  std::vector<Chunk> chunks;
  for (std::uint32_t slot = 0; slot < keys.size(); ++slot) {
    chunks.push_back(keyorder::chunkAt(keys[slot], 0, slot));
  }
  const std::vector<keyorder::Run> parts = keyorder::cutInTwo(chunks);
  ASSERT_EQ(parts.size(), 2u);
  EXPECT_EQ(parts[0].end, parts[1].begin);
  EXPECT_GE(parts[0].end, chunks.size() / 4);
  EXPECT_GE(chunks.size() - parts[0].end, chunks.size() / 4);
  std::uint64_t highestBelow = 0;
  for (std::size_t at = 0; at < parts[0].end; ++at) highestBelow = std::max(highestBelow, chunks[at].bytes);
  for (std::size_t at = parts[1].begin; at < chunks.size(); ++at) {
    EXPECT_GT(chunks[at].bytes, highestBelow);
  }

  std::vector<Chunk> same(5000, keyorder::chunkAt("same-eight-bytes", 0, 0));
  EXPECT_EQ(keyorder::cutInTwo(same).size(), 1u);
}

}  // namespace
}  // namespace catpack
