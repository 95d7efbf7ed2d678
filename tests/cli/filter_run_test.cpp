// The include and exclude filters through the command line on catalogs.
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
