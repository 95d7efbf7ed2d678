#include "catalog/index_lines.h"

#include <cstring>

namespace catpack {

namespace {

bool isLineBreak(unsigned char byte) { return byte == '\r' || byte == '\n'; }

bool isWhiteSpace(unsigned char byte) {
  return byte == ' ' || byte == '\t' || byte == '\n' || byte == '\v' || byte == '\f' ||
         byte == '\r';
}

// A number read the way atoi reads it: leading white space, an optional
// sign, then digits up to the first other byte; no digits give 0. Values
// beyond 32 bits wrap around.
std::int32_t numberOf(const unsigned char* field, std::size_t length) {
  std::size_t at = 0;
  while (at < length && isWhiteSpace(field[at])) ++at;
  bool negative = false;
  if (at < length && (field[at] == '+' || field[at] == '-')) negative = field[at++] == '-';
  std::uint32_t value = 0;
  for (; at < length && field[at] >= '0' && field[at] <= '9'; ++at) {
    value = value * 10u + static_cast<std::uint32_t>(field[at] - '0');
  }
  if (negative) value = 0u - value;
  return static_cast<std::int32_t>(value);
}

// The position of the last space in [start, end), or end when there is none.
std::size_t lastSpace(const unsigned char* text, std::size_t start, std::size_t end) {
  for (std::size_t at = end; at > start; --at) {
    if (text[at - 1] == ' ') return at - 1;
  }
  return end;
}

// Whether the line [start, end) ends in a space and a field of a digest's
// length with no space in it, as full lines do: the space behind the name,
// size and time is then found without a byte-by-byte search.
bool endsInDigestField(const unsigned char* text, std::size_t start, std::size_t end) {
  return end - start > indexDigestLength && text[end - indexDigestLength - 1] == ' ' &&
         std::memchr(text + end - indexDigestLength, ' ', indexDigestLength) == nullptr;
}

// The end of the line that starts at `start`: the first CR or LF, or `length`.
std::size_t lineEndFrom(const unsigned char* text, std::size_t start, std::size_t length) {
  const void* feed = std::memchr(text + start, '\n', length - start);
  const std::size_t lf =
      feed == nullptr ? length : static_cast<std::size_t>(static_cast<const unsigned char*>(feed) - text);
  const void* ret = std::memchr(text + start, '\r', lf - start);
  return ret == nullptr ? lf : static_cast<std::size_t>(static_cast<const unsigned char*>(ret) - text);
}

}  // namespace

bool IndexLineScanner::parse(std::size_t start, std::size_t end, IndexLineFields& fields) const {
  const std::size_t last = endsInDigestField(text_, start, end) ? end - indexDigestLength - 1
                                                                 : lastSpace(text_, start, end);
  if (last == end || last == start) return false;
  if (oldFormat_ && lineNumber_ == 0) return false;

  const std::size_t lastFieldLength = end - last - 1;
  std::size_t nameEnd = last;
  if (oldFormat_ || lastFieldLength != indexDigestLength) {
    fields.size = numberOf(text_ + last + 1, lastFieldLength);
    fields.time = 0;
    fields.hasDigest = false;
  } else {
    const std::size_t timeSpace = lastSpace(text_, start, last);
    if (timeSpace == last || timeSpace == start) return false;
    const std::size_t sizeSpace = lastSpace(text_, start, timeSpace);
    if (sizeSpace == timeSpace) return false;
    fields.size = numberOf(text_ + sizeSpace + 1, timeSpace - sizeSpace - 1);
    fields.time = numberOf(text_ + timeSpace + 1, last - timeSpace - 1);
    fields.hasDigest = true;
    fields.digestStart = last + 1;
    nameEnd = sizeSpace;
  }
  fields.nameStart = start;
  fields.nameEnd = nameEnd;
  const void* nul = std::memchr(text_ + start, 0, nameEnd - start);
  fields.nameLength = nul == nullptr
                          ? nameEnd - start
                          : static_cast<std::size_t>(static_cast<const unsigned char*>(nul) - text_) - start;
  fields.lineEnd = end;
  return true;
}

bool IndexLineScanner::next(IndexLineFields& fields) {
  while (position_ < length_ || lineNumber_ == 0) {
    const std::size_t start = position_;
    const std::size_t end = start < length_ ? lineEndFrom(text_, start, length_) : start;
    position_ = end;
    while (position_ < length_ && isLineBreak(text_[position_])) ++position_;
    const bool member = parse(start, end, fields);
    ++lineNumber_;
    if (member) return true;
  }
  return false;
}

void forEachIndexLine(const unsigned char* text, std::size_t length, bool oldFormat,
                      const std::function<void(const IndexLine&)>& member) {
  const auto* bytes = reinterpret_cast<const char*>(text);
  IndexLineScanner scanner(text, length, oldFormat);
  IndexLineFields fields;
  IndexLine line;
  while (scanner.next(fields)) {
    line.name.assign(bytes + fields.nameStart, fields.nameLength);
    line.size = fields.size;
    line.time = fields.time;
    if (fields.hasDigest) {
      line.digest.assign(bytes + fields.digestStart, indexDigestLength);
    } else {
      line.digest.clear();
    }
    member(line);
  }
}

}  // namespace catpack
