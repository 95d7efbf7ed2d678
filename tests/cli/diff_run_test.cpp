// The diff against a base through the command line, written as a catalog
// (deletions as size-0 lines) and as a folder (new and changed files only).
#include <string>

#include <gtest/gtest.h>

#include "support/external_tools.h"
#include "support/run_catpack.h"
#include "support/temp_folder.h"

namespace catpack {
namespace {

using testing::banner;
using testing::console;
using testing::RunResult;
using testing::runCatpack;
using testing::TempFolder;

const std::string zeroDigest(32, '0');

class DiffRun : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::int64_t t = 1700000000;
    folder.write("old/same.txt", "same", t);
    folder.write("new/same.txt", "same", t);
    folder.write("old/hour-apart.txt", "1234", t + 3600);
    folder.write("new/hour-apart.txt", "abcd", t);  // other bytes, yet the time rule decides
    folder.write("old/touched.txt", "touch", t - 86400);
    folder.write("new/touched.txt", "touch", t);
    folder.write("old/edited.txt", "draft", t - 86400);
    folder.write("new/edited.txt", "final", t);
    folder.write("old/grown.txt", "short", t);
    folder.write("new/grown.txt", "longer", t);
    folder.write("old/Case.TXT", "case", t);
    folder.write("new/case.txt", "case", t);
    folder.write("old/sub/removed.txt", "gone", t);
    folder.write("new/added.txt", "added", t);
  }
  RunResult run(const std::vector<std::string>& arguments) {
    return runCatpack(arguments, folder.path());
  }
  TempFolder folder;
};

TEST_F(DiffRun, KeepsNewAndChangedFilesAndMarksDeletions) {
  const RunResult result = run({"-in", "new", "-diff", "old", "-dump"});
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(result.out, console(banner + std::string("Reading from folder new\nReading from folder old\n"
                                             "       5 1700000000 added.txt added.txt\n"
                                             "       5 1700000000 edited.txt edited.txt\n"
                                             "       6 1700000000 grown.txt grown.txt\n"
                                             "       0        0 sub/removed.txt sub/removed.txt\n")));
}

TEST_F(DiffRun, WritesDeletionsAsEmptyCatalogLines) {
  const RunResult result = run({"-in", "new", "-diff", "old", "-out", "patch.cat"});
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(folder.read("patch.cat"),
            "added.txt 5 1700000000 " + testing::md5sumOf(folder.at("new/added.txt")) + "\n" +
                "edited.txt 5 1700000000 " + testing::md5sumOf(folder.at("new/edited.txt")) + "\n" +
                "grown.txt 6 1700000000 " + testing::md5sumOf(folder.at("new/grown.txt")) + "\n" +
                "sub/removed.txt 0 0 " + zeroDigest + "\n");
  EXPECT_EQ(folder.read("patch.dat"), "addedfinallonger");

  // A base that is itself a diff: its deletion lines produce no new markers.
  const RunResult again = run({"-in", "new", "-diff", "patch.cat", "-dump"});
  EXPECT_EQ(again.out.find(console(" sub/removed.txt sub/removed.txt\n")), std::string::npos) << again.out;
}

TEST_F(DiffRun, WritesOnlyNewAndChangedFilesToAFolder) {
  folder.makeFolder("out");
  folder.write("out/sub/removed.txt", "still here");
  const RunResult result = run({"-in", "new", "-diff", "old", "-out", "out"});
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(folder.read("out/added.txt"), "added");
  EXPECT_EQ(folder.read("out/edited.txt"), "final");
  EXPECT_EQ(folder.read("out/grown.txt"), "longer");
  EXPECT_EQ(folder.read("out/sub/removed.txt"), "still here") << "a marker removes nothing";
  EXPECT_FALSE(folder.exists("out/same.txt"));
  EXPECT_FALSE(folder.exists("out/touched.txt"));
  EXPECT_FALSE(folder.exists("out/hour-apart.txt"));
}

TEST_F(DiffRun, ComparesCatalogDigestsWithoutReadingTheirData) {
  ASSERT_EQ(run({"-in", "old", "-out", "old.cat"}).exitCode, 0);
  folder.write("old.dat", "");  // the digests in the index are all the diff needs
  const RunResult result = run({"-in", "new", "-diff", "old.cat", "-dump"});
  EXPECT_EQ(result.err, "");
  EXPECT_NE(result.out.find(console(" edited.txt edited.txt\n")), std::string::npos);
  EXPECT_EQ(result.out.find(" touched.txt"), std::string::npos);
}

TEST_F(DiffRun, OnlyIncludesLeaveTheMarkersTheyMatch) {
  const RunResult result = run({"-in", "new", "-diff", "old", "-include", "^a", "-dump"});
  EXPECT_EQ(result.out, console(banner + std::string("Reading from folder new\nReading from folder old\n"
                                             "Start Filtering\nFiltering with Include ^a\n"
                                             "Done Filtering\n"
                                             "       5 1700000000 added.txt added.txt\n")));
}

TEST_F(DiffRun, ABaseFolderIsScannedWithTheSameExclusions) {
  const RunResult result = run({"-in", "new", "-diff", "old", "-exclude", "^sub/", "-dump"});
  EXPECT_NE(result.out.find(console("Reading from folder old\nSkipping sub/..\n")), std::string::npos)
      << result.out;
  EXPECT_EQ(result.out.find("removed"), std::string::npos);
}

}  // namespace
}  // namespace catpack
