#include "index/filter.h"

#include "pattern/pattern_matcher.h"
#include "util/console.h"
#include "util/workers.h"

namespace catpack {

namespace {

// Indexes from this many stored entries on are filtered on two threads.
constexpr std::size_t twoThreadFilterSize = 1 << 15;

}  // namespace

bool applyFilters(FileIndex& index, const PatternList& patterns) {
  std::vector<PatternHandle> compiled = compileAll(patterns);
  const std::vector<MatchHints> hints = analyseAll(compiled);

  // Entries are tested in the order they were stored. Until the index is
  // settled a key may be stored more than once; all of its copies pass or
  // fail alike, so that only matters when a match can print a message,
  // once per entry tested: then the replaced copies are dropped first.
  // Whether a test can print depends on the longest key. The longest ever
  // added bounds it: when that keeps every pattern quiet, the walk to find
  // the longest key left is spared.
  bool quiet = allQuietFor(hints, index.longestNameAdded());
  if (!quiet) {
    std::size_t longestKey = 0;
    for (std::size_t slot = 0; slot < index.storedCount(); ++slot) {
      if (index.isStored(slot) && index.storedKey(slot).size() > longestKey) {
        longestKey = index.storedKey(slot).size();
      }
    }
    quiet = allQuietFor(hints, longestKey);
  }
  if (!quiet) index.settle();

  const std::size_t stored = index.storedCount();
  printOut("Start Filtering\n");
  const auto printItem = [&](std::size_t item) {
    printOut(isInclude(patterns[item]) ? "Filtering with Include %s\n" : "Filtering with Exclude %s\n",
             patternOf(patterns[item]));
  };
  const bool everyPatternCompiled = allCompiled(compiled);
  if (quiet && everyPatternCompiled && index.entriesKnownToPass() == stored) {
    // A screen of these items kept every entry as it was read: each passes
    // every test, and none could print anything.
    for (std::size_t item = 0; item < patterns.size(); ++item) printItem(item);
    printOut("Done Filtering\n");
    return true;
  }
  // The working set is held as one mark per stored entry: an entry is in the
  // set while its mark is up. An include raises the marks of the entries it
  // matches, an exclude lowers them again.
  std::vector<char> inSet(stored, !patterns.empty() && isExclude(patterns.front()));
  // A big index is tested in two halves side by side. Matching fills a
  // pattern's group slots, so the helper has patterns of its own (compiled
  // again, their messages told once already); its messages are told after
  // those of the first half, as one thread would tell them.
  const bool twoThreads = stored >= twoThreadFilterSize && helperThreadCount() > 0;
  std::vector<PatternHandle> helperCompiled;
  if (twoThreads) {
    std::string toldAlready;
    const MessageCapture capture(toldAlready);
    helperCompiled = compileAll(patterns);
  }
  const bool keysEndAtTheirLength = !index.namesMayHoldNul();
  // Tests the entries in slots `begin` to `end` against the items from
  // `firstItem` to `endItem`, all items for one entry before the next.
  const auto testSlots = [&](const std::vector<PatternHandle>& patternsUsed, std::size_t firstItem,
                             std::size_t endItem, std::size_t begin, std::size_t end) {
    for (std::size_t slot = begin; slot < end; ++slot) {
      if (!index.isStored(slot)) continue;
      inSet[slot] = inSetAfter(patterns, patternsUsed, hints, firstItem, endItem, inSet[slot] != 0,
                               quiet, index.storedKey(slot), keysEndAtTheirLength);
    }
  };
  // Tests every entry against the items from `firstItem` to `endItem`.
  const auto testItems = [&](std::size_t firstItem, std::size_t endItem) {
    if (!twoThreads) {
      testSlots(compiled, firstItem, endItem, 0, stored);
      return;
    }
    std::string helperMessages;
    {
      const HelperThreads helper(1, [&] {
        const MessageCapture capture(helperMessages);
        testSlots(helperCompiled, firstItem, endItem, stored / 2, stored);
      });
      testSlots(compiled, firstItem, endItem, 0, stored / 2);
    }
    printCapturedErr(helperMessages);
  };
  // Where no test can print anything, every item is tried on an entry in
  // one pass; otherwise the items take their turns, each pass's messages
  // after its line.
  if (quiet && everyPatternCompiled) {
    for (std::size_t item = 0; item < patterns.size(); ++item) printItem(item);
    testItems(0, patterns.size());
  } else {
    for (std::size_t item = 0; item < patterns.size(); ++item) {
      printItem(item);
      testItems(item, item + 1);
    }
  }
  for (std::size_t slot = 0; slot < stored; ++slot) {
    if (index.isStored(slot) && !inSet[slot]) index.eraseStored(slot);
  }
  printOut("Done Filtering\n");
  return true;
}

bool FolderExclusion::isExcluded(const std::string& prefix) {
  if (patterns_.empty()) return false;
  if (!compiledOnce_) {
    compiled_ = compileAll(patterns_);
    compiledOnce_ = true;
  }
  for (std::size_t item = 0; item < patterns_.size(); ++item) {
    if (isExclude(patterns_[item]) && matchPattern(compiled_[item].get(), prefix.c_str()) == 1) {
      return true;
    }
  }
  return false;
}

}  // namespace catpack
