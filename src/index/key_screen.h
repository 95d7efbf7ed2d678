// Filtering a catalog's members while they are read. The filters keep or
// drop an entry by its key alone, so every copy of a key fares alike: a
// member the screen drops before it is stored is one the filter pass over
// the whole set would drop, and one it keeps is one the pass would keep.
// Only keys that no test can print a message for are told apart early;
// the rest are stored and left to the pass.
#pragma once

#include <cstddef>
#include <memory>
#include <string_view>
#include <vector>

#include "index/filter_items.h"
#include "pattern/compiled_pattern.h"
#include "pattern/match_hints.h"

namespace catpack {

class KeyScreen {
 public:
  enum class Verdict { kept, dropped, untold };

  // A screen of the filter items `patterns`, which must outlive it; null
  // when there are none or some pattern does not compile (the filter pass
  // tells why). Prints nothing.
  static std::unique_ptr<KeyScreen> make(const PatternList& patterns);

  // A screen of the same items for another thread: matching changes the
  // state of a compiled pattern.
  std::unique_ptr<KeyScreen> twin() const { return make(patterns_); }

  // What the filters make of an entry of `key`, which holds no NUL and is
  // followed by one.
  Verdict judge(std::string_view key);

 private:
  KeyScreen(const PatternList& patterns, std::vector<PatternHandle> compiled);

  const PatternList& patterns_;
  std::vector<PatternHandle> compiled_;
  std::vector<MatchHints> hints_;
  bool inBeforeItems_;  // whether an entry is in the set before the first item
  std::size_t quietBelow_ = 0;  // keys shorter than this are known to be quiet
};

}  // namespace catpack
