// What runs cost in memory: members are streamed, not held whole, and sizes
// that an index merely claims are never allocated.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "support/external_tools.h"
#include "support/run_catpack.h"
#include "support/temp_folder.h"

namespace catpack {
namespace {

using testing::RunResult;
using testing::runCatpack;
using testing::TempFolder;

constexpr std::size_t memberSize = 64u << 20;
constexpr std::size_t smallMemberSize = 1u << 20;
// What the large member may add to a run's peak over the same run with a
// member of 1 MiB (whatever the build adds for its own bookkeeping is in
// both): a quarter of the large member.
constexpr long allowanceKiB = (memberSize / 4) >> 10;

// ThreadSanitizer keeps several shadow bytes for every byte a program
// touches, so resident sizes of its builds say little about the program.
#if defined(__SANITIZE_THREAD__)
constexpr bool residentSizesTellNothing = true;
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
constexpr bool residentSizesTellNothing = true;
#else
constexpr bool residentSizesTellNothing = false;
#endif
#else
constexpr bool residentSizesTellNothing = false;
#endif

class MemoryRun : public ::testing::Test {
 protected:
  void SetUp() override {
    if (residentSizesTellNothing) GTEST_SKIP() << "resident sizes of a ThreadSanitizer build";
    writeTree("large", memberSize);
    writeTree("small", smallMemberSize);
  }
  RunResult run(const std::vector<std::string>& arguments) { return runCatpack(arguments, folder.path()); }
  // Runs `arguments` beside the large member and beside the small one;
  // checks that the large one stayed within the allowance. Gives the large run.
  RunResult runBoth(const std::vector<std::string>& arguments) {
    const RunResult small = runCatpack(arguments, folder.at("small"));
    RunResult large = runCatpack(arguments, folder.at("large"));
    EXPECT_EQ(small.exitCode, large.exitCode);
    EXPECT_LT(large.peakResidentKiB - small.peakResidentKiB, allowanceKiB)
        << "peak " << large.peakResidentKiB << " KiB against " << small.peakResidentKiB << " KiB for "
        << ::testing::PrintToString(arguments);
    return large;
  }

  TempFolder folder;

 private:
  // A tree below `setting` with a member big.bin of `size` bytes, written
  // piece by piece so that this process stays small (a child run starts as
  // a copy of it), and a small file.
  void writeTree(const std::string& setting, std::size_t size) {
    const std::string piece = testing::randomBytes(smallMemberSize, 64);
    folder.makeFolder(setting + "/tree");
    folder.makeFolder(setting + "/out");
    std::ofstream out(folder.at(setting + "/tree/big.bin"), std::ios::binary);
    for (std::size_t written = 0; written < size; written += piece.size()) {
      out.write(piece.data(), static_cast<std::streamsize>(piece.size()));
    }
    out.close();
    folder.setModificationTime(setting + "/tree/big.bin", 1000);
    folder.write(setting + "/tree/small.txt", "small", 2000);
  }
};

TEST_F(MemoryRun, ALargeMemberIsStreamedThroughEveryWriter) {
  const std::string digest = testing::md5sumOf(folder.at("large/tree/big.bin"));
  ASSERT_EQ(runBoth({"-in", "tree", "-out", "x.cat"}).exitCode, 0);
  EXPECT_EQ(folder.read("large/x.cat"),
            "big.bin " + std::to_string(memberSize) + " 1000 " + digest + "\nsmall.txt 5 2000 " +
                testing::md5sumOfBytes("small") + "\n");

  ASSERT_EQ(runBoth({"-in", "x.cat", "-zarn3cat", "-out", "old.cat"}).exitCode, 0);
  ASSERT_EQ(runBoth({"-in", "old.cat", "-out", "back.cat"}).exitCode, 0);
  EXPECT_EQ(testing::md5sumOf(folder.at("large/back.dat")), testing::md5sumOf(folder.at("large/x.dat")));

  ASSERT_EQ(runBoth({"-in", "old.cat", "-out", "out"}).exitCode, 0);
  EXPECT_EQ(testing::md5sumOf(folder.at("large/out/big.bin")), digest);

  // Comparing contents hashes the old member and the folder file.
  const RunResult diff = runBoth({"-in", "tree", "-diff", "old.cat", "-dump"});
  EXPECT_EQ(diff.exitCode, 0);
  EXPECT_EQ(diff.err, "");
  EXPECT_EQ(diff.out.find("big.bin"), std::string::npos) << diff.out;
}

TEST_F(MemoryRun, SizesAnIndexOnlyClaimsCostNothing) {
  // Members of 2 GiB less a byte, and one whose size reads as negative,
  // whose bytes are not there; they push the real member's offset past the
  // data file's end too.
  const std::string zeros(32, '0');
  folder.write("claims.cat", "huge1 2147483647 5 " + zeros + "\nhuge2 2147483647\nnegative -2 7 " + zeros +
                                 "\nreal.txt 4 8 " + testing::md5sumOfBytes("real") + "\n");
  folder.write("claims.dat", "real");
  folder.makeFolder("out");
  folder.makeFolder("empty");
  const long baselineKiB = run({"-in", "empty", "-dump"}).peakResidentKiB;
  ASSERT_GT(baselineKiB, 0);
  // Runs and checks that the run cost no more than one that reads nothing.
  const auto runWithin = [&](const std::vector<std::string>& arguments) {
    RunResult result = run(arguments);
    EXPECT_LT(result.peakResidentKiB - baselineKiB, allowanceKiB)
        << "peak " << result.peakResidentKiB << " KiB against " << baselineKiB << " KiB for "
        << ::testing::PrintToString(arguments);
    return result;
  };
  const std::string loadFailures = "[Load] Failed to read from file claims.dat\n"
                                   "[Load] Failed to read from file claims.dat\n"
                                   "[Load] Failed to allocate -2 bytes for file claims.dat\n"
                                   "[Load] Failed to read from file claims.dat\n";

  const RunResult packed = runWithin({"-in", "claims.cat", "-out", "x.cat"});
  EXPECT_EQ(packed.err, loadFailures);
  EXPECT_EQ(packed.exitCode, 0);
  EXPECT_EQ(folder.read("x.cat"), "");
  EXPECT_EQ(folder.read("x.dat"), "");

  const RunResult unpacked = runWithin({"-in", "claims.cat", "-out", "out"});
  EXPECT_EQ(unpacked.err, "[Load] Failed to read from file claims.dat\nFailed reading file huge1 from claims.dat\n"
                          "[Load] Failed to read from file claims.dat\nFailed reading file huge2 from claims.dat\n"
                          "[Load] Failed to allocate -2 bytes for file claims.dat\n"
                          "Failed reading file negative from claims.dat\n"
                          "[Load] Failed to read from file claims.dat\nFailed reading file real.txt from claims.dat\n");
  EXPECT_EQ(unpacked.exitCode, 0);
  EXPECT_TRUE(std::filesystem::is_empty(folder.at("out"))) << "nothing was written";

  // A member without a time or a digest is compared by content, which
  // cannot be read on either side.
  const RunResult compared = runWithin({"-in", "claims.cat", "-diff", "claims.cat", "-dump"});
  EXPECT_EQ(compared.exitCode, 0);
  EXPECT_EQ(compared.err, "[Load] Failed to read from file claims.dat\n[Load] Failed to read from file claims.dat\n");
}

}  // namespace
}  // namespace catpack

namespace catpack {
namespace {

// The deletion markers a diff adds to a big result fit in the room its
// entries were given: the run's peak is that of a diff that adds none, not
// the result's entries held twice while they move.
TEST(DiffMemory, DeletionMarkersDoNotMoveTheResultsEntries) {
  if (residentSizesTellNothing) GTEST_SKIP() << "resident sizes of a ThreadSanitizer build";
  constexpr int members = 1000000;
  TempFolder folder;
  std::string result;
  std::string extra;
  for (int number = 0; number < members; ++number) {
    result += "dir" + std::to_string(number % 97) + "/file" + std::to_string(number) + ".dat 0 " +
              std::to_string(number) + " 0123456789abcdef0123456789abcdef\n";
    if (number % 50 == 0) extra += "gone/file" + std::to_string(number) + ".dat 0 1 0123456789abcdef0123456789abcdef\n";
  }
  folder.write("result.cat", result);
  folder.write("base.cat", result);
  folder.write("wider.cat", result + extra);  // 2 % more: as many deletion markers
  for (const char* data : {"result.dat", "base.dat", "wider.dat"}) folder.write(data, "");
  const RunResult none = runCatpack({"-in", "result.cat", "-diff", "base.cat", "-dump"}, folder.path());
  const RunResult some = runCatpack({"-in", "result.cat", "-diff", "wider.cat", "-dump"}, folder.path());
  EXPECT_EQ(none.exitCode, 0);
  EXPECT_EQ(some.exitCode, 0);
  EXPECT_EQ(std::count(some.out.begin(), some.out.end(), '\n') -
                std::count(none.out.begin(), none.out.end(), '\n'),
            members / 50)
      << "one marker per base file the result lacks";
  // Moving the entries would add about 40 bytes for each of them; memory
  // backed by large pages grows in steps of 2 MiB, a few of which the
  // markers may take beyond the runs' common steps.
  const long entriesKiB = (members * 40L) >> 10;
  EXPECT_LT(some.peakResidentKiB - none.peakResidentKiB, entriesKiB / 2)
      << "peak " << some.peakResidentKiB << " KiB against " << none.peakResidentKiB << " KiB";
}

}  // namespace
}  // namespace catpack
