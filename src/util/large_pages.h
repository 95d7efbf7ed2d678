// Large memory pages for the big arrays of a run that are read all over at
// random (an index text, the entries of an index), so that reaching a
// far-away element costs fewer address-translation misses.
#pragma once

#include <cstddef>

namespace catpack {

// Hints that the `size` bytes at `block` be backed by large pages, when they
// are many enough for it to pay; the block must not be in use yet.
void adviseLargePagesFor(void* block, std::size_t size);

}  // namespace catpack
