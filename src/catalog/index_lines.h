// Splits an index text into member lines and takes each line apart from
// its right end.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace catpack {

// Where the fields of one member line lie in the index text.
struct IndexLineFields {
  std::size_t nameStart = 0;
  std::size_t nameLength = 0;  // up to the first NUL of the name field
  std::size_t nameEnd = 0;     // the space behind the name field
  std::int32_t size = 0;
  std::int32_t time = 0;
  bool hasDigest = false;      // a full line; a short line has no digest
  std::size_t digestStart = 0;  // 32 bytes, up to the end of the line
  std::size_t lineEnd = 0;     // one past the line's last byte
};

// The digest field of a full line is exactly this long.
inline constexpr std::size_t indexDigestLength = 32;

// Goes through the member lines of an (unscrambled) index text in order,
// passing over lines that do not fit the grammar. Reads nothing of a line
// once it has handed it out, so the caller may then change its bytes.
class IndexLineScanner {
 public:
  IndexLineScanner(const unsigned char* text, std::size_t length, bool oldFormat)
      : text_(text), length_(length), oldFormat_(oldFormat) {}
  // Goes through the lines of a current-format text from `start`, which is
  // the text's start or follows a line break, to `length`, which is the
  // text's end or follows a line break.
  IndexLineScanner(const unsigned char* text, std::size_t start, std::size_t length)
      : text_(text), length_(length), oldFormat_(false), position_(start) {}

  // The next member line; false when the text is done.
  bool next(IndexLineFields& fields);

 private:
  // Takes the line [start, end) apart; false when it names no member.
  bool parse(std::size_t start, std::size_t end, IndexLineFields& fields) const;

  const unsigned char* text_;
  std::size_t length_;
  bool oldFormat_;
  std::size_t position_ = 0;
  std::size_t lineNumber_ = 0;
};

// One member line of an index file, copied out.
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
