// Writes that fail part-way, as on a full disk: the run is held to a file-size
// limit that steps through every member boundary and into the members. A
// catalog is written whole or not at all, an append is cut back to its
// previous bytes, a folder output never holds a partly written file, and no
// temporary file is left anywhere.
#include <algorithm>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/external_tools.h"
#include "support/run_catpack.h"
#include "support/temp_folder.h"

namespace catpack {
namespace {

using testing::banner;
using testing::RunResult;
using testing::runCatpack;
using testing::TempFolder;

// A member of the input tree, in key order.
struct Member {
  std::string name;
  std::string bytes;
  std::int64_t time;
};

const std::vector<Member>& treeMembers() {
  static const std::vector<Member> members = {
      {"a.bin", testing::randomBytes(3000, 11), 100000},
      {"b/c.txt", "seventeen bytes..", 200000},
      {"D.empty", "", 300000},
      {"e.bin", testing::randomBytes(5000, 12), 400000},
      {"f.txt", "f", 500000},
  };
  return members;
}

// Limits just below, at and just above every boundary, and halfway between
// neighbouring boundaries, up to one byte past the last.
std::vector<long> limitsAround(const std::set<long>& boundaries) {
  std::set<long> limits;
  long previous = 0;
  for (const long boundary : boundaries) {
    for (const long limit : {boundary - 1, boundary, boundary + 1, (previous + boundary) / 2}) {
      if (limit >= 0) limits.insert(limit);
    }
    previous = boundary;
  }
  return {limits.begin(), limits.end()};
}

// The file offsets at which the lines of an index end: `plain` is the index
// text unscrambled, starting at file position `start`.
std::set<long> lineEnds(const std::string& plain, long start) {
  std::set<long> ends = {start};
  for (std::size_t at = plain.find('\n'); at != std::string::npos; at = plain.find('\n', at + 1)) {
    ends.insert(start + static_cast<long>(at) + 1);
  }
  return ends;
}

// The data file offsets at which the members end, from `start` on.
std::set<long> memberEnds(long start) {
  std::set<long> ends = {start};
  for (const Member& member : treeMembers()) ends.insert(start += static_cast<long>(member.bytes.size()));
  return ends;
}

class WriteFault : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const Member& member : treeMembers()) folder.write("tree/" + member.name, member.bytes, member.time);
    folder.write("previous/old.txt", "what the catalog held before", 42);
  }
  RunResult run(const std::vector<std::string>& arguments, long limit = -1) {
    return runCatpack(arguments, folder.path(), {.fileSizeLimit = limit});
  }
  // Makes `base`.cat and .dat from `input`; gives the two files' bytes.
  std::pair<std::string, std::string> pack(const std::string& input, const std::string& base, bool old) {
    std::vector<std::string> arguments = {"-in", input, "-out", base + ".cat"};
    if (old) arguments.push_back("-zarn3cat");
    const RunResult result = run(arguments);
    EXPECT_EQ(result.exitCode, 0) << result.err;
    return {folder.read(base + ".cat"), folder.read(base + ".dat")};
  }
  TempFolder folder;
};

TEST_F(WriteFault, ANewCatalogIsWrittenWholeOrNotAtAll) {
  for (const bool old : {false, true}) {
    const auto [index, data] = pack("tree", "reference", old);
    std::set<long> boundaries = memberEnds(0);
    const std::set<long> lines = lineEnds(old ? testing::oldIndexText(index) : index, 0);
    boundaries.insert(lines.begin(), lines.end());
    for (const bool hadPrevious : {false, true}) {
      if (hadPrevious) pack("previous", "x", old);
      const std::string indexBefore = folder.read("x.cat");
      const std::string dataBefore = folder.read("x.dat");
      const std::string listingBefore = folder.listing();
      for (const long limit : limitsAround(boundaries)) {
        SCOPED_TRACE((old ? "old format, limit " : "current format, limit ") + std::to_string(limit) +
                     (hadPrevious ? ", over a previous catalog" : ""));
        std::vector<std::string> arguments = {"-in", "tree", "-out", "x.cat"};
        if (old) arguments.push_back("-zarn3cat");
        const RunResult result = run(arguments, limit);
        EXPECT_EQ(result.out, banner + std::string("Reading from folder tree\nWriting to Catalog x.cat\n"));
        if (limit >= static_cast<long>(std::max(index.size(), data.size()))) {
          EXPECT_EQ(result.err, "");
          EXPECT_EQ(result.exitCode, 0);
          EXPECT_EQ(folder.read("x.cat"), index);
          EXPECT_EQ(folder.read("x.dat"), data);
          // Back to the state before, for the next limit.
          if (hadPrevious) {
            folder.write("x.cat", indexBefore);
            folder.write("x.dat", dataBefore);
          } else {
            std::filesystem::remove(folder.at("x.cat"));
            std::filesystem::remove(folder.at("x.dat"));
          }
          continue;
        }
        EXPECT_EQ(result.err, "Failed writing catalog x\n");
        EXPECT_EQ(result.exitCode, 1);
        EXPECT_EQ(folder.exists("x.cat"), hadPrevious);
        EXPECT_EQ(folder.exists("x.dat"), hadPrevious);
        EXPECT_EQ(folder.read("x.cat"), indexBefore);
        EXPECT_EQ(folder.read("x.dat"), dataBefore);
        EXPECT_EQ(folder.listing(), listingBefore) << "no temporary file stays";
      }
    }
    std::filesystem::remove(folder.at("x.cat"));
    std::filesystem::remove(folder.at("x.dat"));
  }
}

TEST_F(WriteFault, AFailedWriteTellsNothingOfTheMembersAfterIt) {
  // A catalog member past the end of its data file comes after the tree's
  // members in key order; the first data written already fails, so the run
  // stops before that member is reached, and says only that it failed.
  pack("previous", "cut", false);
  folder.resize("cut.dat", 5);
  const RunResult whole = run({"-in", "tree", "cut.cat", "-out", "x.cat"});
  EXPECT_EQ(whole.err, "[Load] Failed to read from file cut.dat\n");
  EXPECT_EQ(whole.exitCode, 0);
  for (const long limit : {0L, 100L, 2999L, 3000L, 3001L}) {
    SCOPED_TRACE("limit " + std::to_string(limit));
    const RunResult result = run({"-in", "tree", "cut.cat", "-out", "y.cat"}, limit);
    EXPECT_EQ(result.err, "Failed writing catalog y\n");
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_FALSE(folder.exists("y.cat"));
    EXPECT_FALSE(folder.exists("y.dat"));
  }
}

TEST_F(WriteFault, AFailedAppendIsCutBackToItsPreviousBytes) {
  for (const bool old : {false, true}) {
    const auto [indexBefore, dataBefore] = pack("previous", "x", old);
    pack("previous", "reference", old);
    ASSERT_EQ(run({"-in", "tree", "-out", "reference.cat", "-append"}).exitCode, 0);
    const std::string index = folder.read("reference.cat");
    const std::string data = folder.read("reference.dat");
    const std::string added = index.substr(indexBefore.size());
    std::set<long> boundaries = memberEnds(static_cast<long>(dataBefore.size()));
    const long indexStart = static_cast<long>(indexBefore.size());
    const std::set<long> lines = lineEnds(old ? testing::oldIndexText(added, indexBefore.size()) : added, indexStart);
    boundaries.insert(lines.begin(), lines.end());
    for (const long limit : limitsAround(boundaries)) {
      SCOPED_TRACE((old ? "old format, limit " : "current format, limit ") + std::to_string(limit));
      const std::string listingBefore = folder.listing();
      const RunResult result = run({"-in", "tree", "-out", "x.cat", "-append"}, limit);
      EXPECT_EQ(result.out, banner + std::string("Reading from folder tree\nAppending to Catalog x.cat\n"));
      if (limit >= static_cast<long>(std::max(index.size(), data.size()))) {
        EXPECT_EQ(result.err, "");
        EXPECT_EQ(result.exitCode, 0);
        EXPECT_EQ(folder.read("x.cat"), index);
        EXPECT_EQ(folder.read("x.dat"), data);
        folder.write("x.cat", indexBefore);
        folder.write("x.dat", dataBefore);
        continue;
      }
      EXPECT_EQ(result.err, "Failed writing catalog x\n");
      EXPECT_EQ(result.exitCode, 1);
      EXPECT_EQ(folder.read("x.cat"), indexBefore);
      EXPECT_EQ(folder.read("x.dat"), dataBefore);
      EXPECT_EQ(folder.listing(), listingBefore) << "no temporary file stays";
    }
  }
}

TEST_F(WriteFault, AFolderOutputHoldsOnlyWholeFiles) {
  // The members come once from the tree and once from an old-format
  // catalog, whose bytes are unscrambled on the way.
  pack("tree", "source", true);
  std::set<long> sizes;
  for (const Member& member : treeMembers()) sizes.insert(static_cast<long>(member.bytes.size()));
  for (const std::string input : {"tree", "source.cat"}) {
    for (const long limit : limitsAround(sizes)) {
      SCOPED_TRACE(input + ", limit " + std::to_string(limit));
      // Two targets are there already and must stay as they are unless
      // replaced whole.
      folder.write("out/a.bin", "the old a", 7);
      folder.write("out/e.bin", "the old e", 8);
      std::set<std::string> expectedListing;
      {
        const std::string before = folder.listing();
        for (std::size_t at = 0, end; (end = before.find('\n', at)) != std::string::npos; at = end + 1) {
          expectedListing.insert(before.substr(at, end - at));
        }
      }
      expectedListing.insert("out/b/");
      // The old format keeps no times, so its empty member is a deletion
      // marker, which writes nothing.
      const auto isWritten = [&](const Member& member) { return input == "tree" || !member.bytes.empty(); };
      std::string failures;
      for (const Member& member : treeMembers()) {
        if (!isWritten(member)) continue;
        if (static_cast<long>(member.bytes.size()) > limit) {
          failures += "Failed writing file " + member.name + " to folder out\n";
        } else {
          expectedListing.insert("out/" + member.name);
        }
      }

      const RunResult result = run({"-in", input, "-out", "out"}, limit);
      EXPECT_EQ(result.err, failures);
      EXPECT_EQ(result.exitCode, 0);
      for (const Member& member : treeMembers()) {
        const std::string target = "out/" + member.name;
        if (isWritten(member) && static_cast<long>(member.bytes.size()) <= limit) {
          EXPECT_EQ(folder.read(target), member.bytes) << target;
          EXPECT_EQ(folder.modificationTime(target), input == "tree" ? member.time : 0) << target;
        } else if (member.name == "a.bin" || member.name == "e.bin") {
          EXPECT_EQ(folder.read(target), member.name == "a.bin" ? "the old a" : "the old e") << target;
          EXPECT_EQ(folder.modificationTime(target), member.name == "a.bin" ? 7 : 8) << target;
        } else {
          EXPECT_FALSE(folder.exists(target)) << target;
        }
      }
      std::string expected;
      for (const std::string& name : expectedListing) expected += name + "\n";
      EXPECT_EQ(folder.listing(), expected) << "nothing else, and no temporary file";
      std::filesystem::remove_all(folder.at("out"));
    }
  }
}

}  // namespace
}  // namespace catpack
