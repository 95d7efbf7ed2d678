#include "util/ordered_blocks.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <mutex>
#include <algorithm>
#include <string>
#include <thread>

namespace catpack {
namespace {

// Block k is "<k>," repeated k % 7 + 1 times; some blocks take a while, so
// that helpers finish out of order.
std::size_t makeNumbered(std::size_t block, std::vector<char>& bytes) {
  std::string text;
  for (std::size_t copy = 0; copy <= block % 7; ++copy) text += std::to_string(block) + ",";
  if (block % 5 == 0) std::this_thread::sleep_for(std::chrono::microseconds(200));
  if (bytes.size() < text.size()) bytes.resize(text.size());
  std::memcpy(bytes.data(), text.data(), text.size());
  return text.size();
}

TEST(OrderedBlocks, TakesEveryBlockOnceInOrderWhateverTheHelpers) {
  std::string expected;
  std::vector<char> scratch;
  for (std::size_t block = 0; block < 300; ++block) {
    const std::size_t length = makeNumbered(block, scratch);
    expected.append(scratch.data(), length);
  }
  for (const unsigned helpers : {0u, 1u, 3u}) {
    std::string taken;
    const std::thread::id self = std::this_thread::get_id();
    bool takenHere = true;
    makeBlocksInOrder(300, helpers, makeNumbered, [&](const char* bytes, std::size_t length) {
      takenHere = takenHere && std::this_thread::get_id() == self;
      taken.append(bytes, length);
    });
    EXPECT_EQ(taken, expected) << helpers << " helpers";
    EXPECT_TRUE(takenHere) << helpers << " helpers";
  }
}

TEST(OrderedBlocks, HandlesNoBlockAndOneBlock) {
  for (const std::size_t count : {0u, 1u}) {
    std::string taken;
    makeBlocksInOrder(count, 2, makeNumbered,
                      [&](const char* bytes, std::size_t length) { taken.append(bytes, length); });
    EXPECT_EQ(taken, count == 0 ? "" : "0,");
  }
}

TEST(OrderedBlocks, KeepsFewBlocksWaiting) {
  // A slow taker: the helpers may run ahead by a bounded number of blocks only.
  std::mutex mutex;
  std::size_t made = 0;
  std::size_t taken = 0;
  std::size_t mostAhead = 0;
  makeBlocksInOrder(
      200, 3,
      [&](std::size_t block, std::vector<char>& bytes) {
        const std::lock_guard lock(mutex);
        ++made;
        mostAhead = std::max(mostAhead, made - taken);
        return makeNumbered(block, bytes);
      },
      [&](const char*, std::size_t) {
        std::this_thread::sleep_for(std::chrono::microseconds(100));
        const std::lock_guard lock(mutex);
        ++taken;
      });
  EXPECT_EQ(taken, 200u);
  EXPECT_LE(mostAhead, 8u);
}

}  // namespace
}  // namespace catpack
