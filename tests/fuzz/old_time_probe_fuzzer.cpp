// A member name and member bytes from one input: name, a NUL byte, one byte
// whose low four bits give how many filler bytes stand before the member in
// the data file, then the member's bytes as stored. The probe must give
// what the member's own header says, and must not be swayed by bytes behind
// the member, which spell out headers and time tags of their own.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "catalog/old_time_probe.h"
#include "fuzz_check.h"
#include "index/entry_content.h"
#include "scratch_path.h"

namespace {

using catpack::fuzzing::check;

// The data file every input is written to, removed when the process ends.
class DataFile {
 public:
  DataFile() : path_(catpack::fuzzing::scratchPath("catpack-probe-fuzz-") + ".dat") {}
  ~DataFile() { std::remove(path_.c_str()); }

  const std::string& path() const { return path_; }

  void write(const std::string& bytes) const {
    std::FILE* file = std::fopen(path_.c_str(), "wb");
    check(file != nullptr, "the data file can be created");
    check(std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size(), "the data file can be written");
    check(std::fclose(file) == 0, "the data file can be closed");
  }

 private:
  std::string path_;
};

bool endsWith(const std::string& name, const std::string& ending) {
  return name.size() >= ending.size() && name.compare(name.size() - ending.size(), ending.size(), ending) == 0;
}

std::uint32_t littleEndian(const unsigned char* at) {
  return at[0] | static_cast<std::uint32_t>(at[1]) << 8 | static_cast<std::uint32_t>(at[2]) << 16 |
         static_cast<std::uint32_t>(at[3]) << 24;
}

std::uint32_t bigEndian(const unsigned char* at) {
  return static_cast<std::uint32_t>(at[0]) << 24 | static_cast<std::uint32_t>(at[1]) << 16 |
         static_cast<std::uint32_t>(at[2]) << 8 | at[3];
}

// `count` plain bytes of the stored member from `at`, or empty when the
// member is shorter.
std::string plainSlice(const std::string& stored, std::uint64_t at, std::size_t count) {
  if (at + count > stored.size()) return {};
  std::string plain = stored.substr(at, count);
  for (char& byte : plain) byte = static_cast<char>(byte ^ catpack::dataKey);
  return plain;
}

bool isGzipStart(const unsigned char* at) { return at[0] == 0x1F && at[1] == 0x8B && at[2] == 0x08; }

std::int64_t compressedTime(const std::string& stored) {
  std::string header = plainSlice(stored, 0, 11);
  if (header.empty()) return 0;
  auto* bytes = reinterpret_cast<unsigned char*>(header.data());
  if (isGzipStart(bytes)) return littleEndian(bytes + 4);
  const unsigned char key = bytes[0] ^ catpack::memberKeyConstant;
  for (int i = 1; i < 11; ++i) bytes[i] ^= key;
  return isGzipStart(bytes + 1) ? littleEndian(bytes + 5) : 0;
}

std::int64_t objectTime(const std::string& stored) {
  const std::string header = plainSlice(stored, 0, 12);
  if (header.empty()) return 0;
  const auto* bytes = reinterpret_cast<const unsigned char*>(header.data());
  if (header.compare(0, 4, "STOR") == 0) return bigEndian(bytes + 4) == 801 ? bigEndian(bytes + 8) : 0;
  if (header.compare(0, 4, "STO2") != 0 && header.compare(0, 4, "STO3") != 0) return 0;
  const std::uint32_t skipped = bigEndian(bytes + 4) * 2u;
  const std::string tag = plainSlice(stored, 8 + static_cast<std::uint64_t>(skipped), 8);
  if (tag.empty() || tag.compare(0, 4, "CTIM") != 0) return 0;
  return bigEndian(reinterpret_cast<const unsigned char*>(tag.data()) + 4);
}

// The time the member's header gives, read from the member alone.
std::int64_t expectedTime(const std::string& name, const std::string& stored) {
  if (name.size() <= 4) return 0;
  for (const char* ending : {".pck", ".pbd", ".pbb", ".gz"}) {
    if (endsWith(name, ending)) return compressedTime(stored);
  }
  return endsWith(name, ".obj") ? objectTime(stored) : 0;
}

// Stored bytes that read as every header the probes know, each with the time 42.
std::string temptingTrailer() {
  std::string plain = std::string("CTIM\0\0\0\x2A", 8) + std::string("\x1F\x8B\x08\0\x2A\0\0\0", 8) +
                      std::string("STOR\0\0\x03\x21\0\0\0\x2A", 12);
  for (char& byte : plain) byte = static_cast<char>(byte ^ catpack::dataKey);
  return plain + plain;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const DataFile dataFile;
  static const std::string trailer = temptingTrailer();
  const char* bytes = reinterpret_cast<const char*>(data);
  const char* nul = static_cast<const char*>(std::memchr(bytes, '\0', size));
  if (nul == nullptr || nul + 1 == bytes + size) return 0;
  const std::string name(bytes, nul);
  const std::size_t filler = static_cast<unsigned char>(nul[1]) & 0x0F;
  const std::string member(nul + 2, bytes + size);

  dataFile.write(std::string(filler, '\xEE') + member + trailer);
  const std::int64_t time = catpack::probeOldTime(name, dataFile.path(), filler,
                                                  static_cast<std::uint32_t>(member.size()));
  check(time == expectedTime(name, member), "the probe gives the time of the member's own header");
  return 0;
}
