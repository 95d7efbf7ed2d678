// The diff with -checksum through the command line: every pair of equal
// size is decided by its digests, whatever the times, for folders and for
// catalogs of both formats on either side.
#include <cstdint>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/run_catpack.h"
#include "support/temp_folder.h"

namespace catpack {
namespace {

using testing::banner;
using testing::console;
using testing::RunResult;
using testing::runCatpack;
using testing::TempFolder;

constexpr std::int64_t t = 1700000000;

// The lines of a -dump listing in `out`: those that begin with a blank.
std::string listingLines(const std::string& out) {
  std::istringstream lines(out);
  std::string listing;
  for (std::string line; std::getline(lines, line);) {
    if (!line.empty() && line[0] == ' ') listing += line + "\n";  // a CR stays on its line
  }
  return listing;
}

// The listing of what a diff keeps of the fixture's files, whose result
// times are `time` ("1700000000", or "       0" for an old-format result),
// with the line ends of the console streams.
std::string keptListing(const std::string& time, bool checksum) {
  std::string listing = "       5 " + time + " added.txt added.txt\n"
                        "       6 " + time + " grown.txt grown.txt\n";
  if (checksum) listing += "       4 " + time + " hour.txt hour.txt\n";
  if (checksum) listing += "       4 " + time + " stamped.txt stamped.txt\n";
  return console(listing + "       0        0 sub/removed.txt sub/removed.txt\n");
}

class ChecksumRun : public ::testing::Test {
 protected:
  void SetUp() override {
    folder.write("old/same.txt", "same", t);
    folder.write("new/same.txt", "same", t);
    folder.write("old/stamped.txt", "1234", t);  // same size, same time, other bytes
    folder.write("new/stamped.txt", "abcd", t);
    folder.write("old/hour.txt", "1234", t + 3600);  // one hour apart, other bytes
    folder.write("new/hour.txt", "abcd", t);
    folder.write("old/hour-same.txt", "hour", t - 3600);
    folder.write("new/hour-same.txt", "hour", t);
    folder.write("old/touched.txt", "touch", t - 86400);
    folder.write("new/touched.txt", "touch", t);
    folder.write("old/grown.txt", "short", t);
    folder.write("new/grown.txt", "longer", t);
    folder.write("old/sub/removed.txt", "gone", t);
    folder.write("new/added.txt", "added", t);
  }
  RunResult run(const std::vector<std::string>& arguments, testing::RunOptions options = {}) {
    return runCatpack(arguments, folder.path(), options);
  }
  // Packs the folder `tree` into `catalog`, in the old format when `old`.
  void pack(const std::string& tree, const std::string& catalog, bool old) {
    std::vector<std::string> arguments{"-in", tree, "-out", catalog};
    if (old) arguments.push_back("-zarn3cat");
    ASSERT_EQ(run(arguments).exitCode, 0) << catalog;
  }
  TempFolder folder;
};

TEST_F(ChecksumRun, KeepsFilesOfEqualSizeAndTimeWhoseBytesDiffer) {
  const RunResult result = run({"-in", "new", "-diff", "old", "-checksum", "-dump"});
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(result.out, console(banner + std::string("Reading from folder new\nReading from folder old\n")) +
                            keptListing("1700000000", true));
}

TEST_F(ChecksumRun, WithoutTheFlagTheTimesStillDecide) {
  const RunResult result = run({"-in", "new", "-diff", "old", "-dump"});
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.out, console(banner + std::string("Reading from folder new\nReading from folder old\n")) +
                            keptListing("1700000000", false));
}

TEST_F(ChecksumRun, IsMatchedLikeTheOtherSwitches) {
  for (const char* flag : {"-CheckSum", "/checksum", "-CHECKSUM"}) {
    const RunResult result = run({"-in", "new", "-diff", "old", flag, "-dump"});
    EXPECT_EQ(result.err, "") << flag;
    EXPECT_EQ(listingLines(result.out), keptListing("1700000000", true)) << flag;
  }
  // A flag ends the list before it.
  const RunResult after = run({"-in", "new", "-checksum", "old"});
  EXPECT_EQ(after.exitCode, 1);
  EXPECT_NE(after.err.find("Need to specify a switch before non-switch args"), std::string::npos);
}

TEST_F(ChecksumRun, WorksForEveryKindOfResultAndBase) {
  pack("old", "old.cat", false);
  pack("new", "new.cat", false);
  pack("old", "old3.cat", true);
  pack("new", "new3.cat", true);
  for (const char* result : {"new", "new.cat", "new3.cat"}) {
    for (const char* base : {"old", "old.cat", "old3.cat"}) {
      const RunResult diff = run({"-in", result, "-diff", base, "-checksum", "-dump"});
      EXPECT_EQ(diff.err, "") << result << " against " << base;
      EXPECT_EQ(diff.exitCode, 0);
      // Old-format members have no times (text files carry none in their bytes).
      const bool oldResult = std::string(result) == "new3.cat";
      EXPECT_EQ(listingLines(diff.out), keptListing(oldResult ? "       0" : "1700000000", true))
          << result << " against " << base;
    }
  }
}

TEST_F(ChecksumRun, WritesTheKeptFilesToACatalog) {
  const RunResult result = run({"-in", "new", "-diff", "old", "-checksum", "-out", "patch.cat"});
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(folder.read("patch.cat"),
            "added.txt 5 1700000000 b60ed88355ac3f6898fd8a7ab1734d06\n"
            "grown.txt 6 1700000000 67c35b0654107413e3a1dcbafa96a45c\n"
            "hour.txt 4 1700000000 e2fc714c4727ee9395f324cd2e7f331f\n"
            "stamped.txt 4 1700000000 e2fc714c4727ee9395f324cd2e7f331f\n"
            "sub/removed.txt 0 0 00000000000000000000000000000000\n");
  EXPECT_EQ(folder.read("patch.dat"), "addedlongerabcdabcd");
}

TEST_F(ChecksumRun, StatedDigestsNeedNoData) {
  pack("old", "old.cat", false);
  pack("new", "new.cat", false);
  // Every digest the diff compares is in the index files.
  std::filesystem::remove(folder.at("old.dat"));
  std::filesystem::remove(folder.at("new.dat"));
  const RunResult result = run({"-in", "new.cat", "-diff", "old.cat", "-checksum", "-dump"});
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(listingLines(result.out), keptListing("1700000000", true));
  // A folder result against the stated digests of the base reads only its own files.
  const RunResult folderResult = run({"-in", "new", "-diff", "old.cat", "-checksum", "-dump"});
  EXPECT_EQ(folderResult.err, "");
  EXPECT_EQ(listingLines(folderResult.out), keptListing("1700000000", true));
}

// A compressed member whose header carries `time`, `size` bytes long.
std::string compressedMember(std::int64_t time, std::size_t size, char fill) {
  std::string bytes = {'\x1f', '\x8b', '\x08', '\0'};
  for (int shift = 0; shift < 32; shift += 8) bytes += static_cast<char>((time >> shift) & 0xFF);
  bytes.resize(size, fill);
  return bytes;
}

TEST_F(ChecksumRun, AnUnreadableMemberIsReportedInItsPlaceAndKept) {
  // Old-format catalogs whose members take their times from their headers,
  // the same as the base's; each data file ends inside its last member.
  folder.write("one/pb.gz", compressedMember(t, 64, 'b'), t);
  folder.write("two/pa.gz", compressedMember(t, 64, 'a'), t);
  folder.write("two/pc.gz", compressedMember(t, 64, 'c'), t);
  for (const std::string name : {"pa.gz", "pb.gz", "pc.gz"}) {
    folder.write("base/" + name, compressedMember(t, 64, name[1]), t);
  }
  pack("one", "one.cat", true);
  pack("two", "two.cat", true);
  folder.resize("one.dat", 32);
  folder.resize("two.dat", 64 + 32);
  const std::vector<std::string> arguments{"-in", "one.cat", "two.cat", "-diff", "base", "-dump"};
  const RunResult quick = run(arguments);
  EXPECT_EQ(quick.err, "") << "equal times: nothing is read without the flag";
  EXPECT_EQ(listingLines(quick.out), "");

  std::vector<std::string> checked = arguments;
  checked.push_back("-checksum");
  const RunResult result = run(checked, {.oneStream = true});
  EXPECT_EQ(result.exitCode, 0);
  // pb.gz of one.cat comes before pc.gz of two.cat in key order; pa.gz is whole.
  EXPECT_EQ(result.out,
            console(banner + std::string("Reading from catalog one\n"
                                         "Done - Max filename size: 5, filename: pb.gz\n"
                                         "Reading from catalog two\n"
                                         "Done - Max filename size: 5, filename: pa.gz\n"
                                         "Reading from folder base\n"
                                         "[Load] Failed to read from file one.dat\n"
                                         "[Load] Failed to read from file two.dat\n"
                                         "      64 1700000000 pb.gz pb.gz\n"
                                         "      64 1700000000 pc.gz pc.gz\n")));
}

TEST_F(ChecksumRun, ChangesNothingWithoutADiff) {
  const RunResult plain = run({"-in", "new", "-dump", "-out", "plain.cat"});
  const RunResult flagged = run({"-in", "new", "-checksum", "-dump", "-out", "flagged.cat"});
  EXPECT_EQ(flagged.err, plain.err);
  EXPECT_EQ(flagged.exitCode, plain.exitCode);
  EXPECT_EQ(flagged.out.substr(0, flagged.out.rfind("Writing")), plain.out.substr(0, plain.out.rfind("Writing")));
  EXPECT_NE(listingLines(flagged.out).find(console(" same.txt same.txt\n")), std::string::npos);
  EXPECT_EQ(folder.read("flagged.cat"), folder.read("plain.cat"));
  EXPECT_EQ(folder.read("flagged.dat"), folder.read("plain.dat"));
}

}  // namespace
}  // namespace catpack
