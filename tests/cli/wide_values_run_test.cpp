// Runs whose files hold values beyond 32 bits: times from 2038 on, offsets
// beyond 4 GiB and data files over 2 GiB, which a system with 32-bit file
// offsets or times would get wrong.
#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "support/external_tools.h"
#include "support/run_catpack.h"
#include "support/temp_folder.h"

namespace catpack {
namespace {

using testing::banner;
using testing::currentIndexLine;
using testing::md5sumOfBytes;
using testing::RunResult;
using testing::runCatpack;
using testing::TempFolder;

constexpr std::int64_t twoTo31 = 2147483648;
constexpr std::int64_t twoTo32 = 4294967296;
constexpr std::uint64_t largestMember = 2147483647;

class WideValuesRun : public ::testing::Test {
 protected:
  RunResult run(const std::vector<std::string>& arguments) {
    return runCatpack(arguments, folder.path());
  }
  // A catalog "big" whose members "h1" and "h2" take 2^32 - 2 bytes of a
  // sparse data file, followed by the members `tail` (name and bytes).
  void writeBigCatalog(const std::vector<std::pair<std::string, std::string>>& tail) {
    std::string lines = hugeLines;
    std::string bytes;
    for (const auto& [name, content] : tail) {
      lines += currentIndexLine(name, content, 7);
      bytes += content;
    }
    folder.write("big.cat", lines);
    folder.write("big.dat", "");
    folder.resize("big.dat", 2 * largestMember);
    std::FILE* data = std::fopen(folder.at("big.dat").c_str(), "ab");
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), data), bytes.size());
    EXPECT_EQ(std::fclose(data), 0);
  }
  const std::string zeros = std::string(32, '0');
  const std::string hugeLines = "h1 2147483647 7 " + zeros + "\nh2 2147483647 7 " + zeros + "\n";
  TempFolder folder;
};

TEST_F(WideValuesRun, FolderFileTimesBeyond32BitsAreReadAndListedByTheirLowBits) {
  folder.write("tree/at-2038", "a", twoTo31);
  folder.write("tree/past-2106", "bb", twoTo32 + 5);
  folder.write("tree/in-2242", "ccc", 2 * twoTo32 + 7);
  const RunResult result = run({"-in", "tree", "-dump", "-out", "x.cat"});
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.out, std::string(banner) +
                            "Reading from folder tree\n"
                            "       1 -2147483648 at-2038 at-2038\n"
                            "       3        7 in-2242 in-2242\n"
                            "       2        5 past-2106 past-2106\n"
                            "Writing to Catalog x.cat\n");
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(folder.read("x.cat"), "at-2038 1 -2147483648 " + md5sumOfBytes("a") + "\nin-2242 3 7 " +
                                     md5sumOfBytes("ccc") + "\npast-2106 2 5 " + md5sumOfBytes("bb") +
                                     "\n");
}

TEST_F(WideValuesRun, RestoredTimesAreTheLowBitsUnsignedBeyond2038) {
  folder.write("x.cat", "at-2038 1 -2147483648 " + zeros + "\nlast-second 1 -1 " + zeros +
                            "\nwrapped 1 5 " + zeros + "\n");
  folder.write("x.dat", "abc");
  folder.makeFolder("out");
  const RunResult result = run({"-in", "x.cat", "-out", "out"});
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(folder.modificationTime("out/at-2038"), twoTo31);
  EXPECT_EQ(folder.modificationTime("out/last-second"), twoTo32 - 1);
  EXPECT_EQ(folder.modificationTime("out/wrapped"), 5);
  EXPECT_EQ(folder.read("out/last-second"), "b");
}

TEST_F(WideValuesRun, MembersBeyondFourGibibytesAreReadAtTheirOwnOffsets) {
  // "skip" ends at 2^32 - 2 + 3, so "tail" begins at 2^32 + 1.
  writeBigCatalog({{"skip", "xyz"}, {"tail", "TAIL"}});
  folder.makeFolder("out");
  const RunResult result = run({"-in", "big.cat", "-include", "^tail", "-out", "out"});
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(folder.read("out/tail"), "TAIL");
  EXPECT_FALSE(folder.exists("out/h1"));
}

TEST_F(WideValuesRun, DataFilesOverTwoGibibytesAreCheckedAndAppendedTo) {
  writeBigCatalog({{"skip", "xyz"}});
  folder.write("more/new.txt", "fresh", 1000);
  const RunResult append = run({"-in", "more", "-append", "-out", "big.cat"});
  EXPECT_EQ(append.err, "");
  EXPECT_EQ(append.exitCode, 0);
  EXPECT_EQ(folder.read("big.cat"), hugeLines + currentIndexLine("skip", "xyz", 7) +
                                       currentIndexLine("new.txt", "fresh", 1000));
  folder.makeFolder("out");
  const RunResult extract = run({"-in", "big.cat", "-include", "^(new|skip)", "-out", "out"});
  EXPECT_EQ(extract.err, "");
  EXPECT_EQ(folder.read("out/skip"), "xyz");
  EXPECT_EQ(folder.read("out/new.txt"), "fresh");
  EXPECT_EQ(folder.modificationTime("out/new.txt"), 1000);
}

TEST_F(WideValuesRun, CatalogsWhoseFilesAreDatedBeyond2038AreRead) {
  folder.write("x.cat", currentIndexLine("a", "abc", 9), twoTo32 + 11);
  folder.write("x.dat", "abc", 2 * twoTo32);
  const RunResult result = run({"-in", "x.cat", "-out", "y.cat"});
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(folder.read("y.dat"), "abc");
  folder.write("z.cat", currentIndexLine("b", "de", 9), twoTo31);
  folder.write("z.dat", "de", twoTo31);
  folder.write("more/c", "f", 3);
  const RunResult append = run({"-in", "more", "-append", "-out", "z.cat"});
  EXPECT_EQ(append.err, "");
  EXPECT_EQ(append.exitCode, 0);
  EXPECT_EQ(folder.read("z.dat"), "def");
}

}  // namespace
}  // namespace catpack
