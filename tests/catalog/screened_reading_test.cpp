// A catalog read through a screen of the run's filters and then filtered
// ends as the same catalog read whole and then filtered: the same entries,
// fields and sources, and the same messages in the same order.
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "catalog/catalog_reader.h"
#include "catalog/entry_description.h"
#include "index/filter.h"
#include "index/key_screen.h"
#include "support/temp_folder.h"

namespace catpack {
namespace {

using ::testing::internal::CaptureStderr;
using ::testing::internal::CaptureStdout;
using ::testing::internal::GetCapturedStderr;
using ::testing::internal::GetCapturedStdout;
using testing::TempFolder;

// What a run that reads `base` (through `screen`, if any) and filters it
// with `patterns` prints and keeps.
struct Outcome {
  std::string out;
  std::string err;
  std::string entries;
  std::size_t stored = 0;
  std::size_t knownToPass = 0;
};

// With `withFolderFile`, a file found in a folder joins the catalog's
// members unscreened.
Outcome readAndFilter(const std::string& base, const PatternList& patterns, bool screened,
                      bool withFolderFile) {
  Outcome outcome;
  const std::unique_ptr<KeyScreen> screen = screened ? KeyScreen::make(patterns) : nullptr;
  FileIndex index;
  CaptureStdout();
  CaptureStderr();
  readCatalog(index, base, screen.get());
  if (withFolderFile) index.addFolderFile("Extra/file1.dds", 1, 2, "folder");
  outcome.stored = index.storedCount();
  outcome.knownToPass = index.entriesKnownToPass();
  applyFilters(index, patterns);
  outcome.out = GetCapturedStdout();
  outcome.err = GetCapturedStderr();
  outcome.entries = describeEntries(index);
  return outcome;
}

// Member lines of every kind: names in either case and repeated far apart,
// full and short lines, line breaks of either kind, lines that name no
// member; with `longNames`, now and then a name so long that a test of it
// may print a message.
std::string randomIndexText(std::mt19937& random, std::size_t bytes, bool longNames) {
  const char* folders[] = {"Dir", "dir", "data", "GFX"};
  const char* extensions[] = {"xml", "XML", "txt", "dds"};
  const std::string digest = "0123456789abcdef0123456789abcdef";
  std::string text;
  for (int line = 0; text.size() < bytes; ++line) {
    std::string name = std::string(folders[random() % 4]) + std::to_string(random() % 40) + "/file" +
                       std::to_string(random() % 30000) + "." + extensions[random() % 4];
    if (longNames && random() % 4000 == 0) name = std::string(6000 + random() % 3000, 'a') + name;
    switch (random() % 10) {
      case 0: text += name + " " + std::to_string(line % 97) + "\r\n"; break;
      case 1: text += "nonsense\n\n"; break;
      default:
        text += name + " " + std::to_string(line % 89) + " " + std::to_string(line) + " " + digest + "\n";
    }
  }
  return text;
}

TEST(ScreenedReading, EndsAsReadingWholeAndFilteringDoes) {
  const std::vector<const char*> pool = {"\\.xml$", "^dir1", "7", "^d.*3\\.", "[0-4]\\.txt$",
                                         "file2", "^gfx[0-9]*/", "(a|b)*z", "[b-a]", "x*x*x*q"};
  std::mt19937 random(41);
  TempFolder folder;
  int screenedAll = 0;
  int screenedSome = 0;
  for (int round = 0; round < 20; ++round) {
    // Short texts are read whole, long ones in two stretches side by side.
    const std::size_t bytes = round % 4 == 0 ? (40u << 10) : (3u << 19);
    folder.write("c.cat", randomIndexText(random, bytes, round % 3 == 2));
    PatternList patterns;
    const std::size_t count = 1 + random() % 3;
    for (std::size_t item = 0; item < count; ++item) {
      patterns.push_back(std::string(random() % 2 == 0 ? "+" : "-") + pool[random() % pool.size()]);
    }
    const bool withFolderFile = round % 5 == 1;
    const Outcome whole = readAndFilter(folder.at("c"), patterns, false, withFolderFile);
    const Outcome screened = readAndFilter(folder.at("c"), patterns, true, withFolderFile);
    const std::string items = ::testing::PrintToString(patterns);
    EXPECT_EQ(screened.out, whole.out) << items;
    EXPECT_EQ(screened.err, whole.err) << items;
    EXPECT_EQ(screened.entries, whole.entries) << items;
    EXPECT_EQ(whole.knownToPass, 0u);
    if (screened.stored < whole.stored) ++screenedSome;
    if (screened.stored > 0 && screened.knownToPass == screened.stored) ++screenedAll;
  }
  // The rounds took every way: members dropped while read, and every
  // member stored known to pass.
  EXPECT_GT(screenedSome, 4);
  EXPECT_GT(screenedAll, 2);
}

TEST(ScreenedReading, EntriesAddedUnscreenedAreStillTested) {
  TempFolder folder;
  const std::string digest = "0123456789abcdef0123456789abcdef";
  folder.write("c.cat", "a.xml 1 1 " + digest + "\nb.dds 2 2 " + digest + "\nC.XML 3 3 " + digest + "\n");
  const PatternList patterns = {"+\\.xml$"};
  const std::unique_ptr<KeyScreen> screen = KeyScreen::make(patterns);
  FileIndex index;
  CaptureStdout();
  readCatalog(index, folder.at("c"), screen.get());
  EXPECT_EQ(index.storedCount(), 2u);
  EXPECT_EQ(index.entriesKnownToPass(), 2u);
  index.addFolderFile("d.dds", 4, 4, "folder");
  applyFilters(index, patterns);
  GetCapturedStdout();
  std::string names;
  for (const auto& [key, entry] : index) names += std::string(entry.name) + " ";
  EXPECT_EQ(names, "a.xml C.XML ");
}

TEST(ScreenedReading, NoScreenForNoItemsOrAPatternThatDoesNotCompile) {
  CaptureStderr();
  EXPECT_EQ(KeyScreen::make({}), nullptr);
  EXPECT_EQ(KeyScreen::make({"+a", "-[b-a]"}), nullptr);
  EXPECT_NE(KeyScreen::make({"+a", "-b"}), nullptr);
  EXPECT_EQ(GetCapturedStderr(), "") << "the filter pass tells of a bad pattern, in its place";
}

TEST(ScreenedReading, JudgesOnlyWhatNoTestCanPrintAbout) {
  const PatternList patterns = {"-^skip/", "+(a|b)*z"};
  const std::unique_ptr<KeyScreen> screen = KeyScreen::make(patterns);
  ASSERT_NE(screen, nullptr);
  EXPECT_EQ(screen->judge("skip/x"), KeyScreen::Verdict::dropped);
  EXPECT_EQ(screen->judge("skip/abz"), KeyScreen::Verdict::kept) << "the include puts it back";
  EXPECT_EQ(screen->judge("keep/x"), KeyScreen::Verdict::kept) << "in from the start: an exclude leads";
  const std::string deep(20000, 'a');
  EXPECT_EQ(screen->judge(deep), KeyScreen::Verdict::untold);
}

}  // namespace
}  // namespace catpack
