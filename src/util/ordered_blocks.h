// Work cut into numbered blocks that helper threads may make side by side,
// handed on strictly in block order: a long listing formatted on every core
// and written out as one stream, byte for byte as one thread would.
#pragma once

#include <cstddef>
#include <functional>
#include <vector>

namespace catpack {

// Makes a block into `bytes`, which it may grow, and gives how many of
// them it used; `bytes` comes as an earlier block left it.
using MakeBlock = std::function<std::size_t(std::size_t block, std::vector<char>& bytes)>;
// Takes the bytes a block was made into.
using TakeBlock = std::function<void(const char* bytes, std::size_t length)>;

// Makes blocks 0 to `count` - 1 on this thread and `helpers` helper threads,
// and takes each on this thread, in block order. At most a few blocks per
// thread wait at any time, so memory stays bounded. With no helpers, every
// block is made and taken in turn on this thread.
void makeBlocksInOrder(std::size_t count, unsigned helpers, const MakeBlock& make,
                       const TakeBlock& take);

}  // namespace catpack
