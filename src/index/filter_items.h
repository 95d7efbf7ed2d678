// The items of a filter list, and how an entry fares against them: shared
// by the filter pass over an index and the screen that filters a catalog's
// members while they are read.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "index/entry_view.h"
#include "pattern/compiled_pattern.h"
#include "pattern/match_hints.h"

namespace catpack {

// Filter items: "+" and an include pattern, or "-" and an exclude pattern,
// lower-cased, in command-line order.
using PatternList = std::vector<std::string>;

bool isInclude(const std::string& item);
bool isExclude(const std::string& item);
// The pattern text of an item, behind its sign.
const char* patternOf(const std::string& item);

// One compiled pattern per item, null where compiling failed (its message
// printed).
std::vector<PatternHandle> compileAll(const PatternList& patterns);

// Whether every item's pattern compiled.
bool allCompiled(const std::vector<PatternHandle>& compiled);

// The match hints of every compiled pattern.
std::vector<MatchHints> analyseAll(const std::vector<PatternHandle>& compiled);

// Whether no test of a key of at most `length` bytes against any of the
// patterns can print a message.
bool allQuietFor(const std::vector<MatchHints>& hints, std::size_t length);

// Whether an entry of `key` is in the working set after the items from
// `first` to `end`, given whether it was before them (`in`): an include
// puts a matching entry in, an exclude takes a matching entry in the set
// out. With `quiet`, no test can print anything, and an include is not
// tried on an entry already in. `keyEndsAtLength`: the key holds no NUL.
bool inSetAfter(const PatternList& patterns, const std::vector<PatternHandle>& compiled,
                const std::vector<MatchHints>& hints, std::size_t first, std::size_t end, bool in,
                bool quiet, EntryText key, bool keyEndsAtLength);

}  // namespace catpack
