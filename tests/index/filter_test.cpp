#include "index/filter.h"

#include <gtest/gtest.h>

#include <random>
#include <regex>
#include <set>
#include <string>
#include <vector>

namespace catpack {
namespace {

using ::testing::internal::CaptureStderr;
using ::testing::internal::CaptureStdout;
using ::testing::internal::GetCapturedStderr;
using ::testing::internal::GetCapturedStdout;

std::string namesAfter(const PatternList& patterns) {
  FileIndex index;
  for (const char* name : {"assets/a.xml", "assets/b.png", "data/c.xml", "data/d.txt", "e.XML"}) {
    index.addFolderFile(name, 1, 1, "r");
  }
  CaptureStdout();
  applyFilters(index, patterns);
  GetCapturedStdout();
  std::string names;
  for (const auto& [key, entry] : index) names += entry.name + " ";
  return names;
}

TEST(ApplyFilters, AppliesItemsInCommandLineOrder) {
  EXPECT_EQ(namesAfter({"+\\.xml$"}), "assets/a.xml data/c.xml e.XML ");
  EXPECT_EQ(namesAfter({"-^assets/"}), "data/c.xml data/d.txt e.XML ");
  EXPECT_EQ(namesAfter({"+\\.xml$", "-^assets/"}), "data/c.xml e.XML ");
  EXPECT_EQ(namesAfter({"-^assets/", "+\\.xml$"}), "assets/a.xml data/c.xml data/d.txt e.XML ");
  EXPECT_EQ(namesAfter({"+\\.png$", "+txt"}), "assets/b.png data/d.txt ");
  EXPECT_EQ(namesAfter({"-xml"}), "assets/b.png data/d.txt ");
}

// Lists of items drawn at random, applied to an index big enough to be
// tested on two threads, keep what std::regex says the rules keep: an entry
// is in the set from the start when the first item excludes, an include
// adds the entries it matches, an exclude removes them.
TEST(ApplyFilters, RandomItemListsKeepWhatTheRulesKeep) {
  const std::vector<const char*> pool = {"\\.xml$", "^dir0", "sub1", "[0-4]\\.txt$", "^d.*7",
                                         "file00", "a", "^gfx[0-9]*/sub0"};
  std::mt19937 random(31);
  std::vector<std::string> names;
  for (int number = 0; number < 40000; ++number) {
    const char* folders[] = {"dir", "data", "gfx"};
    const char* extensions[] = {"xml", "txt", "dds"};
    names.push_back(std::string(folders[random() % 3]) + std::to_string(random() % 30) + "/sub" +
                    std::to_string(random() % 20) + "/file" + std::to_string(number) + "." +
                    extensions[random() % 3]);
  }
  for (int round = 0; round < 12; ++round) {
    PatternList items;
    const std::size_t count = 1 + random() % 4;
    for (std::size_t item = 0; item < count; ++item) {
      items.push_back(std::string(random() % 2 == 0 ? "+" : "-") + pool[random() % pool.size()]);
    }
    FileIndex index;
    for (const std::string& name : names) index.addCatalogMember(name, 1, 1, "c", 0, std::string(32, '0'), false);
    CaptureStdout();
    applyFilters(index, items);
    GetCapturedStdout();
    std::set<std::string> kept;
    for (const auto& [key, entry] : index) kept.insert(entry.name);

    std::vector<std::regex> references;
    for (const std::string& item : items) references.emplace_back(item.substr(1));
    std::set<std::string> expected;
    for (const std::string& name : names) {
      bool in = items.front()[0] == '-';
      for (std::size_t item = 0; item < items.size(); ++item) {
        if (std::regex_search(name, references[item])) in = items[item][0] == '+';
      }
      if (in) expected.insert(name);
    }
    EXPECT_EQ(kept, expected) << ::testing::PrintToString(items);
  }
}

TEST(ApplyFilters, PrintsItsProgress) {
  FileIndex index;
  index.addFolderFile("a", 1, 1, "r");
  CaptureStdout();
  applyFilters(index, {"+a", "-b"});
  EXPECT_EQ(GetCapturedStdout(),
            "Start Filtering\nFiltering with Include a\nFiltering with Exclude b\nDone Filtering\n");
}

TEST(ApplyFilters, ABadPatternMatchesNothing) {
  FileIndex index;
  index.addFolderFile("a", 1, 1, "r");
  index.addFolderFile("b", 1, 1, "r");
  CaptureStdout();
  CaptureStderr();
  applyFilters(index, {"+[b-a]"});
  GetCapturedStdout();
  EXPECT_EQ(GetCapturedStderr(),
            "eregexp: invalid [] range\neregexp: NULL parameter\neregexp: NULL parameter\n");
  EXPECT_TRUE(index.empty());
}

TEST(ApplyFilters, TwinsAddedBeforeFilteringCountOnceAndTheLastWins) {
  FileIndex index;
  index.addFolderFile("A.xml", 1, 1, "first");
  index.addFolderFile("b.txt", 1, 1, "r");
  index.addFolderFile("a.XML", 2, 2, "second");
  CaptureStdout();
  applyFilters(index, {"+\\.xml$"});
  GetCapturedStdout();
  ASSERT_EQ(index.size(), 1u);
  EXPECT_EQ(index.find("a.xml")->name, "a.XML");
  EXPECT_EQ(index.find("a.xml")->folder, "second");

  // A bad pattern reports once per entry tested, replaced twins not counted.
  for (const PatternList& patterns : {PatternList{"+[b-a]"}, PatternList{"-b", "-[b-a]"}}) {
    FileIndex twins;
    for (const char* name : {"A", "a", "b", "B"}) twins.addFolderFile(name, 1, 1, "r");
    CaptureStdout();
    CaptureStderr();
    applyFilters(twins, patterns);
    GetCapturedStdout();
    const std::string tested = patterns.size() == 1 ? "eregexp: NULL parameter\neregexp: NULL parameter\n"
                                                    : "eregexp: NULL parameter\n";
    EXPECT_EQ(GetCapturedStderr(), "eregexp: invalid [] range\n" + tested);
  }
}

TEST(FolderExclusion, TestsOnlyExcludeItemsAndCompilesOnce) {
  const PatternList patterns = {"+^data/", "-^assets/", "-[z-a]"};
  FolderExclusion exclusion(patterns);
  CaptureStderr();
  EXPECT_TRUE(exclusion.isExcluded("assets/"));
  EXPECT_FALSE(exclusion.isExcluded("Assets/"));
  EXPECT_FALSE(exclusion.isExcluded("data/"));
  EXPECT_EQ(GetCapturedStderr(),
            "eregexp: invalid [] range\n"
            "eregexp: NULL parameter\neregexp: NULL parameter\n");
  const PatternList none;
  FolderExclusion nothing(none);
  EXPECT_FALSE(nothing.isExcluded("assets/"));
}

}  // namespace
}  // namespace catpack
