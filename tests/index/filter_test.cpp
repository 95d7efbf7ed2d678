#include "index/filter.h"

#include <gtest/gtest.h>

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
