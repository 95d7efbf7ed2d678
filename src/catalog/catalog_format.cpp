#include "catalog/catalog_format.h"

namespace catpack {

namespace {

unsigned char indexKey(std::uint64_t position) {
  return static_cast<unsigned char>(position - indexKeyConstant);
}

}  // namespace

void scrambleIndexText(unsigned char* bytes, std::size_t length, std::uint64_t position) {
  for (std::size_t i = 0; i < length; ++i) bytes[i] ^= indexKey(position + i);
}

bool isOldFormatName(const std::string& name) {
  bool prevHigh = false, prevLead = false;
  for (const char character : name + " ") {
    const unsigned char byte = static_cast<unsigned char>(character);
    if (prevLead && (byte < 0x80 || byte > 0xBF)) return false;
    if (!prevHigh && byte >= 0x80 && byte <= 0xBF) return false;
    if (byte < 32 && byte != '\t') return false;
    prevLead = byte >= 0xC0;
    prevHigh = byte >= 0x80;
  }
  return true;
}

namespace {

// What the format test has seen of the bytes so far.
struct OldIndexScan {
  int lineCount = 0;
  bool atLineStart = false;
  bool expectLf = false;
};

// Runs the format test over the first `examined` bytes; false as soon as
// they hold what no old-format index can.
bool scanAsOldIndex(const unsigned char* bytes, std::size_t examined, OldIndexScan& scan) {
  int& lineCount = scan.lineCount;
  bool& atLineStart = scan.atLineStart;
  bool& expectLf = scan.expectLf;
  bool needsNumber = false, spaceSeen = false, digitsAfterSpace = false;
  bool prevHigh = false, prevLead = false;
  for (std::size_t position = 0; position < examined; ++position) {
    const unsigned char byte = bytes[position] ^ indexKey(position);
    if (expectLf) {
      if (byte != '\n') return false;
      expectLf = false;
      continue;
    }
    if (prevLead && (byte < 0x80 || byte > 0xBF)) return false;
    if (!prevHigh && byte >= 0x80 && byte <= 0xBF) return false;
    prevLead = byte >= 0xC0;
    prevHigh = byte >= 0x80;
    if (byte == '\r' || byte == '\n') {
      if (atLineStart) return false;
      if (needsNumber && !digitsAfterSpace) return false;
      ++lineCount;
      expectLf = byte == '\r';
      atLineStart = true;
      needsNumber = true;
      spaceSeen = false;
      digitsAfterSpace = false;
    } else if (byte < 32 && byte != '\t') {
      return false;
    } else if (atLineStart) {
      if (byte == ' ' || byte == '#') needsNumber = false;
      atLineStart = false;
    } else if (byte == ' ') {
      spaceSeen = true;
      digitsAfterSpace = false;
    } else if (byte >= '0' && byte <= '9') {
      if (spaceSeen) digitsAfterSpace = true;
    } else {
      spaceSeen = false;
      digitsAfterSpace = false;
    }
  }
  return true;
}

}  // namespace

bool isOldCatalogText(const unsigned char* bytes, std::size_t length) {
  OldIndexScan scan;
  if (!scanAsOldIndex(bytes, length < formatTestLength ? length : formatTestLength, scan)) return false;
  if (length >= formatTestLength) return scan.lineCount >= 2;
  return scan.lineCount >= 1 && scan.atLineStart && !scan.expectLf;
}

bool isCurrentCatalogTextWhateverFollows(const unsigned char* bytes, std::size_t length) {
  OldIndexScan scan;
  return !scanAsOldIndex(bytes, length < formatTestLength ? length : formatTestLength, scan);
}

}  // namespace catpack
