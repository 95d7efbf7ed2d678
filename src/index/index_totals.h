// Sums over a whole index, for telling how much work lies ahead.
#pragma once

#include <cstdint>

#include "index/file_index.h"

namespace catpack {

// The bytes of all entries' contents together.
std::uint64_t contentBytes(const FileIndex& index);

// The bytes of the largest entry's contents.
std::uint64_t largestContent(const FileIndex& index);

}  // namespace catpack
