#include "index/filter.h"

#include "pattern/pattern_compiler.h"
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
  // The working set is held as one mark per entry of the index: an entry is
  // in the set while its mark is up. An include raises the marks of the
  // entries it matches, an exclude lowers them again.
  std::vector<FileIndex::iterator> entries;
  entries.reserve(index.size());
  for (auto position = index.begin(); position != index.end(); ++position) entries.push_back(position);
  std::vector<PatternHandle> compiled = compileAll(patterns);
  printOut("Start Filtering\n");
  std::vector<char> inSet(entries.size(), !patterns.empty() && isExclude(patterns.front()));
  for (std::size_t item = 0; item < patterns.size(); ++item) {
    CompiledPattern* pattern = compiled[item].get();
    const bool include = isInclude(patterns[item]);
    printOut(include ? "Filtering with Include %s\n" : "Filtering with Exclude %s\n",
             patternOf(patterns[item]));
    for (std::size_t at = 0; at < entries.size(); ++at) {
      const char* key = entries[at]->first.c_str();
      if (include) {
        if (matchPattern(pattern, key) == 1) inSet[at] = true;
      } else if (inSet[at] && matchPattern(pattern, key) == 1) {
        inSet[at] = false;
      }
    }
  }
  for (std::size_t at = 0; at < entries.size(); ++at) {
    if (!inSet[at]) index.erase(entries[at]);
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
