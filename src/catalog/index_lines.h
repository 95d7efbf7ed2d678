// Splits an index text into member lines and takes each line apart from
// its right end.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace catpack {

// One member line of an index file.
struct IndexLine {
  std::string name;    // ends at its first NUL byte
  std::int32_t size = 0;
  std::int32_t time = 0;
  std::string digest;  // empty for a short line
};

// Calls `member` for every line of the (unscrambled) `text` that names a
// member, in order. Lines that do not fit the grammar are passed over.
void forEachIndexLine(const unsigned char* text, std::size_t length, bool oldFormat,
                      const std::function<void(const IndexLine&)>& member);

}  // namespace catpack
