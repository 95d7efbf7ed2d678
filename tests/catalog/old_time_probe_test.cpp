#include "catalog/old_time_probe.h"

#include <string>

#include <gtest/gtest.h>

#include "index/entry_content.h"
#include "support/temp_folder.h"

namespace catpack {
namespace {

using ::testing::internal::CaptureStderr;
using ::testing::internal::GetCapturedStderr;
using testing::TempFolder;

std::string underDataKey(std::string bytes) {
  for (char& byte : bytes) byte = static_cast<char>(byte ^ dataKey);
  return bytes;
}

std::string bigEndian(std::uint32_t value) {
  return {static_cast<char>(value >> 24), static_cast<char>(value >> 16),
          static_cast<char>(value >> 8), static_cast<char>(value)};
}

std::string littleEndian(std::uint32_t value) {
  return {static_cast<char>(value), static_cast<char>(value >> 8), static_cast<char>(value >> 16),
          static_cast<char>(value >> 24)};
}

const std::uint32_t when = 0xC0A81234u;

// A gzip header: magic, deflate, flags, time, extra flags, system.
std::string gzipHeader(std::uint32_t time) {
  return std::string("\x1F\x8B\x08\x00", 4) + littleEndian(time) + std::string("\x00\x03", 2);
}

// Probes a member of the given plain bytes, stored after `before` bytes.
std::int64_t probe(const std::string& name, const std::string& member, std::size_t before = 3) {
  TempFolder folder;
  folder.write("x.dat", underDataKey(std::string(before, 'p') + member + "trailing bytes"));
  return probeOldTime(name, folder.at("x.dat"), before, static_cast<std::uint32_t>(member.size()));
}

TEST(OldTimeProbe, ReadsPlainAndKeyedCompressedHeaders) {
  const std::string plain = gzipHeader(when) + "rest";
  for (const char* name : {"a.pck", "b.pbd", "c.pbb", "dd.gz"}) EXPECT_EQ(probe(name, plain), when);
  const unsigned char key = 0x5C;
  std::string keyed = gzipHeader(when);
  for (char& byte : keyed) byte = static_cast<char>(byte ^ key);
  keyed = std::string(1, static_cast<char>(key ^ memberKeyConstant)) + keyed + "rest";
  EXPECT_EQ(probe("data.pck", keyed), when);
  EXPECT_EQ(probe("data.pck", "not a gzip header at all"), 0);
}

TEST(OldTimeProbe, ReadsObjectHeaders) {
  EXPECT_EQ(probe("m.obj", "STOR" + bigEndian(801) + bigEndian(when) + "body"), when);
  EXPECT_EQ(probe("m.obj", "STOR" + bigEndian(800) + bigEndian(when) + "body"), 0);
  const std::string sto3 = "STO3" + bigEndian(4) + "12345678" + "CTIM" + bigEndian(when) + "body";
  EXPECT_EQ(probe("m.obj", sto3), when);
  EXPECT_EQ(probe("m.obj", "STO2" + bigEndian(0) + "CTIM" + bigEndian(when)), when);
  EXPECT_EQ(probe("m.obj", "STO2" + bigEndian(0) + "XTIM" + bigEndian(when)), 0);
  EXPECT_EQ(probe("m.obj", "ABCD" + bigEndian(0) + bigEndian(when)), 0);
}

TEST(OldTimeProbe, ChoosesByTheCaseSensitiveEnding) {
  const std::string plain = gzipHeader(when) + "rest";
  EXPECT_EQ(probe("a.gz", plain), 0) << "names of four characters are not probed";
  EXPECT_EQ(probe("DATA.GZ", plain), 0);
  EXPECT_EQ(probe("x.txt", plain), 0);
  EXPECT_EQ(probeOldTime("x.txt", "no such file", 0, 100), 0) << "no read for other endings";
}

TEST(OldTimeProbe, NeverReadsPastTheMember) {
  // Only the member's own bytes count, even where the data file goes on.
  const std::string header = gzipHeader(when);
  EXPECT_EQ(probe("short.gz", header.substr(0, 10)), 0);
  EXPECT_EQ(probe("short.obj", ("STOR" + bigEndian(801) + bigEndian(when)).substr(0, 11)), 0);
  const std::string tagAfterEnd = "STO3" + bigEndian(4) + "12345678" + "CTIM" + bigEndian(when);
  EXPECT_EQ(probe("cut.obj", tagAfterEnd.substr(0, tagAfterEnd.size() - 1)), 0);
  EXPECT_EQ(probe("huge.obj", "STO3" + bigEndian(0x80000004u) + "CTIM" + bigEndian(when)), 0);
}

TEST(OldTimeProbe, AFailedLoadGivesZeroAfterTheLoaderMessage) {
  TempFolder folder;
  folder.write("x.dat", underDataKey("STOR"));
  CaptureStderr();
  EXPECT_EQ(probeOldTime("m.obj", folder.at("x.dat"), 0, 100), 0);
  EXPECT_EQ(GetCapturedStderr(), "[Load] Failed to read from file " + folder.at("x.dat") + "\n");
}

}  // namespace
}  // namespace catpack
