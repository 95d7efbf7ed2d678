// Runs that must neither hang nor report a failure as success: special
// files in trees and as catalogs, a listing that cannot be written, names at
// the file system's limit of 255 bytes, a catalog extracted over its own
// data file, a link in the output. (Windows has no FIFOs or /dev/full, its
// paths are limited to 260 bytes, and it cannot replace a file held open.)
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/run_catpack.h"
#include "support/temp_folder.h"

namespace catpack {
namespace {

using testing::banner;
using testing::RunResult;
using testing::runCatpack;
using testing::TempFolder;

class RunSafety : public ::testing::Test {
 protected:
  RunResult run(const std::vector<std::string>& arguments, testing::RunOptions options = {}) {
    return runCatpack(arguments, folder.path(), options);
  }
  TempFolder folder;
};

TEST_F(RunSafety, OnlyPlainFilesAndFoldersAreRead) {
  folder.write("tree/a.txt", "alpha", 100000);
  ASSERT_EQ(::mkfifo(folder.at("tree/pipe").c_str(), 0666), 0);
  folder.link("tree/zero", "/dev/zero");
  // The base lists the same names with other times, so the diff would read
  // both special files to compare their digests.
  folder.write("base/pipe", "", 5);
  folder.write("base/zero", "", 5);
  folder.write("base/a.txt", "alpha", 100000);
  const RunResult diffed = run({"-in", "tree", "-diff", "base", "-dump"});
  // The two messages come in the order the folder lists its entries.
  EXPECT_EQ(diffed.err.size(), std::string("Illegal file pipe\nIllegal file zero\n").size());
  EXPECT_NE(diffed.err.find("Illegal file pipe\n"), std::string::npos);
  EXPECT_NE(diffed.err.find("Illegal file zero\n"), std::string::npos);
  EXPECT_EQ(diffed.out, banner + std::string("Reading from folder tree\nReading from folder base\n"
                                             "       0        0 pipe pipe\n"
                                             "       0        0 zero zero\n"));
  EXPECT_EQ(diffed.exitCode, 0);

  ASSERT_EQ(::mkfifo(folder.at("fifo.cat").c_str(), 0666), 0);
  const RunResult catalog = run({"-in", "fifo.cat", "-dump"});
  EXPECT_EQ(catalog.err, "[Load] Failed to open file fifo.cat\n");
  EXPECT_EQ(catalog.exitCode, 0);
}

TEST_F(RunSafety, AListingThatCannotBeWrittenIsAFailure) {
  folder.write("tree/a.txt", "alpha", 100000);
  ASSERT_EQ(run({"-in", "tree", "-out", "x.cat"}).exitCode, 0);
  const RunResult full = run({"-in", "x.cat", "-dump"}, {.standardOutput = "/dev/full"});
  EXPECT_EQ(full.err, "Failed writing standard output\n");
  EXPECT_EQ(full.exitCode, 1);
  // A run that fails anyway keeps its own exit code.
  const RunResult aborted =
      run({"-in", "x.cat", "-dump", "-out", "nowhere"}, {.standardOutput = "/dev/full"});
  EXPECT_EQ(aborted.err, "Output nowhere is neither a catalog nor a folder, aborting\n"
                         "Failed writing standard output\n");
  EXPECT_EQ(aborted.exitCode, 2);
}

TEST_F(RunSafety, NamesAtTheFileSystemsLimitAreWrittenToFolders) {
  const std::string longest(255, 'L');
  folder.write("tree/" + longest, "long name", 100000);
  folder.write("tree/sub/" + longest, "deeper", 200000);
  ASSERT_EQ(run({"-in", "tree", "-out", "x.cat"}).exitCode, 0);
  folder.makeFolder("out");
  const RunResult extracted = run({"-in", "x.cat", "-out", "out"});
  EXPECT_EQ(extracted.err, "");
  EXPECT_EQ(folder.read("out/" + longest), "long name");
  EXPECT_EQ(folder.modificationTime("out/sub/" + longest), 200000);
  // Replacing existing files of that length works the same way.
  EXPECT_EQ(run({"-in", "tree", "-out", "out"}).err, "");
  EXPECT_EQ(folder.hiddenEntries(), "");
}

TEST_F(RunSafety, ACatalogExtractedOverItsOwnDataFileKeepsItsBytes) {
  folder.write("tree/a.txt", "alpha", 100000);
  folder.write("tree/x.dat", "a member named like the data file", 200000);
  folder.write("tree/z.txt", "zulu, read after x.dat is replaced", 300000);
  folder.makeFolder("out");
  ASSERT_EQ(run({"-in", "tree", "-out", "out/x.cat"}).exitCode, 0);
  const RunResult extracted = runCatpack({"-in", "x.cat", "-out", "."}, folder.at("out"));
  EXPECT_EQ(extracted.err, "");
  EXPECT_EQ(extracted.exitCode, 0);
  for (const char* name : {"a.txt", "x.dat", "z.txt"}) {
    EXPECT_EQ(folder.read(std::string("out/") + name), folder.read(std::string("tree/") + name));
  }
}

TEST_F(RunSafety, ALinkInTheOutputIsReplacedNotWrittenThrough) {
  folder.write("tree/a.txt", "new bytes", 100000);
  folder.write("outside.txt", "must stay");
  folder.makeFolder("out");
  folder.link("out/a.txt", "../outside.txt");
  const RunResult written = run({"-in", "tree", "-out", "out"});
  EXPECT_EQ(written.err, "");
  EXPECT_EQ(folder.read("outside.txt"), "must stay");
  struct stat info {};
  ASSERT_EQ(::lstat(folder.at("out/a.txt").c_str(), &info), 0);
  EXPECT_TRUE(S_ISREG(info.st_mode));
  EXPECT_EQ(folder.read("out/a.txt"), "new bytes");
}

}  // namespace
}  // namespace catpack
