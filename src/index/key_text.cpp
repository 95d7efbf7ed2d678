#include "index/key_text.h"

#include <cstdint>
#include <cstring>

namespace catpack {

namespace {

bool hasCapital(std::string_view text) {
  // Eight bytes at a time: a byte is a capital when its high bit is clear
  // and its low seven bits are at least 'A' and at most 'Z'.
  constexpr std::uint64_t highBits = 0x8080808080808080u;
  constexpr std::uint64_t lowBits = 0x7F7F7F7F7F7F7F7Fu;
  constexpr std::uint64_t toReachA = 0x3F3F3F3F3F3F3F3Fu;       // 0x80 - 'A' in each byte
  constexpr std::uint64_t toPassZ = 0x2525252525252525u;        // 0x80 - 'Z' - 1 in each byte
  std::size_t at = 0;
  for (; at + 8 <= text.size(); at += 8) {
    std::uint64_t word;
    std::memcpy(&word, text.data() + at, 8);
    const std::uint64_t low = word & lowBits;
    if (((low + toReachA) & ~(low + toPassZ) & ~word & highBits) != 0) return true;
  }
  for (; at < text.size(); ++at) {
    if (text[at] >= 'A' && text[at] <= 'Z') return true;
  }
  return false;
}

}  // namespace

std::string_view keyOfName(std::string_view name, std::string& scratch) {
  if (!hasCapital(name)) return name;
  scratch.assign(name);
  for (char& byte : scratch) {
    if (byte >= 'A' && byte <= 'Z') byte = static_cast<char>(byte - 'A' + 'a');
  }
  return scratch;
}

}  // namespace catpack
