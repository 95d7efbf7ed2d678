#include "index/key_order.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "support/plain_key_order.h"

namespace catpack {
namespace {

using testing::ListedKeys;
using testing::plainKeyOrder;

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
  for (const std::size_t prefixLength : {0u, 3u, 8u, 21u, 40u}) {
    const std::vector<std::string> keys = randomKeys(40000, prefixLength, random);
    const auto expected = plainKeyOrder(keys);
    EXPECT_FALSE(expected.second.empty());
    for (const unsigned helpers : {0u, 1u, 3u}) {
      EXPECT_EQ(sortAll(keys, helpers), expected)
          << "prefix " << prefixLength << ", " << helpers << " helpers";
    }
  }
}

// Keys as names of files under a few folders: one of `folders` random
// folder names (some shorter than eight bytes, some exactly 8, 16 or 24
// long), then a short random part, so that keys agree on their first
// eight bytes in large groups and differ, or not, at every depth after.
std::vector<std::string> keysUnderFolders(std::size_t count, std::size_t folders,
                                          std::mt19937& random) {
  const std::string alphabet("ab/\x01\x7f\x80\xff\0z", 9);
  std::vector<std::string> names;
  for (std::size_t made = 0; made < folders; ++made) {
    const std::size_t lengths[] = {0, 3, 7, 8, 9, 15, 16, 17, 24, 25, 31};
    std::string name(lengths[random() % std::size(lengths)], 'f');
    for (char& byte : name) byte = alphabet[random() % 3];
    names.push_back(name);
  }
  std::vector<std::string> keys;
  keys.reserve(count);
  for (std::size_t made = 0; made < count; ++made) {
    std::string key = names[random() % names.size()];
    const std::size_t length = random() % 12;
    for (std::size_t at = 0; at < length; ++at) key += alphabet[random() % alphabet.size()];
    keys.push_back(key);
  }
  return keys;
}

TEST(KeyOrder, KeysUnderFewFoldersMatchAPlainStableSort) {
  std::mt19937 random(23);
  for (const std::size_t folders : {1u, 40u, 3000u}) {
    const std::vector<std::string> keys = keysUnderFolders(50000, folders, random);
    const auto expected = plainKeyOrder(keys);
    EXPECT_FALSE(expected.second.empty());
    for (const unsigned helpers : {0u, 1u, 3u}) {
      EXPECT_EQ(sortAll(keys, helpers), expected) << folders << " folders, " << helpers << " helpers";
    }
  }
}

TEST(KeyOrder, EqualKeysFollowTheirSlotsWhateverOrderTheSlotsComeIn) {
  std::mt19937 random(29);
  for (const std::size_t folders : {20u, 100000u}) {
    const std::vector<std::string> keys = keysUnderFolders(30000, folders, random);
    std::vector<std::uint32_t> slots(keys.size());
    for (std::uint32_t slot = 0; slot < keys.size(); ++slot) slots[slot] = slot;
    std::shuffle(slots.begin(), slots.end(), random);
    std::vector<std::uint32_t> replaced;
    sortSlotsByKey(slots, ListedKeys{keys}, replaced, 1);
    std::sort(replaced.begin(), replaced.end());
    EXPECT_EQ(std::make_pair(slots, replaced), plainKeyOrder(keys)) << folders << " folders";
  }
}

TEST(KeyOrder, LeadingValuesAreCountedOnlyUpToTheirLimit) {
  std::mt19937 random(31);
  const std::size_t limit = keyorder::leadingValueLimit;
  // Keys of one value, then keys of `values` values.
  const auto keysOf = [&](std::size_t ofOneValue, std::size_t values) {
    std::vector<std::string> keys;
    for (std::size_t made = 0; made < ofOneValue; ++made) {
      keys.push_back("one-value/" + std::to_string(random() % 5000));
    }
    for (std::size_t value = 0; value < values; ++value) {
      const std::string digits = std::to_string(value);
      keys.push_back("v" + std::string(7 - digits.size(), '0') + digits + "/x");
    }
    return keys;
  };
  const auto slotsOf = [](const std::vector<std::string>& keys) {
    std::vector<std::uint32_t> slots(keys.size());
    for (std::uint32_t slot = 0; slot < keys.size(); ++slot) slots[slot] = slot;
    return slots;
  };

  // One value too many, on one thread or in the helper's half alone: the
  // order is left to the general way, untouched.
  for (const bool twoThreads : {false, true}) {
    const std::vector<std::string> keys =
        twoThreads ? keysOf(limit + 1, limit + 1) : keysOf(20000, limit);
    std::vector<std::uint32_t> slots = slotsOf(keys);
    std::vector<std::uint32_t> replaced;
    EXPECT_FALSE(keyorder::sortByLeadingValues(slots, ListedKeys{keys}, replaced, twoThreads));
    EXPECT_EQ(slots, slotsOf(keys));
    EXPECT_TRUE(replaced.empty());
    EXPECT_EQ(sortAll(keys, 1), plainKeyOrder(keys));
  }

  // Exactly the limit fits.
  const std::vector<std::string> keys = keysOf(20000, limit - 1);
  std::vector<std::uint32_t> slots = slotsOf(keys);
  std::vector<std::uint32_t> replaced;
  EXPECT_TRUE(keyorder::sortByLeadingValues(slots, ListedKeys{keys}, replaced, false));
  std::sort(replaced.begin(), replaced.end());
  EXPECT_EQ(std::make_pair(slots, replaced), plainKeyOrder(keys));
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
