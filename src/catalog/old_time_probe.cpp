#include "catalog/old_time_probe.h"

#include <cstring>
#include <optional>

#include "index/entry_content.h"
#include "util/loading.h"

namespace catpack {

namespace {

constexpr std::uint32_t compressedHeaderLength = 11;
constexpr std::uint32_t objectHeaderLength = 12;
constexpr std::uint32_t timeTagLength = 8;
constexpr std::uint32_t storVersion = 801;

bool endsWith(const std::string& name, const char* ending) {
  const std::size_t length = std::strlen(ending);
  return name.size() >= length && name.compare(name.size() - length, length, ending) == 0;
}

std::uint32_t littleEndian(const unsigned char* bytes) {
  return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
         static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

std::uint32_t bigEndian(const unsigned char* bytes) {
  return static_cast<std::uint32_t>(bytes[0]) << 24 | static_cast<std::uint32_t>(bytes[1]) << 16 |
         static_cast<std::uint32_t>(bytes[2]) << 8 | static_cast<std::uint32_t>(bytes[3]);
}

bool isGzipStart(const unsigned char* bytes) {
  return bytes[0] == 0x1F && bytes[1] == 0x8B && bytes[2] == 0x08;
}

// Plain bytes of a header slice of the member.
std::optional<ByteBuffer> loadHeader(const std::string& dataPath, std::uint32_t length,
                                     std::uint64_t offset) {
  std::optional<ByteBuffer> header = loadRange(dataPath, length, offset);
  if (header) header->xorWith(dataKey);
  return header;
}

std::int64_t probeCompressed(const std::string& dataPath, std::uint64_t offset,
                             std::uint32_t memberSize) {
  if (memberSize < compressedHeaderLength) return 0;
  std::optional<ByteBuffer> header = loadHeader(dataPath, compressedHeaderLength, offset);
  if (!header) return 0;
  unsigned char* bytes = header->data();
  if (isGzipStart(bytes)) return littleEndian(bytes + 4);
  const unsigned char memberKey = bytes[0] ^ memberKeyConstant;
  for (std::uint32_t i = 1; i < compressedHeaderLength; ++i) bytes[i] ^= memberKey;
  if (isGzipStart(bytes + 1)) return littleEndian(bytes + 5);
  return 0;
}

std::int64_t probeObject(const std::string& dataPath, std::uint64_t offset,
                         std::uint32_t memberSize) {
  if (memberSize < objectHeaderLength) return 0;
  std::optional<ByteBuffer> header = loadHeader(dataPath, objectHeaderLength, offset);
  if (!header) return 0;
  const unsigned char* bytes = header->data();
  if (std::memcmp(bytes, "STOR", 4) == 0) {
    return bigEndian(bytes + 4) == storVersion ? bigEndian(bytes + 8) : 0;
  }
  if (std::memcmp(bytes, "STO2", 4) != 0 && std::memcmp(bytes, "STO3", 4) != 0) return 0;
  const std::uint32_t skipped = bigEndian(bytes + 4) * 2u;
  const std::uint64_t tagAt = 8 + static_cast<std::uint64_t>(skipped);
  if (tagAt + timeTagLength > memberSize) return 0;
  std::optional<ByteBuffer> tag = loadHeader(dataPath, timeTagLength, offset + tagAt);
  if (!tag || std::memcmp(tag->data(), "CTIM", 4) != 0) return 0;
  return bigEndian(tag->data() + 4);
}

}  // namespace

std::int64_t probeOldTime(const std::string& name, const std::string& dataPath,
                          std::uint64_t offset, std::uint32_t memberSize) {
  if (name.size() <= 4) return 0;
  if (endsWith(name, ".pck") || endsWith(name, ".pbd") || endsWith(name, ".pbb") ||
      endsWith(name, ".gz")) {
    return probeCompressed(dataPath, offset, memberSize);
  }
  if (endsWith(name, ".obj")) return probeObject(dataPath, offset, memberSize);
  return 0;
}

}  // namespace catpack
