// The include and exclude filters through the command line on catalogs.
#include <algorithm>
#include <string>

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

class FilterRun : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string index;
    for (const char* name : {"assets/a.xml", "assets/b.png", "Data/File.XML", "data/d.txt", "e.xml.gz"}) {
      index += std::string(name) + " 0\n";
    }
    folder.write("set.cat", index);
    folder.write("set.dat", "");
  }
  // The names the run lists, one line.
  std::string listed(const std::vector<std::string>& patterns) {
    std::vector<std::string> arguments = {"-in", "set.cat", "-dump"};
    arguments.insert(arguments.end(), patterns.begin(), patterns.end());
    const RunResult result = runCatpack(arguments, folder.path());
    EXPECT_EQ(result.exitCode, 0);
    std::string names;
    const std::string filtered = console("Done Filtering\n");
    std::size_t at = result.out.find(filtered);
    if (at == std::string::npos) return "no filtering";
    for (at += filtered.size(); at < result.out.size();) {
      const std::size_t end = result.out.find('\n', at);
      const std::string line = result.out.substr(at, end - at);
      names += line.substr(18, line.find(' ', 18) - 18) + " ";
      at = end + 1;
    }
    return names;
  }
  TempFolder folder;
};

TEST_F(FilterRun, AppliesIncludesAndExcludesInOrder) {
  EXPECT_EQ(listed({"-include", "\\.xml$"}), "assets/a.xml Data/File.XML ");
  EXPECT_EQ(listed({"-exclude", "^assets/"}), "data/d.txt Data/File.XML e.xml.gz ");
  EXPECT_EQ(listed({"-include", "\\.xml$", "-exclude", "^assets/"}), "Data/File.XML ");
  EXPECT_EQ(listed({"-exclude", "^assets/", "-include", "\\.xml$"}),
            "assets/a.xml data/d.txt Data/File.XML e.xml.gz ");
  EXPECT_EQ(listed({"-include", "png", "txt"}), "assets/b.png data/d.txt ");
  EXPECT_EQ(listed({"-exclude", "xml"}), "assets/b.png data/d.txt ");
  EXPECT_EQ(listed({"-INCLUDE", "\\.XML$"}), "assets/a.xml Data/File.XML ");
}

TEST_F(FilterRun, PrintsThePatternsAsStored) {
  const RunResult result =
      runCatpack({"-in", "set.cat", "-include", "\\.XML$", "-exclude", "^Assets/", "-dump"}, folder.path());
  EXPECT_NE(result.out.find(console("Start Filtering\nFiltering with Include \\.xml$\n"
                            "Filtering with Exclude ^assets/\nDone Filtering\n")),
            std::string::npos)
      << result.out;
}

TEST_F(FilterRun, ABadPatternMatchesNothing) {
  const RunResult include = runCatpack({"-in", "set.cat", "-include", "[b-a]", "-dump"}, folder.path());
  std::string expected = "eregexp: invalid [] range\n";
  for (int entry = 0; entry < 5; ++entry) expected += "eregexp: NULL parameter\n";
  EXPECT_EQ(include.err, console(expected));
  EXPECT_EQ(include.exitCode, 0);
  EXPECT_EQ(include.out.substr(include.out.find(console("Done Filtering\n"))), console("Done Filtering\n"));

  const RunResult exclude = runCatpack({"-in", "set.cat", "-exclude", "(a", "-dump"}, folder.path());
  EXPECT_NE(exclude.err.find(console("eregexp: unmatched ()\n")), std::string::npos);
  EXPECT_NE(exclude.out.find(console(" e.xml.gz e.xml.gz\n")), std::string::npos) << "nothing removed";
}

TEST_F(FilterRun, AFolderScanCompilesTheListOnItsOwn) {
  folder.write("tree/sub/x.txt", "x", 1);
  const RunResult result = runCatpack({"-in", "tree", "-exclude", "*x", "-dump"}, folder.path());
  EXPECT_EQ(result.err, console("eregexp: ?+* follows nothing\neregexp: NULL parameter\n"
                        "eregexp: ?+* follows nothing\neregexp: NULL parameter\n"));
}

}  // namespace
}  // namespace catpack

namespace catpack {
namespace {

// A big index is filtered on two threads; the messages of every test still
// come where one thread would print them: after the item that made them,
// before the next, as many as there are tests that give them.
TEST(FilterRunOfABigIndex, MessagesComeAfterTheirItemWhateverHalfMadeThem) {
  testing::TempFolder folder;
  std::string index;
  std::size_t givingUp = 0;
  std::size_t matching = 0;
  for (int number = 0; number < 40000; ++number) {
    if (number % 4000 == 7) {
      // Too much backtracking for the include: one message each.
      index += std::string(43, 'a') + std::to_string(number) + " 0\n";
      ++givingUp;
    } else if (number % 3 == 0) {
      index += "c" + std::to_string(number) + ".txt 0\n";
      ++matching;
    } else {
      index += "f" + std::to_string(number) + ".txt 0\n";
    }
  }
  folder.write("big.cat", index);
  folder.write("big.dat", "");
  // The exclude does not compile: every entry in the set tests it in vain.
  const testing::RunResult result = testing::runCatpack(
      {"-in", "big.cat", "-include", "(a|a)*[bc]", "-exclude", "x(", "-dump"}, folder.path(),
      {.oneStream = true});
  EXPECT_EQ(result.exitCode, 0);
  std::string expected = std::string(testing::banner) + "Reading from catalog big\n" +
                         "Done - Max filename size: 48, filename: " + std::string(43, 'a') + "12007\n" +
                         "eregexp: unmatched ()\n" + "Start Filtering\n" +
                         "Filtering with Include (a|a)*[bc]\n";
  for (std::size_t message = 0; message < givingUp; ++message) expected += "eregexp: too much backtracking\n";
  expected += "Filtering with Exclude x(\n";
  for (std::size_t message = 0; message < matching; ++message) expected += "eregexp: NULL parameter\n";
  expected += "Done Filtering\n";
  const std::string shown = result.out.substr(0, std::min(result.out.size(), testing::console(expected).size()));
  EXPECT_TRUE(shown == testing::console(expected)) << "the filter's messages are out of place";
  const std::string listing = result.out.substr(shown.size());
  EXPECT_EQ(static_cast<std::size_t>(std::count(listing.begin(), listing.end(), '\n')), matching);
}

}  // namespace
}  // namespace catpack
