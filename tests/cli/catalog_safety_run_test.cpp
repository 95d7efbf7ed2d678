// Catalogs that must read back as written and must never be lost: crafted
// and long names against the format test, appends to unfinished lines,
// empty members past the end of a data file, and two runs writing one
// catalog at once.
#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/external_tools.h"
#include "support/platform_facts.h"
#include "support/run_catpack.h"
#include "support/temp_folder.h"

namespace catpack {
namespace {

using testing::banner;
using testing::CatpackProcess;
using testing::console;
using testing::currentIndexLine;
using testing::listedNames;
using testing::oldIndexText;
using testing::RunResult;
using testing::runCatpack;
using testing::TempFolder;

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
  RunResult run(const std::vector<std::string>& arguments) {
    return runCatpack(arguments, folder.path());
  }
  TempFolder folder;
  const std::vector<std::string> treeNames{"a.txt", "b/c.bin", "d.txt"};
};

TEST_F(CatalogSafetyRun, ACraftedNameCannotTurnTheIndexIntoTheOldFormat) {
  const std::string evil = formatFlippingName(1100);
  ASSERT_EQ(evil.find_first_of(std::string("\r\n\0", 3)), std::string::npos);
  folder.write("evil.cat", currentIndexLine("filler.txt", "F", 5) + currentIndexLine(evil, "twelve bytes", 6));
  folder.write("evil.dat", "Ftwelve bytes");
  ASSERT_EQ(listedNames(folder.path(), "evil.cat"), (std::vector<std::string>{evil, "filler.txt"}))
      << "the input itself reads as a current index";

  const RunResult packed = run({"-in", "tree", "evil.cat", "-out", "x.cat"});
  EXPECT_EQ(packed.err, console("Illegal file name " + evil + "\n"));
  EXPECT_EQ(packed.exitCode, 0);
  EXPECT_EQ(listedNames(folder.path(), "x.cat"),
            (std::vector<std::string>{"a.txt", "b/c.bin", "d.txt", "filler.txt"}));
  EXPECT_EQ(folder.read("x.dat"), "alpha" + folder.read("tree/b/c.bin") + "deltaF");
}

TEST_F(CatalogSafetyRun, AnOldIndexNeverStartsWithALineItsFormatTestCannotSee) {
  const std::string longName(1020, 'a');
  folder.write("long.cat", currentIndexLine(longName, "xyz", 7) + currentIndexLine("b.txt", "bb", 8) +
                               currentIndexLine("c.txt", "c", 9));
  folder.write("long.dat", "xyzbbc");
  const RunResult converted = run({"-in", "long.cat", "-zarn3cat", "-out", "old.cat"});
  EXPECT_EQ(converted.err, console("Illegal file name " + longName + "\n"));
  EXPECT_EQ(converted.exitCode, 0);
  EXPECT_EQ(folder.read("old.cat"), oldIndexText("foo.dat\nb.txt 2\nc.txt 1\n"));
  EXPECT_EQ(listedNames(folder.path(), "old.cat"), (std::vector<std::string>{"b.txt", "c.txt"}));

  // A long name further down is no danger once two lines are complete.
  folder.write("later.cat", currentIndexLine("b.txt", "bb", 8) + currentIndexLine("z" + longName, "xyz", 7));
  folder.write("later.dat", "bbxyz");
  EXPECT_EQ(run({"-in", "later.cat", "-zarn3cat", "-out", "old2.cat"}).err, "");
  EXPECT_EQ(listedNames(folder.path(), "old2.cat"), (std::vector<std::string>{"b.txt", "z" + longName}));
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
    EXPECT_EQ(listedNames(folder.path(), "x.cat"), names) << oldFormat;
    const std::string expected = oldFormat ? index + oldIndexText("zz.txt 4\n", index.size())
                                           : index + currentIndexLine("zz.txt", "echo", 400000);
    EXPECT_EQ(folder.read("x.cat"), expected) << oldFormat;
  }
}

TEST_F(CatalogSafetyRun, AnEmptyMemberPastTheEndOfAShortDataFileLoads) {
  // The data file holds 10 of the 100 bytes listed before the empty member,
  // whose offset therefore lies far past its end.
  folder.write("r.cat", oldIndexText("foo.dat\nbig.bin 100\nzero.txt 0\n"));
  folder.write("r.dat", "0123456789");
  folder.write("b.cat", oldIndexText("foo.dat\nzero.txt 0\n"));
  folder.write("b.dat", "");
  const RunResult result = run({"-in", "r.cat", "-diff", "b.cat", "-dump"});
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.out, console(banner + std::string("Reading from catalog r\n"
                                             "Done - Max filename size: 8, filename: zero.txt\n"
                                             "Reading from catalog b\n"
                                             "Done - Max filename size: 8, filename: zero.txt\n"
                                             "     100        0 big.bin big.bin\n")));
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
  const std::string baseIndex = currentIndexLine("base.txt", "base", 1);

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
