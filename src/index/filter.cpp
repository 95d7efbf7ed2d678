#include "index/filter.h"

#include "pattern/pattern_compiler.h"
#include "pattern/match_hints.h"
#include "pattern/pattern_matcher.h"
#include "util/console.h"

namespace catpack {

namespace {

bool isInclude(const std::string& item) { return !item.empty() && item[0] == '+'; }
bool isExclude(const std::string& item) { return !item.empty() && item[0] == '-'; }
const char* patternOf(const std::string& item) { return item.empty() ? "" : item.c_str() + 1; }

// One compiled pattern per item, null where compiling failed.
std::vector<PatternHandle> compileAll(const PatternList& patterns) {
  std::vector<PatternHandle> compiled;
  compiled.reserve(patterns.size());
  for (const std::string& item : patterns) compiled.push_back(compilePattern(patternOf(item)));
  return compiled;
}

}  // namespace

bool applyFilters(FileIndex& index, const PatternList& patterns) {
  std::vector<PatternHandle> compiled = compileAll(patterns);
  std::vector<MatchHints> hints;
  hints.reserve(compiled.size());
  for (const PatternHandle& pattern : compiled) hints.push_back(analysePattern(pattern.get()));

  // Entries are tested in the order they were stored. Until the index is
  // settled a key may be stored more than once; all of its copies pass or
  // fail alike, so that only matters when a match can print a message,
  // once per entry tested: then the replaced copies are dropped first.
  std::size_t longestKey = 0;
  for (std::size_t slot = 0; slot < index.storedCount(); ++slot) {
    if (index.isStored(slot) && index.storedKey(slot).size() > longestKey) {
      longestKey = index.storedKey(slot).size();
    }
  }
  bool quiet = true;
  for (const MatchHints& itemHints : hints) quiet = quiet && itemHints.isQuietFor(longestKey);
  if (!quiet) index.settle();

  // The working set is held as one mark per stored entry: an entry is in the
  // set while its mark is up. An include raises the marks of the entries it
  // matches, an exclude lowers them again.
  const std::size_t stored = index.storedCount();
  printOut("Start Filtering\n");
  std::vector<char> inSet(stored, !patterns.empty() && isExclude(patterns.front()));
  for (std::size_t item = 0; item < patterns.size(); ++item) {
    CompiledPattern* pattern = compiled[item].get();
    const bool include = isInclude(patterns[item]);
    printOut(include ? "Filtering with Include %s\n" : "Filtering with Exclude %s\n",
             patternOf(patterns[item]));
    for (std::size_t slot = 0; slot < stored; ++slot) {
      if (!index.isStored(slot)) continue;
      // An include tests every entry, an exclude those in the set; an entry
      // an include finds in the set already needs no test unless a test can
      // print something.
      if (include ? quiet && inSet[slot] : !inSet[slot]) continue;
      const EntryText key = index.storedKey(slot);
      if (matchPatternWithHints(pattern, hints[item], key.c_str()) == 1) {
        inSet[slot] = include;
      }
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
