// Raw bytes as an index file: the format detection, the index scrambling
// and the line parser in both formats.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "catalog/catalog_format.h"
#include "catalog/index_lines.h"
#include "fuzz_check.h"

namespace {

using catpack::fuzzing::check;

constexpr std::size_t examinedLength = 1024;

// The lines of `text` as the reader sees them: runs of bytes between runs
// of CR and LF; the first one may be empty.
std::vector<std::string_view> linesOf(std::string_view text) {
  std::vector<std::string_view> lines;
  std::size_t at = 0;
  do {
    std::size_t end = at;
    while (end < text.size() && text[end] != '\r' && text[end] != '\n') ++end;
    lines.push_back(text.substr(at, end - at));
    at = end;
    while (at < text.size() && (text[at] == '\r' || text[at] == '\n')) ++at;
  } while (at < text.size());
  return lines;
}

// Whether `line` could be the member line of `name`.
bool couldHold(std::string_view line, const std::string& name) {
  return line.substr(0, name.size()) == name && line.find(' ', 1) != std::string_view::npos;
}

// Every member the parser reports stands on a line of its own, in order,
// and that line begins with the member's name.
void checkLines(const unsigned char* bytes, std::size_t size, bool oldFormat) {
  const std::string_view text(reinterpret_cast<const char*>(bytes), size);
  const std::vector<std::string_view> lines = linesOf(text);
  std::size_t nextLine = oldFormat ? 1 : 0;
  catpack::forEachIndexLine(bytes, size, oldFormat, [&](const catpack::IndexLine& member) {
    check(member.name.find('\0') == std::string::npos, "a name holds no NUL");
    check(member.name.find_first_of("\r\n") == std::string::npos, "a name holds no line break");
    check(member.digest.empty() || (!oldFormat && member.digest.size() == 32),
          "only current-format lines carry a digest, of 32 characters");
    check(!oldFormat || member.time == 0, "old-format lines carry no time");
    while (nextLine < lines.size() && !couldHold(lines[nextLine], member.name)) ++nextLine;
    check(nextLine < lines.size(),
          "every member comes from a line of its own that begins with its name and has a space after "
          "its first byte");
    ++nextLine;
  });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const bool old = catpack::isOldCatalogText(data, size);
  if (size > examinedLength) {
    check(catpack::isOldCatalogText(data, examinedLength) == old, "only the first 1024 bytes decide");
  }

  const std::vector<unsigned char> original(data, data + size);
  std::vector<unsigned char> plain = original;
  catpack::scrambleIndexText(plain.data(), plain.size(), 0);
  // Scrambling in two pieces, each from its own position, is scrambling whole.
  std::vector<unsigned char> pieces = plain;
  const std::size_t split = size / 3;
  catpack::scrambleIndexText(pieces.data(), split, 0);
  catpack::scrambleIndexText(pieces.data() + split, size - split, split);
  check(pieces == original, "scrambling is its own inverse, piece by piece");

  checkLines(data, size, false);
  checkLines(plain.data(), plain.size(), true);
  return 0;
}
