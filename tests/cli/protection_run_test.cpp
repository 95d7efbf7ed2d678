// What replacing a catalog keeps on POSIX systems: permission bits, owner
// and symbolic links, a catalog the user may not write, the previous data
// file when the index cannot follow it, and base names at the file
// system's limit of 255 bytes. (Windows has a read-only attribute instead
// of permission bits and owners, and paths limited to 260 bytes.)
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/run_catpack.h"
#include "support/temp_folder.h"

namespace catpack {
namespace {

using testing::listedNames;
using testing::RunResult;
using testing::runCatpack;
using testing::TempFolder;

constexpr std::uint32_t nobody = 65534;

class ProtectionRun : public ::testing::Test {
 protected:
  void SetUp() override {
    folder.write("tree/a.txt", "alpha", 100000);
    folder.write("tree/b/c.bin", testing::randomBytes(3000, 5), 200000);
    folder.write("tree/d.txt", "delta", 300000);
  }
  RunResult run(const std::vector<std::string>& arguments, testing::RunOptions options = {}) {
    return runCatpack(arguments, folder.path(), options);
  }
  static struct stat statusOf(const std::string& path) {
    struct stat info {};
    ::lstat(path.c_str(), &info);
    return info;
  }
  TempFolder folder;
  const std::vector<std::string> treeNames{"a.txt", "b/c.bin", "d.txt"};
};

TEST_F(ProtectionRun, AReplacedCatalogKeepsItsProtectionOwnerAndLinks) {
  ASSERT_EQ(run({"-in", "tree", "-out", "x.cat"}).exitCode, 0);
  ::chmod(folder.at("x.cat").c_str(), 0600);
  ::chmod(folder.at("x.dat").c_str(), 0640);
  const bool root = ::geteuid() == 0;
  if (root) {
    ASSERT_EQ(::chown(folder.at("x.dat").c_str(), nobody, nobody), 0);
  }
  folder.write("more/e.txt", "echo", 400000);
  ASSERT_EQ(run({"-in", "more", "-out", "x.cat"}).exitCode, 0);
  EXPECT_EQ(statusOf(folder.at("x.cat")).st_mode & 07777, 0600u);
  EXPECT_EQ(statusOf(folder.at("x.dat")).st_mode & 07777, 0640u);
  if (root) {
    EXPECT_EQ(statusOf(folder.at("x.dat")).st_uid, nobody);
  }
  EXPECT_EQ(folder.read("x.dat"), "echo");

  // Links named as the catalog's files lead to the files that are written.
  folder.makeFolder("real");
  folder.link("y.cat", "real/index.cat");
  folder.link("y.dat", "real/data.dat");
  ASSERT_EQ(run({"-in", "tree", "-out", "y.cat"}).exitCode, 0);
  EXPECT_TRUE(S_ISLNK(statusOf(folder.at("y.cat")).st_mode));
  EXPECT_TRUE(S_ISLNK(statusOf(folder.at("y.dat")).st_mode));
  EXPECT_EQ(folder.read("real/data.dat"), "alpha" + folder.read("tree/b/c.bin") + "delta");
  EXPECT_EQ(listedNames(folder.path(), "y.cat"), treeNames);
  EXPECT_EQ(folder.hiddenEntries(), "");
}

TEST_F(ProtectionRun, ACatalogTheUserMayNotWriteIsNotReplaced) {
  if (!testing::canRunUnprivileged()) GTEST_SKIP() << "needs root to run as another user";
  ASSERT_EQ(run({"-in", "tree", "-out", "x.cat"}).exitCode, 0);
  ::chmod(folder.at("x.cat").c_str(), 0644);
  const std::string index = folder.read("x.cat");
  const std::string data = folder.read("x.dat");
  folder.write("more/e.txt", "echo", 400000);
  for (const char* mode : {"-dump", "-zarn3cat"}) {
    const RunResult result = run({"-in", "more", "-out", "x.cat", mode}, {.unprivileged = true});
    EXPECT_EQ(result.err, "") << mode;
    EXPECT_EQ(result.exitCode, 1) << mode;
    EXPECT_EQ(folder.read("x.cat"), index) << mode;
    EXPECT_EQ(folder.read("x.dat"), data) << mode;
    EXPECT_EQ(folder.hiddenEntries(), "") << mode;
  }
}

TEST_F(ProtectionRun, AnIndexThatCannotBeRenamedLeavesThePreviousDataFile) {
  if (!testing::canRunUnprivileged()) GTEST_SKIP() << "needs root to run as another user";
  // In a shared folder with the sticky bit the user may replace his own
  // data file but not the index that another user owns.
  folder.makeFolder("shared");
  ::chmod(folder.at("shared").c_str(), 01777);
  ASSERT_EQ(run({"-in", "tree", "-out", "shared/x.cat"}).exitCode, 0);
  ::chmod(folder.at("shared/x.cat").c_str(), 0666);
  ASSERT_EQ(::chown(folder.at("shared/x.dat").c_str(), nobody, nobody), 0);
  const std::string index = folder.read("shared/x.cat");
  const std::string data = folder.read("shared/x.dat");
  folder.write("more/e.txt", "echo", 400000);

  const RunResult result = run({"-in", "more", "-out", "shared/x.cat"}, {.unprivileged = true});
  EXPECT_EQ(result.err, "Failed writing catalog shared/x\n");
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(folder.read("shared/x.cat"), index);
  EXPECT_EQ(folder.read("shared/x.dat"), data);
  EXPECT_EQ(folder.hiddenEntries(), "");
}

TEST_F(ProtectionRun, BaseNamesUpToTheFileSystemsLimitCanBeWritten) {
  const std::string base(251, 'n');
  const RunResult packed = run({"-in", "tree", "-out", base + ".cat"});
  EXPECT_EQ(packed.err, "");
  EXPECT_EQ(packed.exitCode, 0);
  EXPECT_EQ(listedNames(folder.path(), base + ".cat"), treeNames);
  folder.write("more/e.txt", "echo", 400000);
  EXPECT_EQ(run({"-in", "more", "-out", base + ".cat", "-append"}).exitCode, 0);
  EXPECT_EQ(folder.hiddenEntries(), "");
}

// Two runs write the same catalog at once, a dozen times over: the result
// is always what one of them wrote, or both appends one after the other.
}  // namespace
}  // namespace catpack
