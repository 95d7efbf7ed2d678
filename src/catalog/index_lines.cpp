#include "catalog/index_lines.h"

#include <string_view>

namespace catpack {

namespace {

constexpr std::size_t digestLength = 32;

bool isLineBreak(unsigned char byte) { return byte == '\r' || byte == '\n'; }

bool isWhiteSpace(char byte) {
  return byte == ' ' || byte == '\t' || byte == '\n' || byte == '\v' || byte == '\f' ||
         byte == '\r';
}

// A number read the way atoi reads it: leading white space, an optional
// sign, then digits up to the first other byte; no digits give 0. Values
// beyond 32 bits wrap around.
std::int32_t numberOf(std::string_view field) {
  std::size_t at = 0;
  while (at < field.size() && isWhiteSpace(field[at])) ++at;
  bool negative = false;
  if (at < field.size() && (field[at] == '+' || field[at] == '-')) negative = field[at++] == '-';
  std::uint32_t value = 0;
  for (; at < field.size() && field[at] >= '0' && field[at] <= '9'; ++at) {
    value = value * 10u + static_cast<std::uint32_t>(field[at] - '0');
  }
  if (negative) value = 0u - value;
  return static_cast<std::int32_t>(value);
}

std::string nameOf(std::string_view field) {
  return std::string(field.substr(0, field.find('\0')));
}

// Takes one line apart; false when it names no member.
bool parseLine(std::string_view line, std::size_t lineNumber, bool oldFormat, IndexLine& parsed) {
  const std::size_t lastSpace = line.rfind(' ');
  if (lastSpace == std::string_view::npos || lastSpace == 0) return false;
  const std::string_view lastField = line.substr(lastSpace + 1);
  if (oldFormat && lineNumber == 0) return false;

  if (oldFormat || lastField.size() != digestLength) {
    parsed.name = nameOf(line.substr(0, lastSpace));
    parsed.size = numberOf(lastField);
    parsed.time = 0;
    parsed.digest.clear();
    return true;
  }
  const std::size_t timeSpace = line.rfind(' ', lastSpace - 1);
  if (timeSpace == std::string_view::npos || timeSpace == 0) return false;
  const std::size_t sizeSpace = line.rfind(' ', timeSpace - 1);
  if (sizeSpace == std::string_view::npos) return false;
  parsed.name = nameOf(line.substr(0, sizeSpace));
  parsed.size = numberOf(line.substr(sizeSpace + 1, timeSpace - sizeSpace - 1));
  parsed.time = numberOf(line.substr(timeSpace + 1, lastSpace - timeSpace - 1));
  parsed.digest.assign(lastField);
  return true;
}

}  // namespace

void forEachIndexLine(const unsigned char* text, std::size_t length, bool oldFormat,
                      const std::function<void(const IndexLine&)>& member) {
  const std::string_view whole(reinterpret_cast<const char*>(text), length);
  IndexLine parsed;
  std::size_t position = 0;
  for (std::size_t lineNumber = 0; position < length || lineNumber == 0; ++lineNumber) {
    std::size_t end = position;
    while (end < length && !isLineBreak(text[end])) ++end;
    if (parseLine(whole.substr(position, end - position), lineNumber, oldFormat, parsed)) {
      member(parsed);
    }
    position = end;
    while (position < length && isLineBreak(text[position])) ++position;
  }
}

}  // namespace catpack
