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
  FileIndex passed;
  std::vector<PatternHandle> compiled = compileAll(patterns);
  printOut("Start Filtering\n");
  if (!patterns.empty() && isExclude(patterns.front())) passed = index;
  for (std::size_t item = 0; item < patterns.size(); ++item) {
    CompiledPattern* pattern = compiled[item].get();
    if (isInclude(patterns[item])) {
      printOut("Filtering with Include %s\n", patternOf(patterns[item]));
      for (const auto& [key, entry] : index) {
        if (matchPattern(pattern, key.c_str()) == 1) passed.insertIfAbsent(key, entry);
      }
    } else {
      printOut("Filtering with Exclude %s\n", patternOf(patterns[item]));
      for (auto position = passed.begin(); position != passed.end();) {
        if (matchPattern(pattern, position->first.c_str()) == 1) {
          position = passed.erase(position);
        } else {
          ++position;
        }
      }
    }
  }
  index.swap(passed);
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
