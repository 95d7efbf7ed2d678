#include "index/filter_items.h"

#include <algorithm>

#include "pattern/pattern_compiler.h"
#include "pattern/pattern_matcher.h"

namespace catpack {

bool isInclude(const std::string& item) { return !item.empty() && item[0] == '+'; }
bool isExclude(const std::string& item) { return !item.empty() && item[0] == '-'; }
const char* patternOf(const std::string& item) { return item.empty() ? "" : item.c_str() + 1; }

std::vector<PatternHandle> compileAll(const PatternList& patterns) {
  std::vector<PatternHandle> compiled;
  compiled.reserve(patterns.size());
  for (const std::string& item : patterns) compiled.push_back(compilePattern(patternOf(item)));
  return compiled;
}

bool allCompiled(const std::vector<PatternHandle>& compiled) {
  return std::all_of(compiled.begin(), compiled.end(),
                     [](const PatternHandle& pattern) { return pattern != nullptr; });
}

std::vector<MatchHints> analyseAll(const std::vector<PatternHandle>& compiled) {
  std::vector<MatchHints> hints;
  hints.reserve(compiled.size());
  for (const PatternHandle& pattern : compiled) hints.push_back(analysePattern(pattern.get()));
  return hints;
}

bool allQuietFor(const std::vector<MatchHints>& hints, std::size_t length) {
  return std::all_of(hints.begin(), hints.end(),
                     [&](const MatchHints& itemHints) { return itemHints.isQuietFor(length); });
}

bool inSetAfter(const PatternList& patterns, const std::vector<PatternHandle>& compiled,
                const std::vector<MatchHints>& hints, std::size_t first, std::size_t end, bool in,
                bool quiet, EntryText key, bool keyEndsAtLength) {
  for (std::size_t item = first; item < end; ++item) {
    const bool include = isInclude(patterns[item]);
    // An include tests every entry, an exclude those in the set; an entry
    // an include finds in the set already needs no test unless a test can
    // print something.
    if (include ? quiet && in : !in) continue;
    CompiledPattern* pattern = compiled[item].get();
    const int matched = keyEndsAtLength
                            ? matchPatternWithHints(pattern, hints[item], key.c_str(), key.size())
                            : matchPatternWithHints(pattern, hints[item], key.c_str());
    if (matched == 1) in = include;
  }
  return in;
}

}  // namespace catpack
