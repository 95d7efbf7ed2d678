// Runs a compiled pattern against a text by recursive backtracking.
#pragma once

#include <cstddef>

#include "pattern/compiled_pattern.h"
#include "pattern/match_hints.h"

namespace catpack {

// How deep one match attempt may nest before it gives up.
inline constexpr int patternNestingLimit = 10000;

// How many nested attempts a match at one start position may make before
// the whole match gives up: backtracking can take exponential time on
// patterns with nested repetitions, and this bounds it far above what a
// name needs.
inline constexpr long patternStepLimit = 1'000'000;

// 1 when `pattern` matches somewhere in the NUL-terminated `text`, else 0
// (also after an error message, which either limit above gives). On 1 the
// pattern's group slots bound the match and the groups that took part in it.
// Tests may lower the step limit to reach its giving-up path cheaply.
int matchPattern(CompiledPattern* pattern, const char* text, long stepLimit = patternStepLimit);

// matchPattern, with the same result, group slots (after a match) and
// messages, passing over texts and start positions that `hints` (made for
// this pattern by analysePattern) rule out.
int matchPatternWithHints(CompiledPattern* pattern, const MatchHints& hints, const char* text);

// The same, for a `text` whose first NUL is known to be at `length`.
int matchPatternWithHints(CompiledPattern* pattern, const MatchHints& hints, const char* text,
                          std::size_t length);

}  // namespace catpack
