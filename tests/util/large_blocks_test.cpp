#include "util/large_blocks.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

namespace catpack {
namespace {

// The byte written at `position` of a test block.
unsigned char patternAt(std::size_t position) {
  return static_cast<unsigned char>(position * 131 + position / 4096);
}

// Whether the `size` bytes at `block` hold the pattern.
bool holdsPattern(const unsigned char* block, std::size_t size) {
  for (std::size_t at = 0; at < size; ++at) {
    if (block[at] != patternAt(at)) return false;
  }
  return true;
}

TEST(LargeBlocks, AdvisingKeepsTheBytesOfBlocksOfAnyPlaceAndSize) {
  // Blocks that start and end off page boundaries, small and big: the hint
  // must leave every byte as it was, the bytes next to the block included.
  for (const std::size_t size : {std::size_t{100}, largeBlockSize - 1, largeBlockSize + 4097,
                                 3 * largeBlockSize}) {
    std::vector<unsigned char> room(size + 2);
    for (std::size_t at = 0; at < room.size(); ++at) room[at] = patternAt(at);
    preferLargePagesFor(room.data() + 1, size);
    EXPECT_TRUE(holdsPattern(room.data(), room.size())) << size;
  }
}

TEST(LargeBlocks, VectorsKeepTheirElementsThroughGrowth) {
  std::vector<std::uint64_t, LargeBlockAllocator<std::uint64_t>> values;
  const std::size_t count = 3 * largeBlockSize / sizeof(std::uint64_t) + 5;
  for (std::size_t at = 0; at < count; ++at) values.push_back(at * 0x9E3779B97F4A7C15ULL);
  ASSERT_EQ(values.size(), count);
  bool same = true;
  for (std::size_t at = 0; at < count; ++at) same = same && values[at] == at * 0x9E3779B97F4A7C15ULL;
  EXPECT_TRUE(same);
  // A block the allocator gives is fresh room, not shared with another.
  std::vector<std::uint64_t, LargeBlockAllocator<std::uint64_t>> copy(values);
  copy[0] = 1;
  EXPECT_EQ(values[0], 0u);
  EXPECT_EQ(copy[count - 1], values[count - 1]);
}

}  // namespace
}  // namespace catpack

namespace catpack {
namespace {

TEST(ZeroedBlock, StartsAllZeroAndKeepsWhatIsWritten) {
  for (const std::size_t size : {std::size_t{0}, std::size_t{3}, 2 * largeBlockSize / 8 + 7}) {
    ZeroedBlock<std::uint64_t> block(size);
    ASSERT_EQ(block.size(), size);
    bool zero = true;
    for (std::size_t at = 0; at < size; ++at) zero = zero && block[at] == 0;
    EXPECT_TRUE(zero) << size;
    for (std::size_t at = 0; at < size; at += 1000) block[at] = at + 1;
    bool kept = true;
    for (std::size_t at = 0; at < size; ++at) kept = kept && block[at] == (at % 1000 == 0 ? at + 1 : 0);
    EXPECT_TRUE(kept) << size;
  }
}

TEST(ZeroedBlock, AFreshBlockIsZeroWhereAFreedOneWasWritten) {
  // Memory given back and taken again must not bring its old bytes along.
  for (int round = 0; round < 3; ++round) {
    ZeroedBlock<unsigned char> block(largeBlockSize + 100);
    std::size_t nonZero = 0;
    for (std::size_t at = 0; at < block.size(); ++at) nonZero += block[at] != 0 ? 1 : 0;
    EXPECT_EQ(nonZero, 0u) << round;
    for (std::size_t at = 0; at < block.size(); ++at) block[at] = 0xA5;
  }
  for (int round = 0; round < 3; ++round) {
    ZeroedBlock<unsigned char> block(1000);
    std::size_t nonZero = 0;
    for (std::size_t at = 0; at < block.size(); ++at) nonZero += block[at] != 0 ? 1 : 0;
    EXPECT_EQ(nonZero, 0u) << round;
    for (std::size_t at = 0; at < block.size(); ++at) block[at] = 0x5A;
  }
}

}  // namespace
}  // namespace catpack
