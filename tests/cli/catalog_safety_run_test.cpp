// Catalogs that must read back as written and must never be lost: crafted
// and long names against the format test, appends to unfinished lines,
// protection and links of replaced files, a failed second rename, long base
// names, and two runs writing one catalog at once.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/external_tools.h"
#include "support/run_catpack.h"
#include "support/temp_folder.h"

namespace catpack {
namespace {

using testing::CatpackProcess;
using testing::md5sumOfBytes;
using testing::oldIndexText;
using testing::RunResult;
using testing::runCatpack;
using testing::TempFolder;

constexpr std::uint32_t nobody = 65534;

// The names a catalog lists, in listing order, read back by catpack itself.
std::vector<std::string> listedNames(const TempFolder& folder, const std::string& catalog) {
  const RunResult listed = runCatpack({"-in", catalog, "-dump"}, folder.path());
  std::vector<std::string> names;
  std::size_t at = listed.out.find("filename: ");
  at = listed.out.find('\n', at) + 1;
  while (at < listed.out.size()) {
    const std::size_t end = listed.out.find('\n', at);
    // "%8d %8d %s %s": the name and its key are equally long.
    const std::string rest = listed.out.substr(at + 18, end - at - 18);
    names.push_back(rest.substr(0, (rest.size() - 1) / 2));
    at = end + 1;
  }
  return names;
}

std::string currentLine(const std::string& name, const std::string& bytes, int time) {
  return name + " " + std::to_string(bytes.size()) + " " + std::to_string(time) + " " +
         md5sumOfBytes(bytes) + "\n";
}

// A name which, as the first bytes of an index file, reads as an old-format
// index that lists nothing but "evil.txt 12": a plain-looking text under the
// old index key, its bytes chosen so that none is NUL, CR or LF.
std::string formatFlippingName(std::size_t length) {
  auto stored = [](char plain, std::size_t position) {
    return oldIndexText(std::string(1, plain), position)[0];
  };
  auto fits = [&](char plain, std::size_t position) {
    const char byte = stored(plain, position);
    return byte != '\0' && byte != '\n' && byte != '\r';
  };
  // The first line is free; "\xC2\x80" is one UTF-8 character that is
  // stored as the byte 0x0B, so the name sorts before any printable one.
  std::string plain = "\xC2\x80\nevil.txt 12\n#";
  std::size_t lineLength = 1;
  while (plain.size() < length) {
    const std::size_t position = plain.size();
    if (lineLength >= 60 && fits('\n', position) && fits('#', position + 1)) {
      plain += "\n#";
      lineLength = 1;
      continue;
    }
    char filler = 'a';
    while (!fits(filler, position)) ++filler;
    plain += filler;
    ++lineLength;
  }
  plain.resize(length);
  return oldIndexText(plain);
}

class CatalogSafetyRun : public ::testing::Test {
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

TEST_F(CatalogSafetyRun, ACraftedNameCannotTurnTheIndexIntoTheOldFormat) {
  const std::string evil = formatFlippingName(1100);
  ASSERT_EQ(evil.find_first_of(std::string("\r\n\0", 3)), std::string::npos);
  folder.write("evil.cat", currentLine("filler.txt", "F", 5) + currentLine(evil, "twelve bytes", 6));
  folder.write("evil.dat", "Ftwelve bytes");
  ASSERT_EQ(listedNames(folder, "evil.cat"), (std::vector<std::string>{evil, "filler.txt"}))
      << "the input itself reads as a current index";

  const RunResult packed = run({"-in", "tree", "evil.cat", "-out", "x.cat"});
  EXPECT_EQ(packed.err, "Illegal file name " + evil + "\n");
  EXPECT_EQ(packed.exitCode, 0);
  EXPECT_EQ(listedNames(folder, "x.cat"),
            (std::vector<std::string>{"a.txt", "b/c.bin", "d.txt", "filler.txt"}));
  EXPECT_EQ(folder.read("x.dat"), "alpha" + folder.read("tree/b/c.bin") + "deltaF");
}

TEST_F(CatalogSafetyRun, AnOldIndexNeverStartsWithALineItsFormatTestCannotSee) {
  const std::string longName(1020, 'a');
  folder.write("long.cat", currentLine(longName, "xyz", 7) + currentLine("b.txt", "bb", 8) +
                               currentLine("c.txt", "c", 9));
  folder.write("long.dat", "xyzbbc");
  const RunResult converted = run({"-in", "long.cat", "-zarn3cat", "-out", "old.cat"});
  EXPECT_EQ(converted.err, "Illegal file name " + longName + "\n");
  EXPECT_EQ(converted.exitCode, 0);
  EXPECT_EQ(folder.read("old.cat"), oldIndexText("foo.dat\nb.txt 2\nc.txt 1\n"));
  EXPECT_EQ(listedNames(folder, "old.cat"), (std::vector<std::string>{"b.txt", "c.txt"}));

  // A long name further down is no danger once two lines are complete.
  folder.write("later.cat", currentLine("b.txt", "bb", 8) + currentLine("z" + longName, "xyz", 7));
  folder.write("later.dat", "bbxyz");
  EXPECT_EQ(run({"-in", "later.cat", "-zarn3cat", "-out", "old2.cat"}).err, "");
  EXPECT_EQ(listedNames(folder, "old2.cat"), (std::vector<std::string>{"b.txt", "z" + longName}));
}

TEST_F(CatalogSafetyRun, AppendingAfterALastLineWithoutLineBreakStartsANewLine) {
  // An old index is only told from its first 1024 bytes when it is that
  // long; a shorter one without its last line break reads as a current one.
  std::vector<std::string> names = treeNames;
  for (int file = 10; file < 50; ++file) {
    const std::string name = "many/a-file-with-a-longer-name-" + std::to_string(file) + ".txt";
    folder.write("tree/" + name, "x", 500000);
    names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  names.push_back("zz.txt");
  folder.write("more/zz.txt", "echo", 400000);
  for (const bool oldFormat : {false, true}) {
    std::vector<std::string> arguments{"-in", "tree", "-out", "x.cat"};
    if (oldFormat) arguments.push_back("-zarn3cat");
    ASSERT_EQ(run(arguments).exitCode, 0);
    const std::string index = folder.read("x.cat");
    ASSERT_GT(index.size(), 1024u);
    folder.write("x.cat", index.substr(0, index.size() - 1));
    const RunResult appended = run({"-in", "more", "-out", "x.cat", "-append"});
    EXPECT_EQ(appended.err, "") << oldFormat;
    EXPECT_EQ(appended.exitCode, 0);
    EXPECT_EQ(listedNames(folder, "x.cat"), names) << oldFormat;
    const std::string expected = oldFormat ? index + oldIndexText("zz.txt 4\n", index.size())
                                           : index + currentLine("zz.txt", "echo", 400000);
    EXPECT_EQ(folder.read("x.cat"), expected) << oldFormat;
  }
}

TEST_F(CatalogSafetyRun, AReplacedCatalogKeepsItsProtectionOwnerAndLinks) {
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
  EXPECT_EQ(listedNames(folder, "y.cat"), treeNames);
  EXPECT_EQ(folder.hiddenEntries(), "");
}

TEST_F(CatalogSafetyRun, ACatalogTheUserMayNotWriteIsNotReplaced) {
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

TEST_F(CatalogSafetyRun, AnIndexThatCannotBeRenamedLeavesThePreviousDataFile) {
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

TEST_F(CatalogSafetyRun, BaseNamesUpToTheFileSystemsLimitCanBeWritten) {
  const std::string base(251, 'n');
  const RunResult packed = run({"-in", "tree", "-out", base + ".cat"});
  EXPECT_EQ(packed.err, "");
  EXPECT_EQ(packed.exitCode, 0);
  EXPECT_EQ(listedNames(folder, base + ".cat"), treeNames);
  folder.write("more/e.txt", "echo", 400000);
  EXPECT_EQ(run({"-in", "more", "-out", base + ".cat", "-append"}).exitCode, 0);
  EXPECT_EQ(folder.hiddenEntries(), "");
}

// Two runs write the same catalog at once, a dozen times over: the result
// is always what one of them wrote, or both appends one after the other.
TEST_F(CatalogSafetyRun, RunsWritingOneCatalogTakeTurns) {
  for (const char* tree : {"one", "two"}) {
    for (int file = 0; file < 40; ++file) {
      folder.write(std::string(tree) + "/f" + std::to_string(file) + ".bin",
                   testing::randomBytes(20000 + static_cast<std::size_t>(file), tree[0] + file),
                   1000 + file);
    }
  }
  ASSERT_EQ(run({"-in", "one", "-out", "one.cat"}).exitCode, 0);
  ASSERT_EQ(run({"-in", "two", "-out", "two.cat"}).exitCode, 0);
  const std::string oneIndex = folder.read("one.cat"), oneData = folder.read("one.dat");
  const std::string twoIndex = folder.read("two.cat"), twoData = folder.read("two.dat");
  const std::string baseIndex = currentLine("base.txt", "base", 1);

  for (int round = 0; round < 12; ++round) {
    {
      CatpackProcess first({"-in", "one", "-out", "x.cat"}, folder.path());
      CatpackProcess second({"-in", "two", "-out", "x.cat"}, folder.path());
      EXPECT_EQ(first.finish().exitCode, 0);
      EXPECT_EQ(second.finish().exitCode, 0);
    }
    const std::string index = folder.read("x.cat"), data = folder.read("x.dat");
    EXPECT_TRUE((index == oneIndex && data == oneData) || (index == twoIndex && data == twoData))
        << "round " << round << ": the index and data of different runs";

    folder.write("y.cat", baseIndex);
    folder.write("y.dat", "base");
    {
      CatpackProcess first({"-in", "one", "-out", "y.cat", "-append"}, folder.path());
      CatpackProcess second({"-in", "two", "-out", "y.cat", "-append"}, folder.path());
      EXPECT_EQ(first.finish().exitCode, 0);
      EXPECT_EQ(second.finish().exitCode, 0);
    }
    const std::string appendedIndex = folder.read("y.cat"), appendedData = folder.read("y.dat");
    EXPECT_TRUE((appendedIndex == baseIndex + oneIndex + twoIndex &&
                 appendedData == "base" + oneData + twoData) ||
                (appendedIndex == baseIndex + twoIndex + oneIndex &&
                 appendedData == "base" + twoData + oneData))
        << "round " << round << ": appends interleaved";
  }
  EXPECT_EQ(folder.hiddenEntries(), "");
}

}  // namespace
}  // namespace catpack
