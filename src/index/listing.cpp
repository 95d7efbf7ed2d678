#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "index/file_index.h"
#include "util/console.h"
#include "util/ordered_blocks.h"

namespace catpack {

namespace {

// The listing is formatted in blocks of this many positions of the walk,
// side by side, and written out in order.
constexpr std::size_t blockEntries = 1024;
// The room a block's buffer starts with: enough for most blocks' lines.
constexpr std::size_t blockBufferSize = 128 << 10;
// The longest line part besides the two texts: two numbers of up to 11
// characters, three spaces and the line feed.
constexpr std::size_t numbersRoom = 2 * 11 + 4;

// What one line of the listing shows.
struct ListedLine {
  EntryText name;
  EntryText key;
  std::int32_t size;
  std::int32_t time;  // the low 32 bits
};

// Writes `value` as "%8d" does at `out`; gives the end.
char* putNumber(char* out, std::int32_t value) {
  char digits[11];
  char* start = digits + sizeof digits;
  std::uint32_t magnitude =
      value < 0 ? 0u - static_cast<std::uint32_t>(value) : static_cast<std::uint32_t>(value);
  do {
    *--start = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  if (value < 0) *--start = '-';
  const std::size_t length = static_cast<std::size_t>(digits + sizeof digits - start);
  for (std::size_t pad = length; pad < 8; ++pad) *out++ = ' ';
  std::memcpy(out, start, length);
  return out + length;
}

// Copies the text as "%s" prints it: up to its first NUL, which only texts
// of an index whose names may hold one need to be searched for.
char* putText(char* out, EntryText text, bool mayHoldNul) {
  const std::size_t length = mayHoldNul ? std::strlen(text.c_str()) : text.size();
  std::memcpy(out, text.c_str(), length);
  return out + length;
}

}  // namespace

void dumpIndex(const FileIndex& index, unsigned helpers) {
  const std::size_t length = index.walkLength();
  const bool mayHoldNul = index.namesMayHoldNul();
  const auto formatBlock = [&](std::size_t block, std::vector<char>& buffer) {
    // The loads of the block's entries and texts all go out first; then the
    // entries are looked up, and the lines made once they all are.
    thread_local std::vector<ListedLine> lines;
    lines.clear();
    const FileIndex::iterator stop = index.walkFrom(std::min(length, (block + 1) * blockEntries));
    index.prefetchWalkStretch(block * blockEntries, (block + 1) * blockEntries);
    for (FileIndex::iterator at = index.walkFrom(block * blockEntries); at != stop; ++at) {
      const auto& [key, entry] = *at;
      lines.push_back({entry.name, key, entry.size, static_cast<std::int32_t>(entry.time)});
    }
    if (buffer.size() < blockBufferSize) buffer.resize(blockBufferSize);
    std::size_t used = 0;
    for (const ListedLine& line : lines) {
      const std::size_t room = numbersRoom + line.name.size() + line.key.size();
      if (used + room > buffer.size()) buffer.resize(std::max(2 * buffer.size(), used + room));
      char* out = buffer.data() + used;
      out = putNumber(out, line.size);
      *out++ = ' ';
      out = putNumber(out, line.time);
      *out++ = ' ';
      out = putText(out, line.name, mayHoldNul);
      *out++ = ' ';
      out = putText(out, line.key, mayHoldNul);
      *out++ = '\n';
      used = static_cast<std::size_t>(out - buffer.data());
    }
    return used;
  };
  makeBlocksInOrder((length + blockEntries - 1) / blockEntries, helpers, formatBlock, writeOut);
}

}  // namespace catpack
